// The request layer under http_request, over libcurl: a session (agent and proxies), a
// connection (host and port), a request (verb, object, flags) that is sent, read in blocks and
// asked for its raw response headers. Each step hands back a handle that closes when dropped;
// a null handle means the step failed.
#pragma once

#include "net/curl_handles.h"
#include "text/text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace quillmoor {

// Request flags, combined by bitwise OR.
inline constexpr std::uint32_t kFlagReload = 0x80000000;            // never from a cache
inline constexpr std::uint32_t kFlagNeedFile = 0x10;                // (no cache file is kept)
inline constexpr std::uint32_t kFlagNoCookies = 0x80000;            // no cookie store at all
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;      // redirects not followed
inline constexpr std::uint32_t kFlagSecure = 0x800000;              // HTTPS
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000; // HTTP may go on to HTTPS

struct NetSession {
    Text agent;
    Text http_proxy;  // "host:port" for plain HTTP, empty for a direct connection
    Text https_proxy; // the same for HTTPS
};

struct NetConnection {
    NetSession session;
    Text host;
    int port = 0; // 0: the scheme's default port
};

// A request; send() runs the whole transfer and keeps the final response in memory.
class NetRequest {
public:
    NetRequest(NetConnection connection, Text verb, Text object, long http_version,
               std::uint32_t flags, CurlEasy easy);

    // The URL the request goes to: scheme, host, port and the object with unsafe bytes escaped.
    Text url() const;

    // Sends the request (once) with exactly these header lines (split at line ends; empty lines are
    // skipped) and body, follows redirects as the flags allow and reads the final response.
    // A verb other than POST carries a body only when it is not empty. False when the
    // transfer failed; then there is no body and no header block.
    bool send(std::string_view header_block, std::span<const std::uint8_t> body);

    // Copies up to size bytes of the body not read yet; 0 at the end or when nothing came.
    std::size_t read(std::uint8_t* buffer, std::size_t size);

    // The final response's status line and header lines, each ended by \r\n, then an empty
    // line. Copies it NUL-terminated into buffer when it fits in length bytes with the NUL and
    // sets length to its size without the NUL; otherwise (or without a response) leaves the
    // buffer alone, sets length to the size needed and returns false.
    bool query_raw_headers(char* buffer, std::size_t& length) const;

private:
    bool configure(std::string_view header_block, std::span<const std::uint8_t> body);
    static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* self);

    NetConnection connection_;
    Text verb_;
    Text object_;
    long http_version_;
    std::uint32_t flags_;
    CurlEasy easy_;
    CurlSlist header_list_;
    Bytes body_to_send_;
    Bytes body_;
    std::size_t read_offset_ = 0;
    TextArray header_lines_; // of the response being received
    bool headers_ended_ = false;
    Text raw_headers_;
};

// Opens a session. proxy_list empty: direct connections. Otherwise entries separated by
// spaces or ";": "http=host:port" serves plain HTTP only, "https=host:port" HTTPS only, a bare
// "host:port" both; other entries are ignored. Null when curl cannot be initialised.
std::unique_ptr<NetSession> net_open(std::string_view agent, std::string_view proxy_list);

// A connection to host and port (0: the default port of the request's scheme). Nothing is
// sent yet. Null for a port outside 0..65535.
std::unique_ptr<NetConnection> net_connect(const NetSession& session, std::string_view host,
                                           int port);

// Opens a request with verb, object (path and query) and version ("HTTP/1.0" or "HTTP/1.1").
// Null when curl cannot make a handle or the version is unknown.
std::unique_ptr<NetRequest> net_open_request(const NetConnection& connection, std::string_view verb,
                                             std::string_view object, std::string_view version,
                                             std::uint32_t flags);

} // namespace quillmoor
