#include "raw_http_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillmoor::testing {
namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool send_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

RawRequest parse_head(std::string_view head) {
    RawRequest request;
    std::size_t eol = head.find("\r\n");
    const std::string_view first = head.substr(0, eol);
    const std::size_t sp1 = first.find(' ');
    const std::size_t sp2 = first.find(' ', sp1 + 1);
    request.method = std::string(first.substr(0, sp1));
    request.target = std::string(first.substr(sp1 + 1, sp2 - sp1 - 1));
    while (eol != std::string_view::npos) {
        const std::size_t start = eol + 2;
        eol = head.find("\r\n", start);
        const std::string_view line = head.substr(start, eol - start);
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos)
            continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        request.headers.emplace_back(line.substr(0, colon), value);
    }
    return request;
}

} // namespace

std::string RawRequest::header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (equal_ignoring_case(n, name))
            return v;
    return {};
}

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_fd_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
}

RawHttpServer::~RawHttpServer() {
    stopping_ = true;
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (const int fd : open_fds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& thread : threads_)
        thread.join();
    ::close(listen_fd_);
}

std::string RawHttpServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RawRequest> RawHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawHttpServer::accept_loop() {
    while (!stopping_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++connections_;
        std::lock_guard lock(mutex_);
        open_fds_.push_back(fd);
        threads_.emplace_back([this, fd] { serve(fd); });
    }
}

void RawHttpServer::serve(int fd) {
    std::string buffer;
    char chunk[16384];
    while (!stopping_) {
        const std::size_t end = buffer.find("\r\n\r\n");
        if (end == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) == 0)
                continue;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        const RawRequest request = parse_head(std::string_view(buffer).substr(0, end));
        buffer.erase(0, end + 4);
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        const RawAnswer answer = handler_(request);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(answer.delay_ms);
        bool closed = false;
        while (!stopping_ && std::chrono::steady_clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0 && ::recv(fd, chunk, sizeof chunk, MSG_PEEK) <= 0) {
                closed = true; // the client gave up
                break;
            }
        }
        if (closed || stopping_)
            break;
        std::string out = "HTTP/1.1 " + std::to_string(answer.status);
        if (!answer.reason.empty())
            out += " " + answer.reason;
        out += "\r\n";
        for (const auto& [name, value] : answer.headers)
            out += name + ": " + value + "\r\n";
        out += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n";
        out += answer.body;
        if (!send_all(fd, out))
            break;
    }
    ::close(fd);
    std::lock_guard lock(mutex_);
    std::erase(open_fds_, fd);
}

std::pair<std::int64_t, std::int64_t> requested_range(const RawRequest& request) {
    const std::string range = request.header("Range");
    if (range.rfind("bytes=", 0) != 0)
        return {-1, -1};
    const std::size_t dash = range.find('-');
    return {std::stoll(range.substr(6, dash - 6)), std::stoll(range.substr(dash + 1))};
}

RawAnswer ranged_answer(const RawRequest& request, const std::string& content) {
    const auto [first, asked_last] = requested_range(request);
    const auto total = static_cast<std::int64_t>(content.size());
    RawAnswer answer;
    if (first < 0) {
        answer.body = content;
        return answer;
    }
    if (first >= total) {
        answer.status = 416;
        answer.reason = "Range Not Satisfiable";
        answer.headers = {{"Content-Range", "bytes */" + std::to_string(total)}};
        return answer;
    }
    const std::int64_t last = std::min(asked_last, total - 1);
    answer.status = 206;
    answer.reason = "Partial Content";
    answer.headers = {{"Content-Range", "bytes " + std::to_string(first) + "-" +
                                            std::to_string(last) + "/" + std::to_string(total)}};
    answer.body =
        content.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
    return answer;
}

} // namespace quillmoor::testing
