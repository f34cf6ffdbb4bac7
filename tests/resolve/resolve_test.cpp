// The resolve command's core against a resolver on 127.0.0.1 whose answers the test sets.
#include "raw_http_server.h"
#include "resolve/resolve.h"
#include "text/codepage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillmoor;

namespace {

Text cp936(const std::string& utf8) {
    return utf8_to_cp936(utf8);
}

std::string percent_decoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A resolver that answers every "/baidu/" request with the text the test gives it.
class FakeResolver {
public:
    FakeResolver() {
        server_.Get("/baidu/", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            target_ = req.target;
            res.set_content(answer_, "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 500 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ~FakeResolver() {
        server_.stop();
        thread_.join();
    }
    Text host() const { return "127.0.0.1:" + std::to_string(port_); }
    void answer(const std::string& text) {
        std::lock_guard lock(mutex_);
        answer_ = text;
    }
    std::string target() {
        std::lock_guard lock(mutex_);
        return target_;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::string answer_;
    std::string target_;
};

// A loopback port that takes each request, notes its request line and closes the connection
// without an answer.
class SilentPeer {
public:
    SilentPeer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 4);
        socklen_t size = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int peer = ::accept(fd_, nullptr, nullptr);
                if (peer < 0)
                    return;
                std::string head;
                char buffer[1024];
                while (head.find("\r\n") == std::string::npos) {
                    const auto got = ::recv(peer, buffer, sizeof buffer, 0);
                    if (got <= 0)
                        break;
                    head.append(buffer, std::size_t(got));
                }
                {
                    std::lock_guard lock(mutex_);
                    request_line_ = head.substr(0, head.find("\r\n"));
                }
                ::close(peer); // after noting, so the caller sees the line once it sees the close
            }
        });
    }
    ~SilentPeer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    Text host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string request_line() {
        std::lock_guard lock(mutex_);
        return request_line_;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::string request_line_;
};

} // namespace

TEST(ResolveShare, ReadsTheFourFieldsByTheirMarkers) {
    const struct {
        std::string answer;
        std::string name; // UTF-8
        std::string size, download, md5;
    } cases[] = {
        {R"({"name": "\u5feb\u901f\u5165\u95e8.txt", "size": "11", "download": "http://127.0.0.1:1/d/K0XWRBMe", "md5": "5eb63bbbe01eeed093cb22bb8f5acdc3", "share": "x"})",
         "快速入门.txt", "11", "http://127.0.0.1:1/d/K0XWRBMe", "5eb63bbbe01eeed093cb22bb8f5acdc3"},
        // a name or MD5 as last member has no ", " after it; a size does not need one
        {R"({"md5": "m", "download": "d", "name": "n"})", "", "", "d", "m"},
        {R"({"download": "d", "name": "n", "md5": "m"})", "n", "", "d", ""},
        {R"({"name": "n", "download": "d", "size": "7"})", "n", "7", "d", ""},
        {R"({"name": "n", "size": 7, "md5": "m", "x": 1})", "n", "", "", "m"},
        // escapes outside the name are kept as written
        {R"({"name": "it's", "size": "1\u0030", "download": "http:\/\/h\/d", "md5": "m", "e": 0})",
         "it's", "1\\u0030", "http:\\/\\/h\\/d", "m"},
        // bytes after a NUL are not part of the answer
        {std::string("{\"name\": \"a\", \"size\": \"1\"\0, \"download\": \"d\", \"md5\": \"m\", }",
                     56),
         "a", "1", "", ""},
        {"<html>404 Not Found</html>", "", "", "", ""},
        {"", "", "", "", ""},
    };
    FakeResolver resolver;
    for (const auto& c : cases) {
        resolver.answer(c.answer);
        const ShareFacts facts = resolve_share(resolver.host(), "http://pan.baidu.com/s/K0XWRBMe");
        EXPECT_EQ(facts.response_text, c.answer.substr(0, c.answer.find('\0'))) << c.answer;
        EXPECT_EQ(facts.file_name, cp936(c.name)) << c.answer;
        EXPECT_EQ(facts.file_size, c.size) << c.answer;
        EXPECT_EQ(facts.download_url, c.download) << c.answer;
        EXPECT_EQ(facts.file_md5, c.md5) << c.answer;
    }
}

TEST(ResolveShare, SendsTheLinkAsTyped) {
    SilentPeer resolver;
    for (const Text& link :
         {Text(), Text("http://pan.baidu.com/s/K0XWRBMe"), Text(" a b&c=d "),
          cp936("http://pan.baidu.com/s/快速"), Text("http://pan.baidu.com/s/x?pwd=1")}) {
        resolve_share(resolver.host(), link);
        const std::string line = resolver.request_line();
        const std::string prefix = "GET /baidu/?url=";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        const std::string sent = line.substr(prefix.size(), line.rfind(" HTTP/") - prefix.size());
        // Bytes that cannot travel in a request line arrive percent-encoded, the rest as typed.
        EXPECT_EQ(percent_decoded(sent), link) << line;
        EXPECT_EQ(sent.find_first_of(" \x80\xBF"), std::string::npos) << line;
    }
}

TEST(ResolveShare, NoAnswerLeavesEveryFieldEmpty) {
    SilentPeer silent;
    for (const Text& host :
         {"127.0.0.1:" + std::to_string(quillmoor::testing::unused_local_port()), silent.host()}) {
        const ShareFacts facts = resolve_share(host, "http://pan.baidu.com/s/K0XWRBMe");
        EXPECT_EQ(facts.response_text, "") << host;
        EXPECT_EQ(facts.file_name, "") << host;
        EXPECT_EQ(facts.file_size, "") << host;
        EXPECT_EQ(facts.download_url, "") << host;
        EXPECT_EQ(facts.file_md5, "") << host;
    }
}

TEST(ResultLines, FourPiecesEachBetweenLineBreaks) {
    const ShareFacts facts{"", cp936("快速入门.txt"), "11", "http://h/d/x", "abc"};
    const auto lines = result_lines(facts);
    EXPECT_EQ(lines[0], cp936("\r\n文件名称：快速入门.txt\r\n"));
    EXPECT_EQ(lines[1], cp936("\r\n文件尺寸：11\r\n"));
    EXPECT_EQ(lines[2], cp936("\r\n文件 MD5：abc\r\n"));
    EXPECT_EQ(lines[3], cp936("\r\n文件地址：http://h/d/x\r\n"));
    EXPECT_EQ(result_lines(ShareFacts{})[0], cp936("\r\n文件名称：\r\n"));
}

TEST(ResolverHost, EnvironmentOverridesTheDefault) {
    const struct {
        const char* value; // nullptr: unset
        const char* host;
    } cases[] = {
        {nullptr, "127.0.0.1:18936"},
        {"", "127.0.0.1:18936"},
        {"127.0.0.1:4000", "127.0.0.1:4000"},
        {"localhost", "localhost"},
    };
    for (const auto& c : cases) {
        if (c.value != nullptr)
            ::setenv("QUILLMOOR_RESOLVER", c.value, 1);
        else
            ::unsetenv("QUILLMOOR_RESOLVER");
        EXPECT_EQ(resolver_host_from_environment(), c.host) << (c.value ? c.value : "(unset)");
    }
    ::unsetenv("QUILLMOOR_RESOLVER");
}

TEST(SafeFileName, KeepsTheDownloadInsideItsFolder) {
    const struct {
        std::string name;
        std::string safe;
    } cases[] = {
        {"", ""},
        {"report.txt", "report.txt"},
        {".", "_"},
        {"..", "__"},
        {"...", "..."},
        {".hidden", ".hidden"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"..\\..\\boot.ini", ".._.._boot.ini"},
        {"/abs", "_abs"},
        {"a\r\nb\tc\x7f", "a__b_c_"},
        {cp936("乗.txt"), cp936("乗.txt")}, // second byte 0x5C is part of the character
        {cp936("快速入门.txt"), cp936("快速入门.txt")},
        {"\x81/x", "\x81_x"},   // a lead byte before "/" does not hide it
        {"\x81\\x", "\x81\\x"}, // but 0x81 0x5C is one character
        {"end\xB0", "end\xB0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(safe_file_name(c.name), c.safe) << c.name;
}
