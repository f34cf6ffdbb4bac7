#include "net/request_layer.h"

#include "net/url_encoding.h"
#include "raw_http_server.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmoor {
namespace {

using testing::http_response;
using testing::RawHttpServer;
using testing::RawRequest;

TEST(UrlEncodingTest, EscapesOnlyBytesThatCannotTravel) {
    EXPECT_EQ(encode_unsafe_url_bytes(""), "");
    EXPECT_EQ(encode_unsafe_url_bytes("/a b?c=%41&d=\"<>\"#f"), "/a%20b?c=%41&d=\"<>\"#f");
    EXPECT_EQ(encode_unsafe_url_bytes("\x01\t\x7F\x80\xFF"), "%01%09%7F%80%FF");
    EXPECT_EQ(encode_unsafe_url_bytes("/\xC4\xE3\xBA\xC3"), "/%C4%E3%BA%C3");
}

struct ProxyCase {
    const char* list;
    const char* http_proxy;
    const char* https_proxy;
};

class ProxyListTest : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ProxyListTest, SplitsTheListBySchemes) {
    const ProxyCase& c = GetParam();
    const auto session = net_open("agent", c.list);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->http_proxy, c.http_proxy);
    EXPECT_EQ(session->https_proxy, c.https_proxy);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProxyListTest,
                         ::testing::Values(ProxyCase{"", "", ""},
                                           ProxyCase{"p:8080", "p:8080", "p:8080"},
                                           ProxyCase{"http=p:8080", "p:8080", ""},
                                           ProxyCase{"HTTPS=s:1 http=p:2", "p:2", "s:1"},
                                           ProxyCase{"http=p:2;https=s:1", "p:2", "s:1"},
                                           ProxyCase{"ftp=f:21", "", ""},
                                           ProxyCase{"http=", "", ""}));

TEST(RequestLayerTest, AgentEndsBeforeALineEnd) {
    EXPECT_EQ(net_open("A/1\r\nX-Injected: 1", "")->agent, "A/1");
}

TEST(RequestLayerTest, ConnectionTakesOnlyRealPorts) {
    const auto session = net_open("agent", "");
    EXPECT_EQ(net_connect(*session, "h", -1), nullptr);
    EXPECT_EQ(net_connect(*session, "h", 65536), nullptr);
    EXPECT_NE(net_connect(*session, "h", 0), nullptr);
    EXPECT_NE(net_connect(*session, "h", 65535), nullptr);
}

struct TargetCase {
    int port;
    const char* object;
    std::uint32_t flags;
    const char* url;
};

class RequestUrlTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(RequestUrlTest, BuildsTheUrlFromSchemeHostPortAndObject) {
    const TargetCase& c = GetParam();
    const auto session = net_open("agent", "");
    const auto connection = net_connect(*session, "host.example", c.port);
    const auto request = net_open_request(*connection, "GET", c.object, "HTTP/1.1", c.flags);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->url(), c.url);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestUrlTest,
    ::testing::Values(TargetCase{0, "/", 0, "http://host.example:80/"},
                      TargetCase{0, "/x", kFlagSecure, "https://host.example:443/x"},
                      TargetCase{8443, "/x", kFlagSecure, "https://host.example:8443/x"},
                      TargetCase{81, "x y", 0, "http://host.example:81/x%20y"},
                      TargetCase{80, "", 0, "http://host.example:80/"}));

TEST(RequestLayerTest, UnknownVersionCannotBeOpened) {
    const auto session = net_open("agent", "");
    const auto connection = net_connect(*session, "h", 80);
    EXPECT_EQ(net_open_request(*connection, "GET", "/", "HTTP/2", 0), nullptr);
    EXPECT_NE(net_open_request(*connection, "GET", "/", "HTTP/1.0", 0), nullptr);
}

// A host that is not a plain name (a user part, a port, a path) is never handed to the URL
// parser, where it could name another server.
TEST(RequestLayerTest, HostThatIsNotAPlainNameFailsTheSend) {
    RawHttpServer server;
    const auto session = net_open("agent", "");
    for (const std::string host : {"x@127.0.0.1", "127.0.0.1/", "127.0.0.1?", "", "h st"}) {
        const auto connection = net_connect(*session, host, server.port());
        const auto request = net_open_request(*connection, "GET", "/", "HTTP/1.1", 0);
        ASSERT_NE(request, nullptr);
        EXPECT_FALSE(request->send("Accept: */*", {})) << host;
        std::uint8_t byte = 0;
        EXPECT_EQ(request->read(&byte, 1), 0U);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(RequestLayerTest, PathGoesOutAsTheUrlHoldsIt) {
    RawHttpServer server;
    const auto session = net_open("agent", "");
    const auto connection = net_connect(*session, "127.0.0.1", server.port());
    const auto request =
        net_open_request(*connection, "GET", "/a/../b/./%41%2F?x=../y", "HTTP/1.1", 0);
    ASSERT_TRUE(request->send("", {}));
    ASSERT_EQ(server.requests().size(), 1U);
    EXPECT_EQ(server.requests()[0].request_line(), "GET /a/../b/./%41%2F?x=../y HTTP/1.1");
}

TEST(RequestLayerTest, ReadsInBlocksAndQueriesHeadersWithinTheBuffer) {
    RawHttpServer server(
        [](const RawRequest&) { return http_response("200 OK", "0123456789", {"X-A: 1"}); });
    const auto session = net_open("agent", "");
    const auto connection = net_connect(*session, "127.0.0.1", server.port());
    const auto request = net_open_request(*connection, "GET", "/", "HTTP/1.1", 0);
    ASSERT_TRUE(request->send("", {}));

    std::uint8_t block[4];
    std::string body;
    while (const std::size_t count = request->read(block, sizeof block)) {
        EXPECT_LE(count, sizeof block);
        body.append(reinterpret_cast<const char*>(block), count);
    }
    EXPECT_EQ(body, "0123456789");

    const std::string expected =
        "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 10\r\nConnection: close\r\n\r\n";
    std::string buffer(expected.size(), '#');
    std::size_t length = buffer.size();
    EXPECT_FALSE(request->query_raw_headers(buffer.data(), length));
    EXPECT_EQ(length, expected.size() + 1);
    EXPECT_EQ(buffer, std::string(expected.size(), '#'));

    buffer.assign(expected.size() + 1, '#');
    length = buffer.size();
    EXPECT_TRUE(request->query_raw_headers(buffer.data(), length));
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(buffer, expected + '\0');
}

} // namespace
} // namespace quillmoor
