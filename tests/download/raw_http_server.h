// A small HTTP/1.1 server on 127.0.0.1 for the download tests. Each test decides every answer
// byte for byte (status, reason phrase, headers, body), which a library server would not let
// it do for range requests. Connections are kept alive; each runs on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quillmoor::testing {

struct RawRequest {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers; // in the order they came
    std::string header(std::string_view name) const;          // first value, or empty
};

struct RawAnswer {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers; // Content-Length is added
    std::string body;
    int delay_ms = 0; // wait this long before answering
};

class RawHttpServer {
public:
    using Handler = std::function<RawAnswer(const RawRequest&)>;

    explicit RawHttpServer(Handler handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int port() const { return port_; }
    std::string url(std::string_view path) const;
    std::vector<RawRequest> requests() const;
    int connections() const { return connections_; }

private:
    void accept_loop();
    void serve(int fd);

    Handler handler_;
    int listen_fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<RawRequest> requests_;
    std::vector<std::thread> threads_;
    std::vector<int> open_fds_;
    std::thread acceptor_;
};

// Answers like a plain file server with range support over content: 206 with
// "bytes FIRST-LAST/TOTAL", or 416 with "bytes */TOTAL" when the range starts past the end.
RawAnswer ranged_answer(const RawRequest& request, const std::string& content);

// The first and last byte of a "bytes=FIRST-LAST" Range header; {-1, -1} when absent.
std::pair<std::int64_t, std::int64_t> requested_range(const RawRequest& request);

} // namespace quillmoor::testing
