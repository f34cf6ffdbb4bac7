#include "raw_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

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

// Where the text after the start of a header line ("\r\n" first, any case) begins in the head
// of a message; npos when no line starts so.
std::size_t after_line_start(std::string_view message, const char* start) {
    const std::string head(message.substr(0, message.find("\r\n\r\n")));
    const char* at = ::strcasestr(head.c_str(), start);
    return at == nullptr ? std::string::npos : (at - head.c_str()) + std::strlen(start);
}

// The size of the whole request (head and Content-Length body) that starts buffer; 0 while
// some of it is still to come.
std::size_t whole_request_size(const std::string& buffer) {
    const std::size_t head_end = buffer.find("\r\n\r\n");
    if (head_end == std::string::npos) {
        return 0;
    }
    const std::size_t at = after_line_start(buffer, "\r\ncontent-length:");
    const std::size_t size =
        head_end + 4 +
        (at == std::string::npos ? 0 : std::strtoul(buffer.c_str() + at, nullptr, 10));
    return buffer.size() >= size ? size : 0;
}

// An answer without Content-Length ends with the connection, as does one that says so.
bool closes_connection(std::string_view answer) {
    return after_line_start(answer, "\r\nconnection: close") != std::string::npos ||
           after_line_start(answer, "\r\ncontent-length:") == std::string::npos;
}

std::string written_out(const RawAnswer& answer) {
    std::string out = "HTTP/1.1 " + std::to_string(answer.status);
    if (!answer.reason.empty()) {
        out += " " + answer.reason;
    }
    out += "\r\n";
    for (const auto& [name, value] : answer.headers) {
        out += name + ": " + value + "\r\n";
    }
    return out + "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n" + answer.body;
}

bool send_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (put <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

RawRequest parsed(std::string raw, std::size_t head_size) {
    RawRequest request;
    request.head = raw.substr(0, head_size);
    request.body = raw.substr(head_size);
    request.raw = std::move(raw);
    const std::string line = request.request_line();
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = line.find(' ', sp1 + 1);
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    for (const std::string& header : request.header_lines()) {
        const std::size_t colon = header.find(':');
        if (colon != std::string::npos) {
            const std::size_t value = header.find_first_not_of(' ', colon + 1);
            request.headers.emplace_back(header.substr(0, colon),
                                         value == std::string::npos ? "" : header.substr(value));
        }
    }
    return request;
}

} // namespace

std::string RawRequest::header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (::strcasecmp(n.c_str(), std::string(name).c_str()) == 0) {
            return v;
        }
    }
    return {};
}

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
    acceptor_ = std::thread([this] { accept_loop(); });
}

RawHttpServer::~RawHttpServer() {
    stopping_ = true;
    const char stop = 's';
    [[maybe_unused]] const auto written = ::write(stop_pipe_[1], &stop, 1);
    acceptor_.join();
    for (std::thread& thread : threads_) {
        thread.join();
    }
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

void RawHttpServer::record(const RawRequest& request) {
    const std::lock_guard lock(mutex_);
    requests_.push_back(request);
}

// Waits for fd (none when negative) to become readable; false on time-out or when the server
// is stopping.
bool RawHttpServer::wait_readable(int fd, int timeout_ms) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) <= 0) {
        return false;
    }
    return (fds[1].revents & POLLIN) == 0;
}

// Lets delay_ms pass; false when the client closed meanwhile or the server is stopping.
bool RawHttpServer::wait_out(int fd, int delay_ms) const {
    using namespace std::chrono;
    const auto until = steady_clock::now() + milliseconds(delay_ms);
    int watched = fd;
    for (;;) {
        const auto left = duration_cast<milliseconds>(until - steady_clock::now()).count();
        if (left <= 0) {
            return true;
        }
        if (wait_readable(watched, static_cast<int>(left))) {
            char byte = 0;
            if (::recv(fd, &byte, 1, MSG_PEEK) <= 0) {
                return false;
            }
            watched = -1; // the next request is here already: wait for the time alone
        } else if (stopping_) {
            return false;
        }
    }
}

void RawHttpServer::accept_loop() {
    while (wait_readable(listener_, -1)) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ++connections_;
            const std::lock_guard lock(mutex_);
            threads_.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }
}

void RawHttpServer::serve(int fd) {
    std::string buffer;
    char chunk[16384];
    for (;;) {
        std::size_t size = 0;
        while ((size = whole_request_size(buffer)) == 0) {
            if (!buffer.empty() && buffer[0] == kTlsHandshake) {
                RawRequest tls; // a TLS client: recorded, then left without an answer
                tls.raw = buffer;
                record(tls);
                return;
            }
            const ssize_t got = wait_readable(fd, -1) ? ::recv(fd, chunk, sizeof chunk, 0) : 0;
            if (got <= 0) {
                return;
            }
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
        const RawRequest request = parsed(buffer.substr(0, size), buffer.find("\r\n\r\n") + 4);
        buffer.erase(0, size);
        record(request);
        const Answer answer = handler_(request);
        const auto* raw = std::get_if<std::string>(&answer);
        const std::string out = raw ? *raw : written_out(std::get<RawAnswer>(answer));
        if ((!raw && !wait_out(fd, std::get<RawAnswer>(answer).delay_ms)) || !send_all(fd, out)) {
            return;
        }
        if (closes_connection(out)) {
            // Let the client close first, so that it reads the whole answer.
            ::shutdown(fd, SHUT_WR);
            while (wait_readable(fd, 2000) && ::recv(fd, chunk, sizeof chunk, 0) > 0) {
            }
            return;
        }
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
