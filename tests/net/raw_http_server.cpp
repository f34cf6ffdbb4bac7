#include "raw_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quillmoor::testing {

namespace {

constexpr char kTlsHandshake = 0x16;

int listen_on_loopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The Content-Length a request head names; 0 without one.
std::size_t content_length(const std::string& head) {
    const std::string lowered = lower(head);
    const std::size_t at = lowered.find("\r\ncontent-length:");
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoul(head.c_str() + at + 17, nullptr, 10);
}

} // namespace

std::string RawRequest::request_line() const {
    return head.substr(0, head.find("\r\n"));
}

std::vector<std::string> RawRequest::header_lines() const {
    std::vector<std::string> lines;
    std::size_t start = head.find("\r\n");
    while (start != std::string::npos) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start) {
            break;
        }
        lines.push_back(head.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string http_response(std::string_view status, std::string_view body,
                          const std::vector<std::string>& headers) {
    std::string out = "HTTP/1.1 " + std::string(status) + "\r\n";
    for (const std::string& line : headers) {
        out += line + "\r\n";
    }
    out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    out += body;
    return out;
}

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
    if (!handler_) {
        handler_ = [](const RawRequest&) {
            return http_response("200 OK", "ok");
        };
    }
    listener_ = listen_on_loopback(port_);
    if (listener_ < 0 || ::pipe2(stop_pipe_, O_CLOEXEC) != 0) {
        std::abort();
    }
    thread_ = std::thread([this] { run(); });
}

RawHttpServer::~RawHttpServer() {
    const char stop = 's';
    [[maybe_unused]] const auto written = ::write(stop_pipe_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
}

std::string RawHttpServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RawRequest> RawHttpServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

int RawHttpServer::connections() const {
    const std::lock_guard lock(mutex_);
    return connections_;
}

// Waits for fd to become readable; false on time-out or when the server is stopping.
bool RawHttpServer::wait_readable(int fd, int timeout_ms) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) <= 0) {
        return false;
    }
    return (fds[1].revents & POLLIN) == 0;
}

void RawHttpServer::run() {
    while (wait_readable(listener_, -1)) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            {
                const std::lock_guard lock(mutex_);
                ++connections_;
            }
            serve(connection);
            ::close(connection);
        }
    }
}

void RawHttpServer::serve(int connection) {
    RawRequest request;
    char buffer[4096];
    std::size_t head_end = std::string::npos;
    std::size_t wanted = 0;
    for (;;) {
        if (head_end == std::string::npos) {
            head_end = request.raw.find("\r\n\r\n");
            if (head_end != std::string::npos) {
                head_end += 4;
                wanted = head_end + content_length(request.raw.substr(0, head_end));
            }
        }
        if (head_end != std::string::npos && request.raw.size() >= wanted) {
            break;
        }
        if (!request.raw.empty() && request.raw[0] == kTlsHandshake) {
            // A TLS client: recorded, then left without an answer.
            const std::lock_guard lock(mutex_);
            requests_.push_back(request);
            return;
        }
        if (!wait_readable(connection, 10000)) {
            return;
        }
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return;
        }
        request.raw.append(buffer, static_cast<std::size_t>(got));
    }
    request.head = request.raw.substr(0, head_end);
    request.body = request.raw.substr(head_end);
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const std::string answer = handler_(request);
    std::size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t put =
            ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(put);
    }
    // Let the client close first, so that it reads the whole answer before the socket goes.
    ::shutdown(connection, SHUT_WR);
    while (wait_readable(connection, 2000) && ::recv(connection, buffer, sizeof buffer, 0) > 0) {
    }
}

int unused_local_port() {
    int port = 0;
    const int fd = listen_on_loopback(port);
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

} // namespace quillmoor::testing
