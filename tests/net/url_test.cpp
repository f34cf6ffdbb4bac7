#include "net/url.h"

#include <gtest/gtest.h>

#include <optional>

namespace quillmoor {
namespace {

struct HostCase {
    const char* url;
    bool main_domain;
    bool keep_port;
    std::optional<int> label_count;
    const char* host;
};

class UrlHostTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(UrlHostTest, TakesTheHost) {
    const HostCase& c = GetParam();
    EXPECT_EQ(url_host(c.url, c.main_domain, c.keep_port, c.label_count), c.host);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlHostTest,
    ::testing::Values(
        // The host by its scheme marker (no label count).
        HostCase{"HTTP://WWW.Example.COM:8080/Path?Q=AbC", false, false, {}, "www.example.com"},
        HostCase{"HTTP://WWW.Example.COM:8080/Path?Q=AbC", false, true, {}, "www.example.com:8080"},
        HostCase{"https://Secure.example.com/x", false, false, {}, "secure.example.com"},
        HostCase{"http://example.com", false, false, {}, "example.com"},
        HostCase{"", false, false, {}, ""},
        HostCase{"example.com/dir/file.txt", false, false, {}, "example.com"},
        HostCase{"http://example.com?q=1", false, false, {}, "example.com?q=1"},
        HostCase{"example.com?u=http://inner.org/x", false, false, {}, "inner.org"},
        HostCase{"ftp://files.example.com/pub", false, false, {}, "ftp"},
        HostCase{"ftp://files.example.com/pub", false, true, {}, "ftp:"},
        HostCase{"http://user:pw@example.com:8080/p", false, false, {}, "user"},
        HostCase{"http://localhost/", true, false, {}, "localhost"},
        HostCase{"http://a.b.c.d/", true, false, {}, "c.d"},
        HostCase{"http://192.168.1.20:81/", true, true, {}, "1.20:81"},
        // The host by its last labels: a supplied count, 0 included, picks this form.
        HostCase{"http://a.b.c.d/", false, false, 0, "c.d"},
        HostCase{"http://a.b.c.d/", true, false, 0, "d"},
        HostCase{"http://a.b.c.d/", false, false, 1, "b.c.d"},
        HostCase{"http://a.b.c.d/", true, false, 1, "c.d"},
        HostCase{"http://a.b.c.d/", false, false, 2, "a.b.c.d"},
        HostCase{"http://a.b.c.d/", true, false, 2, "b.c.d"},
        HostCase{"http://a.b.c.d/", false, false, 3, "a.b.c.d"},
        HostCase{"http://a.b.c.d/", true, false, 3, "a.b.c.d"},
        HostCase{"a.b.c.d", false, false, -2, "c.d"},
        HostCase{"https://x.a.b.c.d:8080/p?q", false, true, 0, "c.d:8080"},
        HostCase{"https://x.a.b.c.d:8080/p?q", false, false, 0, "c.d"},
        HostCase{"HTTPS://Mixed.Case.Org/", false, false, 5, "mixed.case.org"}));

struct PortPathCase {
    const char* url;
    int port;
    const char* path;
};

class UrlPortPathTest : public ::testing::TestWithParam<PortPathCase> {};

TEST_P(UrlPortPathTest, TakesPortAndPath) {
    const PortPathCase& c = GetParam();
    EXPECT_EQ(url_port(c.url), c.port);
    EXPECT_EQ(url_path(c.url), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlPortPathTest,
    ::testing::Values(
        PortPathCase{"HTTP://WWW.Example.COM:8080/Path/Sub?Q=AbC", 8080, "/Path/Sub?Q=AbC"},
        PortPathCase{"http://example.com", 80, "/"}, PortPathCase{"", 80, "/"},
        PortPathCase{"example.com/dir/file.txt", 80, "/dir/file.txt"},
        PortPathCase{"https://secure.example.com/x", 443, "/x"},
        PortPathCase{"HTTPS://SECURE.example.com/x", 443, "/x"},
        PortPathCase{"http://example.com?q=1", 80, "/"},
        PortPathCase{"example.com?u=http://inner.org/x", 80, "/x"},
        PortPathCase{"ftp://files.example.com/pub/a.txt", 0, "//files.example.com/pub/a.txt"},
        PortPathCase{"http://user:pw@example.com:8080/p", 8080, "/p"},
        PortPathCase{"http://user:pw@example.com/p", 0, "/p"},
        PortPathCase{"http://example.com:/p", 0, "/p"},
        PortPathCase{"http://Example.com/Example.COM/A", 80, "/Example.COM/A"}));

} // namespace
} // namespace quillmoor
