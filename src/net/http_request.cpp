#include "net/http_request.h"

#include "net/cookies.h"
#include "net/request_layer.h"
#include "net/url.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quillmoor {

namespace {

constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr int kReadBlock = 1024;
constexpr int kHeaderBuffer = 5000; // the terminating NUL included

// The agent named by a User-Agent line of the header lines, else the default one.
Text agent_for(const Text& header_lines) {
    if (find_text(header_lines, "User-Agent:", {}, true) == -1) {
        return Text(kDefaultAgent);
    }
    Text agent = trim_spaces(text_between(header_lines, "User-Agent:", "\r\n"));
    if (agent.empty()) {
        agent = header_line_value(header_lines);
    }
    return agent;
}

std::uint32_t request_flags(bool secure, bool own_cookies, bool no_redirect) {
    std::uint32_t flags = kFlagReload | kFlagNeedFile;
    if (own_cookies) {
        flags |= kFlagNoCookies;
    }
    if (no_redirect) {
        flags |= kFlagNoAutoRedirect;
    }
    flags |= secure ? kFlagSecure : kFlagIgnoreRedirectToHttps;
    return flags;
}

// The default lines added to the caller's header lines; each test is case-sensitive.
void complete_header_block(Text& block, const Text& url, const Text& cookies) {
    if (block.empty()) {
        block = "Accept: */*";
    } else if (find_text(block, "Accept:") == -1) {
        block += "\r\nAccept: */*";
    }
    if (find_text(block, "Referer:") == -1) {
        block += "\r\nReferer: " + url;
    }
    if (find_text(block, "Accept-Language:") == -1) {
        block += "\r\nAccept-Language: zh-cn";
    }
    if (find_text(block, "Content-Type:") == -1) {
        block += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    if (!cookies.empty()) {
        block += "\r\nCookie: " + cookies;
    }
}

// The response's raw header block as the 5000-byte buffer receives it, with every spelling of
// "Set-Cookie" normalised. A failed query leaves the buffer's 5000 spaces.
Text capture_headers(const NetRequest& request) {
    Text buffer = blank_text(kHeaderBuffer);
    std::size_t length = buffer.size();
    request.query_raw_headers(buffer.data(), length);
    const Text block = buffer.substr(0, buffer.find('\0'));
    return replace_text(block, "Set-Cookie", "Set-Cookie", true);
}

// The cookies of the Set-Cookie lines, joined by "; ".
Text cookies_set_by(const Text& headers) {
    Text found;
    for (const Text& line : split_text(headers, "\r\n")) {
        if (find_text(line, "Set-Cookie") == -1) {
            continue;
        }
        const Text value = find_text(line, ";") != -1
                               ? trim_spaces(text_between(line, "Set-Cookie:", ";"))
                               : trim_spaces(replace_text(line, "Set-Cookie:", "", true));
        found += value;
        found += "; ";
    }
    return text_left(found, text_length(found) - 2);
}

} // namespace

Bytes http_request(const Text& url, int method, const Text& post_text, Text* cookies,
                   Text* returned_cookies, Text* header_lines, Text* returned_headers,
                   bool no_redirect, Bytes* post_bytes, const Text& proxy) {
    const Text verb = method == 1 ? "POST" : "GET";
    const bool secure = to_lower(text_left(url, 5)) == "https";
    Text block = header_lines != nullptr ? *header_lines : Text();
    const Text agent = agent_for(block);

    auto session = net_open(agent, proxy.empty() ? Text() : (secure ? proxy : "http=" + proxy));
    if (session == nullptr) {
        return {};
    }
    auto connection = net_connect(*session, url_host(url), url_port(url));
    if (connection == nullptr) {
        return {};
    }
    const std::uint32_t flags = request_flags(secure, cookies != nullptr, no_redirect);
    auto request = net_open_request(*connection, verb, url_path(url), "HTTP/1.1", flags);
    if (request == nullptr) {
        return {};
    }

    complete_header_block(block, url, cookies != nullptr ? *cookies : Text());
    if (header_lines != nullptr) {
        *header_lines = block;
    }

    Bytes own_post_bytes;
    Bytes& body_out = post_bytes != nullptr ? *post_bytes : own_post_bytes;
    if (method == 0) {
        request->send(block, {});
    } else {
        if (body_out.empty()) {
            body_out = text_to_bytes(post_text);
        }
        request->send(block, body_out);
    }

    Bytes body;
    for (;;) {
        Bytes chunk = blank_bytes(kReadBlock);
        const std::size_t count = request->read(chunk.data(), chunk.size());
        if (count == 0) {
            break;
        }
        body.insert(body.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
    }

    const Text headers = capture_headers(*request);
    if (returned_headers != nullptr) {
        *returned_headers = headers;
    }

    request.reset();
    connection.reset();
    session.reset();

    Text own_returned_cookies;
    Text& set_cookies = returned_cookies != nullptr ? *returned_cookies : own_returned_cookies;
    set_cookies = cookies_set_by(headers);
    if (cookies != nullptr) {
        merge_cookies(*cookies, set_cookies);
    }
    return body;
}

Text header_line_value(const Text& text) {
    const int colon = find_text(text, ":");
    if (colon == -1) {
        return Text();
    }
    return trim_spaces(text_right(text, text_length(text) - colon));
}

} // namespace quillmoor
