// A small HTTP/1.1 server on 127.0.0.1 for tests, where each test decides every answer byte for
// byte. It listens on an ephemeral port and records every request exactly as it arrived, with a
// parsed view of it. Connections are kept alive, each on a thread of its own, and closed after an
// answer that says "Connection: close" or has no Content-Length. A client that opens with a TLS
// handshake is recorded with the bytes of its first read (raw only) and left without an answer.
// The destructor stops every thread.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

namespace quillmoor::testing {

struct RawRequest {
    std::string raw;  // every byte received for this request: head and body
    std::string head; // the request line and header lines, with the empty line that ends them
    std::string body; // the bytes after the head, as many as Content-Length named
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers; // in the order they came

    std::string header(std::string_view name) const; // first value, or empty
    std::string request_line() const;
    // The header lines after the request line, without their line ends, in order.
    std::vector<std::string> header_lines() const;
};

struct RawAnswer {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers; // Content-Length is added
    std::string body;
    int delay_ms = 0; // wait this long before answering
};

// A whole response: "HTTP/1.1 " + status, the given header lines, Content-Length,
// "Connection: close", an empty line and the body.
std::string http_response(std::string_view status, std::string_view body,
                          const std::vector<std::string>& headers = {});

class RawHttpServer {
public:
    // The bytes to send exactly as they are, or an answer the server writes out.
    using Answer = std::variant<std::string, RawAnswer>;
    using Handler = std::function<Answer(const RawRequest&)>;

    // Answers every request with handler's answer; the default answers "200 OK" and "ok".
    explicit RawHttpServer(Handler handler = {});
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;
    ~RawHttpServer();

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(std::string_view path) const;
    // The requests received so far, in order.
    std::vector<RawRequest> requests() const;
    // The connections accepted so far, with or without a whole request.
    int connections() const { return connections_; }

private:
    void accept_loop();
    void serve(int fd);
    bool wait_readable(int fd, int timeout_ms) const;
    bool wait_out(int fd, int delay_ms) const;
    void record(const RawRequest& request);

    Handler handler_;
    int listener_ = -1;
    int stop_pipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<RawRequest> requests_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

// A port on 127.0.0.1 that nothing listens on (taken from the system, then released).
int unused_local_port();

} // namespace quillmoor::testing
