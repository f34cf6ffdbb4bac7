#include "net/request_layer.h"

#include "net/url_encoding.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace quillmoor {

namespace {

bool is_host_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// A host name curl will take as a host and nothing else: no user part, port, path or query
// can hide in it.
bool is_plain_host(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), is_host_byte);
}

bool is_blank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// The header block as curl entries. Every CR or LF ends a line, so no line can smuggle a line
// end into the request; empty lines and lines without a colon are not headers and are left
// out. A line with an empty value is written "Name;", curl's form for sending it as it stands
// ("Name:" alone would tell curl to drop a header of its own). curl's own Accept and Expect
// lines are removed, so that only the block's lines go out.
bool fill_header_list(CurlSlist& list, std::string_view block) {
    std::size_t start = 0;
    while (start <= block.size()) {
        const std::size_t end = std::min(block.find_first_of("\r\n", start), block.size());
        const std::string_view line = block.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos || colon == 0) {
            continue;
        }
        const bool ok = is_blank(line.substr(colon + 1))
                            ? list.append(std::string(line.substr(0, colon)) + ";")
                            : list.append(line);
        if (!ok) {
            return false;
        }
    }
    return list.append("Accept:") && list.append("Expect:");
}

Text line_without_end(const char* data, std::size_t length) {
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return Text(line);
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

// One entry of a proxy list: "http=address", "https=address" or a bare address for both. The
// first address given for a scheme is kept.
void take_proxy_entry(NetSession& session, std::string_view entry) {
    const std::size_t equals = entry.find('=');
    const bool bare = equals == std::string_view::npos;
    const std::string_view scheme = bare ? std::string_view{} : entry.substr(0, equals);
    const std::string_view address = bare ? entry : entry.substr(equals + 1);
    if (address.empty()) {
        return;
    }
    const bool for_http = bare || (scheme.size() == 4 && starts_with_ignoring_case(scheme, "http"));
    const bool for_https =
        bare || (scheme.size() == 5 && starts_with_ignoring_case(scheme, "https"));
    if (for_http && session.http_proxy.empty()) {
        session.http_proxy = Text(address);
    }
    if (for_https && session.https_proxy.empty()) {
        session.https_proxy = Text(address);
    }
}

} // namespace

NetRequest::NetRequest(NetConnection connection, Text verb, Text object, long http_version,
                       std::uint32_t flags, CurlEasy easy)
    : connection_(std::move(connection)), verb_(std::move(verb)), object_(std::move(object)),
      http_version_(http_version), flags_(flags), easy_(std::move(easy)) {}

Text NetRequest::url() const {
    const bool secure = (flags_ & kFlagSecure) != 0;
    const int port = connection_.port != 0 ? connection_.port : (secure ? 443 : 80);
    Text object = encode_unsafe_url_bytes(object_);
    if (object.empty() || object.front() != '/') {
        object.insert(object.begin(), '/');
    }
    return Text(secure ? "https://" : "http://") + connection_.host + ":" + std::to_string(port) +
           object;
}

bool NetRequest::configure(std::string_view header_block, std::span<const std::uint8_t> body) {
    if (!is_plain_host(connection_.host)) {
        return false;
    }
    CURL* e = easy_.get();
    const bool secure = (flags_ & kFlagSecure) != 0;
    const Text target = url();
    const Text& proxy = secure ? connection_.session.https_proxy : connection_.session.http_proxy;
    // Only HTTP and HTTPS, also after a redirect. A secure request is never redirected to plain
    // HTTP; a plain one goes on to HTTPS only when its flags allow it.
    const char* redirect_protocols =
        secure ? "https" : ((flags_ & kFlagIgnoreRedirectToHttps) != 0 ? "http,https" : "http");
    const bool follow = (flags_ & kFlagNoAutoRedirect) == 0;

    header_list_ = CurlSlist();
    bool ok = fill_header_list(header_list_, header_block);
    ok = ok && curl_easy_setopt(e, CURLOPT_URL, target.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, redirect_protocols) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_MAXREDIRS, 20L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HTTP_VERSION, http_version_) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 60L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 30L) == CURLE_OK;
    const char* agent =
        connection_.session.agent.empty() ? nullptr : connection_.session.agent.c_str();
    ok = ok && curl_easy_setopt(e, CURLOPT_USERAGENT, agent) == CURLE_OK;
    // An explicit proxy setting, so that proxy variables of the environment never apply.
    ok = ok && curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_NOPROXY, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HTTPHEADER, header_list_.get()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &NetRequest::on_body) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_WRITEDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &NetRequest::on_header) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_HEADERDATA, this) == CURLE_OK;
    if (ok && (flags_ & kFlagNoCookies) == 0) {
        if (CURLSH* store = shared_cookie_store()) {
            ok = curl_easy_setopt(e, CURLOPT_SHARE, store) == CURLE_OK;
        }
        ok = ok && curl_easy_setopt(e, CURLOPT_COOKIEFILE, "") == CURLE_OK;
    }
    if (!ok) {
        return false;
    }
    const bool post = verb_ == "POST";
    if (post || !body.empty()) {
        const char* data = body.empty() ? "" : reinterpret_cast<const char*>(body.data());
        ok = curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                              static_cast<curl_off_t>(body.size())) == CURLE_OK &&
             curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, data) == CURLE_OK;
        if (ok && !post) {
            ok = curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str()) == CURLE_OK;
        }
    } else if (verb_ == "GET") {
        ok = curl_easy_setopt(e, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    } else {
        ok = curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str()) == CURLE_OK &&
             (verb_ != "HEAD" || curl_easy_setopt(e, CURLOPT_NOBODY, 1L) == CURLE_OK);
    }
    return ok;
}

bool NetRequest::send(std::string_view header_block, std::span<const std::uint8_t> body) {
    body_.clear();
    read_offset_ = 0;
    header_lines_.clear();
    headers_ended_ = false;
    raw_headers_.clear();
    if (!configure(header_block, body) || run_transfer(easy_.get()) != CURLE_OK ||
        header_lines_.empty()) {
        body_.clear();
        return false;
    }
    for (const Text& line : header_lines_) {
        raw_headers_ += line;
        raw_headers_ += "\r\n";
    }
    raw_headers_ += "\r\n";
    return true;
}

std::size_t NetRequest::read(std::uint8_t* buffer, std::size_t size) {
    const std::size_t count = std::min(size, body_.size() - read_offset_);
    std::copy_n(body_.begin() + static_cast<std::ptrdiff_t>(read_offset_), count, buffer);
    read_offset_ += count;
    return count;
}

bool NetRequest::query_raw_headers(char* buffer, std::size_t& length) const {
    if (raw_headers_.empty() || raw_headers_.size() + 1 > length) {
        length = raw_headers_.empty() ? 0 : raw_headers_.size() + 1;
        return false;
    }
    std::memcpy(buffer, raw_headers_.data(), raw_headers_.size());
    buffer[raw_headers_.size()] = '\0';
    length = raw_headers_.size();
    return true;
}

std::size_t NetRequest::on_body(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<NetRequest*>(self);
    const std::size_t length = size * count;
    request->body_.insert(request->body_.end(), data, data + length);
    return length;
}

// Keeps the header lines of the last response only: a status line starts a new response
// (after a redirect, an interim 1xx answer or a proxy's reply); lines after the empty line
// that ends the header (trailers) are not part of it.
std::size_t NetRequest::on_header(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<NetRequest*>(self);
    const std::size_t length = size * count;
    Text line = line_without_end(data, length);
    if (starts_with_ignoring_case(line, "http/")) {
        request->header_lines_.clear();
        request->headers_ended_ = false;
        request->header_lines_.push_back(std::move(line));
    } else if (line.empty()) {
        request->headers_ended_ = true;
    } else if (!request->headers_ended_ && !request->header_lines_.empty()) {
        request->header_lines_.push_back(std::move(line));
    }
    return length;
}

std::unique_ptr<NetSession> net_open(std::string_view agent, std::string_view proxy_list) {
    if (!curl_ready()) {
        return nullptr;
    }
    auto session = std::make_unique<NetSession>();
    // A line end would break the request apart: the agent ends before one.
    session->agent = Text(agent.substr(0, std::min(agent.find_first_of("\r\n"), agent.size())));
    std::size_t start = 0;
    while (start < proxy_list.size()) {
        const std::size_t end = std::min(proxy_list.find_first_of(" ;", start), proxy_list.size());
        take_proxy_entry(*session, proxy_list.substr(start, end - start));
        start = end + 1;
    }
    return session;
}

std::unique_ptr<NetConnection> net_connect(const NetSession& session, std::string_view host,
                                           int port) {
    if (port < 0 || port > 65535) {
        return nullptr;
    }
    auto connection = std::make_unique<NetConnection>();
    connection->session = session;
    connection->host = Text(host);
    connection->port = port;
    return connection;
}

std::unique_ptr<NetRequest> net_open_request(const NetConnection& connection, std::string_view verb,
                                             std::string_view object, std::string_view version,
                                             std::uint32_t flags) {
    long http_version = CURL_HTTP_VERSION_1_1;
    if (version == "HTTP/1.0") {
        http_version = CURL_HTTP_VERSION_1_0;
    } else if (!version.empty() && version != "HTTP/1.1") {
        return nullptr;
    }
    CurlEasy easy = make_curl_easy();
    if (easy == nullptr) {
        return nullptr;
    }
    return std::make_unique<NetRequest>(connection, Text(verb), Text(object), http_version, flags,
                                        std::move(easy));
}

} // namespace quillmoor
