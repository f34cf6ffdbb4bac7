// A small HTTP server on 127.0.0.1 for tests. It listens on an ephemeral port, records every
// request's bytes exactly as they arrived and answers each with the bytes the test's handler
// returns, then closes the connection. A client that opens with a TLS handshake is recorded
// with the bytes of its first read (raw only) and left without an answer. Requests are served one
// at a time on a thread of the server's own; the destructor stops it.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillmoor::testing {

struct RawRequest {
    std::string raw;  // every byte received: head and body
    std::string head; // the request line and header lines, with the empty line that ends them
    std::string body; // the bytes after the head, as many as Content-Length named

    std::string request_line() const;
    // The header lines after the request line, without their line ends, in order.
    std::vector<std::string> header_lines() const;
};

// A whole response: "HTTP/1.1 " + status, the given header lines, Content-Length,
// "Connection: close", an empty line and the body.
std::string http_response(std::string_view status, std::string_view body,
                          const std::vector<std::string>& headers = {});

class RawHttpServer {
public:
    using Handler = std::function<std::string(const RawRequest&)>;

    // Answers every request with handler's bytes; the default answers "200 OK" and "ok".
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
    int connections() const;

private:
    void run();
    void serve(int connection);
    bool wait_readable(int fd, int timeout_ms) const;

    Handler handler_;
    int listener_ = -1;
    int stop_pipe_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<RawRequest> requests_;
    int connections_ = 0;
    std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on (taken from the system, then released).
int unused_local_port();

} // namespace quillmoor::testing
