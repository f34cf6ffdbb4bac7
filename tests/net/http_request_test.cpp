#include "net/http_request.h"

#include "net/wait_hook.h"
#include "raw_http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace quillmoor {
namespace {

using testing::http_response;
using testing::RawHttpServer;
using testing::RawRequest;

const std::string kAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

std::string text_of(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The header lines a request carried, without the lines the request layer adds by itself
// (Host and connection handling) and without the default agent line.
std::vector<std::string> block_lines(const RawRequest& request) {
    std::vector<std::string> lines;
    for (const std::string& line : request.header_lines()) {
        if (starts_with(line, "Host: ") || starts_with(line, "Connection:") ||
            starts_with(line, "Keep-Alive:") || line == kAgentLine) {
            continue;
        }
        lines.push_back(line);
    }
    return lines;
}

// The non-empty lines of a header block.
std::vector<std::string> lines_of(const std::string& block) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= block.size()) {
        std::size_t end = block.find("\r\n", start);
        if (end == std::string::npos) {
            end = block.size();
        }
        if (end > start) {
            lines.push_back(block.substr(start, end - start));
        }
        start = end + 2;
    }
    return lines;
}

bool has_line(const RawRequest& request, const std::string& wanted) {
    for (const std::string& line : request.header_lines()) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

TEST(HttpRequestTest, UrlAloneSendsTheDefaultHeaderBlockAndNoBody) {
    RawHttpServer server;
    const std::string url = server.url("/page?x=1");
    EXPECT_EQ(text_of(http_request(url)), "ok");

    const std::vector<RawRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].request_line(), "GET /page?x=1 HTTP/1.1");
    const std::vector<std::string> expected = {"Accept: */*", "Referer: " + url,
                                               "Accept-Language: zh-cn",
                                               "Content-Type: application/x-www-form-urlencoded"};
    EXPECT_EQ(block_lines(requests[0]), expected);
    EXPECT_TRUE(has_line(requests[0], kAgentLine));
    EXPECT_TRUE(has_line(requests[0], "Host: 127.0.0.1:" + std::to_string(server.port())));
    EXPECT_EQ(requests[0].raw, requests[0].head);
}

TEST(HttpRequestTest, UrlWithoutPathAsksForTheRoot) {
    RawHttpServer server;
    http_request(server.url(""));
    ASSERT_EQ(server.requests().size(), 1U);
    EXPECT_EQ(server.requests()[0].request_line(), "GET / HTTP/1.1");
}

struct HeaderCase {
    const char* given;
    const char* sent_block; // header_lines after the call, with "<url>" for the URL
};

class HeaderLinesTest : public ::testing::TestWithParam<HeaderCase> {};

// The block is completed with the default lines (case-sensitive tests), handed back, and goes
// out line for line; the layer's own agent line appears only when the block names no agent.
TEST_P(HeaderLinesTest, SendsTheCompletedBlockAsGiven) {
    const HeaderCase& c = GetParam();
    RawHttpServer server;
    const std::string url = server.url("/h");
    Text header_lines = c.given;
    http_request(url, 0, {}, nullptr, nullptr, &header_lines);

    std::string expected = c.sent_block;
    const std::size_t at = expected.find("<url>");
    if (at != std::string::npos) {
        expected.replace(at, 5, url);
    }
    EXPECT_EQ(header_lines, expected);
    ASSERT_EQ(server.requests().size(), 1U);
    const RawRequest request = server.requests()[0];
    EXPECT_EQ(block_lines(request), lines_of(expected));
    const bool names_agent = std::string(c.given).find("ser-agent:") != std::string::npos ||
                             std::string(c.given).find("ser-Agent:") != std::string::npos;
    EXPECT_EQ(has_line(request, kAgentLine), !names_agent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderLinesTest,
    ::testing::Values(
        HeaderCase{"user-agent: Quill/1.0",
                   "user-agent: Quill/1.0\r\nAccept: */*\r\nReferer: <url>\r\nAccept-Language: "
                   "zh-cn\r\nContent-Type: application/x-www-form-urlencoded"},
        HeaderCase{"User-Agent: Quill/2.0\r\nX-A: 1",
                   "User-Agent: Quill/2.0\r\nX-A: 1\r\nAccept: */*\r\nReferer: "
                   "<url>\r\nAccept-Language: zh-cn\r\nContent-Type: "
                   "application/x-www-form-urlencoded"},
        HeaderCase{"accept: text/html",
                   "accept: text/html\r\nAccept: */*\r\nReferer: <url>\r\nAccept-Language: "
                   "zh-cn\r\nContent-Type: application/x-www-form-urlencoded"},
        HeaderCase{"Accept: text/html\r\nReferer: http://elsewhere/\r\nAccept-Language: "
                   "en\r\nContent-Type: text/plain",
                   "Accept: text/html\r\nReferer: http://elsewhere/\r\nAccept-Language: "
                   "en\r\nContent-Type: text/plain"},
        // A caller's final line end leaves an empty line in the block; it does no harm.
        HeaderCase{"X-Test: 1\r\n",
                   "X-Test: 1\r\n\r\nAccept: */*\r\nReferer: <url>\r\nAccept-Language: "
                   "zh-cn\r\nContent-Type: application/x-www-form-urlencoded"},
        // A line with an empty value goes out as it stands.
        HeaderCase{"X-Empty:", "X-Empty:\r\nAccept: */*\r\nReferer: <url>\r\nAccept-Language: "
                               "zh-cn\r\nContent-Type: application/x-www-form-urlencoded"}));

struct BodyCase {
    int method;
    std::string post_text;
    std::string post_bytes; // given
    std::string verb;
    bool has_body;
    std::string body; // sent, and post_bytes afterwards
};

class RequestBodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(RequestBodyTest, SendsVerbAndBody) {
    const BodyCase& c = GetParam();
    RawHttpServer server;
    Bytes post_bytes(c.post_bytes.begin(), c.post_bytes.end());
    http_request(server.url("/form"), c.method, c.post_text, nullptr, nullptr, nullptr, nullptr,
                 false, &post_bytes);

    ASSERT_EQ(server.requests().size(), 1U);
    const RawRequest request = server.requests()[0];
    EXPECT_EQ(request.request_line(), c.verb + " /form HTTP/1.1");
    EXPECT_EQ(request.body, c.body);
    EXPECT_EQ(has_line(request, "Content-Length: " + std::to_string(c.body.size())), c.has_body);
    EXPECT_EQ(text_of(post_bytes), c.has_body ? c.body : c.post_bytes);
    for (const std::string& line : request.header_lines()) {
        EXPECT_FALSE(starts_with(line, "Expect:")) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RequestBodyTest,
                         ::testing::Values(BodyCase{1, "a=1&b=2", "", "POST", true, "a=1&b=2"},
                                           BodyCase{1, "ignored", "raw", "POST", true, "raw"},
                                           BodyCase{1, "", "", "POST", true, ""},
                                           BodyCase{2, "q=2", "", "GET", true, "q=2"},
                                           BodyCase{2, "ignored", std::string("x\0y", 3), "GET",
                                                    true, std::string("x\0y", 3)},
                                           BodyCase{0, "unsent", "", "GET", false, ""},
                                           BodyCase{1, std::string(3000, 'b'), "", "POST", true,
                                                    std::string(3000, 'b')}));

TEST(HttpRequestTest, BodyWithZeroBytesComesBackWhole) {
    std::string body;
    for (int i = 0; i < 5000; ++i) {
        body += static_cast<char>(i % 7 == 0 ? 0 : 'a' + i % 26);
    }
    RawHttpServer server([&](const RawRequest&) { return http_response("200 OK", body); });
    EXPECT_EQ(text_of(http_request(server.url("/bin"))), body);
}

TEST(HttpRequestTest, ErrorStatusBodyIsReturned) {
    RawHttpServer server(
        [](const RawRequest&) { return http_response("404 Not Found", "missing"); });
    Text headers;
    EXPECT_EQ(text_of(http_request(server.url("/x"), 0, {}, nullptr, nullptr, nullptr, &headers)),
              "missing");
    EXPECT_TRUE(starts_with(headers, "HTTP/1.1 404 Not Found\r\n"));
}

TEST(HttpRequestTest, SetCookieLinesOfAnyCaseAreNormalisedAndCollected) {
    RawHttpServer server([](const RawRequest&) {
        return http_response("200 OK", "c", {"set-cookie: a=1; path=/case/", "Set-Cookie: b=2"});
    });
    Text headers;
    Text returned;
    http_request(server.url("/case/two"), 0, {}, nullptr, &returned, nullptr, &headers);
    EXPECT_TRUE(starts_with(headers, "HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(headers.find("\r\nSet-Cookie: a=1; path=/case/\r\n"), std::string::npos);
    EXPECT_NE(headers.find("\r\nSet-Cookie: b=2\r\n"), std::string::npos);
    EXPECT_EQ(headers.find("set-cookie"), std::string::npos);
    EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
    EXPECT_EQ(returned, "a=1; b=2");

    Text cookies;
    http_request(server.url("/case/two"), 0, {}, &cookies, &returned);
    EXPECT_EQ(returned, "a=1;b=2");
    EXPECT_EQ(cookies, "a=1; b=2");
}

struct CookieCase {
    const char* given;
    std::vector<std::string> set_lines;
    const char* cookie_line; // sent; empty: none
    const char* merged;
    const char* returned;
};

class SuppliedCookiesTest : public ::testing::TestWithParam<CookieCase> {};

// Supplied cookies (even empty) replace the shared store: only the caller's text is sent, and
// what the response sets is merged into it.
TEST_P(SuppliedCookiesTest, SendsAndMergesTheCallersCookies) {
    const CookieCase& c = GetParam();
    RawHttpServer server(
        [&](const RawRequest&) { return http_response("200 OK", "k", c.set_lines); });
    Text cookies = c.given;
    Text returned = "stale";
    http_request(server.url("/own/x"), 0, {}, &cookies, &returned);

    ASSERT_EQ(server.requests().size(), 1U);
    std::vector<std::string> cookie_lines;
    for (const std::string& line : server.requests()[0].header_lines()) {
        if (starts_with(line, "Cookie:")) {
            cookie_lines.push_back(line);
        }
    }
    const std::string wanted = c.cookie_line;
    EXPECT_EQ(cookie_lines,
              wanted.empty() ? std::vector<std::string>{} : std::vector<std::string>{wanted});
    EXPECT_EQ(cookies, c.merged);
    EXPECT_EQ(returned, c.returned);
}

INSTANTIATE_TEST_SUITE_P(Cases, SuppliedCookiesTest,
                         ::testing::Values(CookieCase{"",
                                                      {"Set-Cookie: sid=a b; Path=/own",
                                                       "Set-Cookie: old=deleted; Path=/own"},
                                                      "",
                                                      "sid=ab",
                                                      "sid=ab;old=deleted"},
                                           CookieCase{"k=v; sid=0",
                                                      {"Set-Cookie: sid=9; Path=/own"},
                                                      "Cookie: k=v; sid=0",
                                                      "sid=9; k=v",
                                                      "sid=9"},
                                           CookieCase{"k=v", {}, "Cookie: k=v", "k=v", ""}));

TEST(HttpRequestTest, SharedStoreKeepsCookiesUnlessTheCallerSuppliesHis) {
    RawHttpServer server([](const RawRequest& request) {
        if (request.request_line().find("/set") != std::string::npos) {
            return http_response("200 OK", "set", {"Set-Cookie: st=1"});
        }
        return http_response("200 OK", "get");
    });
    http_request(server.url("/store/set"));
    http_request(server.url("/store/get"));
    Text cookies;
    http_request(server.url("/store/get"), 0, {}, &cookies);
    // With the caller's own cookies the store does not learn the response's cookies either.
    Text own;
    http_request(server.url("/own-store/set"), 0, {}, &own);
    http_request(server.url("/own-store/get"));

    const std::vector<RawRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 5U);
    EXPECT_FALSE(has_line(requests[0], "Cookie: st=1"));
    EXPECT_TRUE(has_line(requests[1], "Cookie: st=1"));
    EXPECT_FALSE(has_line(requests[2], "Cookie: st=1"));
    EXPECT_EQ(own, "st=1");
    for (const std::string& line : requests[4].header_lines()) {
        EXPECT_FALSE(starts_with(line, "Cookie:")) << line;
    }
}

TEST(HttpRequestTest, UnreachablePortGivesEmptyBytes) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(testing::unused_local_port()) + "/";
    Text headers;
    Text returned = "before";
    Text header_lines;
    EXPECT_TRUE(http_request(url, 0, {}, nullptr, &returned, &header_lines, &headers).empty());
    // The request was opened, so the block was built; no response means no header block.
    EXPECT_TRUE(starts_with(header_lines, "Accept: */*\r\nReferer: " + url));
    EXPECT_EQ(headers, std::string(5000, ' '));
    EXPECT_EQ(returned, "");
}

TEST(HttpRequestTest, RequestThatCannotBeOpenedWritesNothing) {
    Text cookies = "a=1";
    Text returned = "r";
    Text header_lines = "X-Keep: 1";
    Text headers = "h";
    Bytes post_bytes;
    EXPECT_TRUE(http_request("http://127.0.0.1:70000/", 1, "body", &cookies, &returned,
                             &header_lines, &headers, false, &post_bytes)
                    .empty());
    EXPECT_EQ(cookies, "a=1");
    EXPECT_EQ(returned, "r");
    EXPECT_EQ(header_lines, "X-Keep: 1");
    EXPECT_EQ(headers, "h");
    EXPECT_TRUE(post_bytes.empty());
}

TEST(HttpRequestTest, RedirectIsFollowedAndOnlyTheFinalHeadersAreReturned) {
    RawHttpServer server([](const RawRequest& request) {
        if (request.request_line() == "GET /start HTTP/1.1") {
            return http_response("302 Found", "moved", {"Location: /final", "X-First: 1"});
        }
        return http_response("200 OK", "final body", {"X-Final: 1"});
    });
    Text headers;
    EXPECT_EQ(
        text_of(http_request(server.url("/start"), 0, {}, nullptr, nullptr, nullptr, &headers)),
        "final body");
    const std::vector<RawRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[1].request_line(), "GET /final HTTP/1.1");
    EXPECT_TRUE(starts_with(headers, "HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(headers.find("\r\nX-Final: 1\r\n"), std::string::npos);
    EXPECT_EQ(headers.find("X-First"), std::string::npos);
    EXPECT_EQ(headers.find("302"), std::string::npos);
}

TEST(HttpRequestTest, NoRedirectReturnsTheRedirectItself) {
    RawHttpServer server([](const RawRequest&) {
        return http_response("302 Found", "moved", {"Location: /final"});
    });
    Text headers;
    EXPECT_EQ(text_of(http_request(server.url("/start"), 0, {}, nullptr, nullptr, nullptr, &headers,
                                   true)),
              "moved");
    EXPECT_EQ(server.requests().size(), 1U);
    EXPECT_TRUE(starts_with(headers, "HTTP/1.1 302 Found\r\n"));
}

class ForeignRedirectTest : public ::testing::TestWithParam<const char*> {};

// Only HTTP and HTTPS are spoken: a redirect elsewhere, even to this very server, fails the
// request. ("<port>" stands for the server's port.)
TEST_P(ForeignRedirectTest, IsNotFollowed) {
    std::string location = std::string("Location: ") + GetParam();
    RawHttpServer server(
        [&](const RawRequest&) { return http_response("302 Found", "moved", {location}); });
    const std::size_t at = location.find("<port>");
    if (at != std::string::npos) {
        location.replace(at, 6, std::to_string(server.port()));
    }
    EXPECT_TRUE(http_request(server.url("/start")).empty());
    EXPECT_EQ(server.requests().size(), 1U);
    EXPECT_EQ(server.connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ForeignRedirectTest,
                         ::testing::Values("ftp://127.0.0.1:<port>/x", "file:///etc/passwd",
                                           "gopher://127.0.0.1:<port>/x",
                                           "dict://127.0.0.1:<port>/d:x"));

TEST(HttpRequestTest, OversizedHeaderBlockIsNotCaptured) {
    RawHttpServer server([](const RawRequest&) {
        return http_response("200 OK", "big",
                             {"Set-Cookie: z=1", "X-Pad: " + std::string(5000, 'p')});
    });
    Text headers;
    Text returned = "r";
    EXPECT_EQ(
        text_of(http_request(server.url("/big/x"), 0, {}, nullptr, &returned, nullptr, &headers)),
        "big");
    EXPECT_EQ(headers, std::string(5000, ' '));
    EXPECT_EQ(returned, "");
}

TEST(HttpRequestTest, ProxyForPlainHttpIsUsed) {
    RawHttpServer proxy;
    const std::string url = "http://127.0.0.1:" + std::to_string(proxy.port()) + "/via";
    EXPECT_EQ(text_of(http_request(url, 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr,
                                   "127.0.0.1:" + std::to_string(proxy.port()))),
              "ok");
    ASSERT_EQ(proxy.requests().size(), 1U);
    EXPECT_EQ(proxy.requests()[0].request_line(), "GET " + url + " HTTP/1.1");
}

TEST(HttpRequestTest, SecureUrlInCapitalsTunnelsThroughTheProxyAsGiven) {
    RawHttpServer proxy([](const RawRequest&) { return http_response("403 Forbidden", ""); });
    const std::string address = "127.0.0.1:" + std::to_string(proxy.port());
    EXPECT_TRUE(http_request("HTTPS://" + address + "/x", 0, {}, nullptr, nullptr, nullptr, nullptr,
                             false, nullptr, address)
                    .empty());
    ASSERT_EQ(proxy.requests().size(), 1U);
    EXPECT_EQ(proxy.requests()[0].request_line(), "CONNECT " + address + " HTTP/1.1");
}

TEST(HttpRequestTest, PlainRequestMayBeRedirectedToHttps) {
    int port = 0;
    RawHttpServer server([&](const RawRequest&) {
        return http_response("302 Found", "",
                             {"Location: https://127.0.0.1:" + std::to_string(port) + "/s"});
    });
    port = server.port();
    EXPECT_TRUE(http_request(server.url("/start")).empty());
    const std::vector<RawRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[1].raw.substr(0, 2), "\x16\x03");
}

TEST(HttpRequestTest, UnsafePathBytesArePercentEncoded) {
    RawHttpServer server;
    http_request(server.url("/a b/%41/\xC4\xE3?q=\x01"));
    ASSERT_EQ(server.requests().size(), 1U);
    EXPECT_EQ(server.requests()[0].request_line(), "GET /a%20b/%41/%C4%E3?q=%01 HTTP/1.1");
}

TEST(HttpRequestTest, WaitHookIsCalledWhileWaiting) {
    RawHttpServer server([](const RawRequest&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return http_response("200 OK", "slow");
    });
    int calls = 0;
    const WaitHook previous = set_wait_hook([&] { ++calls; });
    EXPECT_EQ(text_of(http_request(server.url("/slow"))), "slow");
    set_wait_hook(previous);
    EXPECT_GT(calls, 0);
}

TEST(HeaderLineValueTest, TakesTheTrimmedTextAfterTheFirstColon) {
    EXPECT_EQ(header_line_value("user-agent:  X Y "), "X Y");
    EXPECT_EQ(header_line_value("a: b: c"), "b: c");
    EXPECT_EQ(header_line_value("no colon"), "");
    EXPECT_EQ(header_line_value("Name:"), "");
}

} // namespace
} // namespace quillmoor
