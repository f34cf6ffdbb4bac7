// quillmoor-share's service, run in-process on an ephemeral loopback port.
#include "md5.h"
#include "resolve/unescape.h"
#include "share_catalog.h"
#include "share_server.h"
#include "text/codepage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace quillmoor::share;

namespace {

void write_file(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class ShareServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("quillmoor-share-test-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "inner");
        write_file(folder_ / "快速入门.txt", "hello world");
        write_file(folder_ / "empty.bin", "");
        for (int i = 0; i < 300000; ++i)
            big_ += char('a' + i % 23);
        write_file(folder_ / "big.bin", big_);
        write_file(folder_ / "inner" / "hidden.txt", "not shared");
        write_file(folder_.parent_path() / "outside-secret.txt", "secret");
        server_ = std::make_unique<ShareServer>(ShareCatalog::scan(folder_));
        port_ = server_->start("127.0.0.1", 0);
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        if (server_)
            server_->stop();
        fs::remove_all(folder_);
        fs::remove(folder_.parent_path() / "outside-secret.txt");
    }
    httplib::Client client() const {
        httplib::Client c("127.0.0.1", port_);
        c.set_keep_alive(true);
        return c;
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

    fs::path folder_;
    std::string big_;
    std::unique_ptr<ShareServer> server_;
    int port_ = 0;
};

} // namespace

TEST(ShareCode, FollowsTheNameDigest) {
    EXPECT_EQ(share_code("快速入门.txt"), "K0XWRBMe");
    const std::string code = share_code("another name.bin");
    EXPECT_EQ(code.size(), 8u);
    EXPECT_NE(code, "K0XWRBMe");
}

TEST(Md5, KnownDigests) {
    const struct {
        std::string input;
        const char* hex;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const auto& c : cases) {
        Md5 whole;
        whole.update(c.input);
        EXPECT_EQ(to_hex(whole.digest()), c.hex) << c.input.size();
        Md5 pieces; // fed in uneven pieces, as a file read is
        for (std::size_t i = 0; i < c.input.size(); i += 37)
            pieces.update(std::string_view(c.input).substr(i, 37));
        EXPECT_EQ(to_hex(pieces.digest()), c.hex) << c.input.size();
    }
}

TEST(ShareLink, CodeOfLink) {
    const struct {
        const char* link;
        const char* code;
    } cases[] = {
        {"http://pan.baidu.com/s/K0XWRBMe", "K0XWRBMe"},
        {"https://pan.baidu.com/s/K0XWRBMe", "K0XWRBMe"},
        {"HTTP://Pan.Baidu.com/s/K0XWRBMe", "K0XWRBMe"},
        {"http://pan.baidu.com/s/K0XWRBMe/", "K0XWRBMe"},
        {"http://pan.baidu.com/s/K0XWRBMe?pwd=1234", "K0XWRBMe"},
        {"http://pan.baidu.com/s/K0XWRBMe#top", "K0XWRBMe"},
        {"http://pan.baidu.com/s/K0XWRBMe&from=share", "K0XWRBMe"},
        {"http://pan.baidu.com/s/K0XWRBM", ""},
        {"http://pan.baidu.com/s/K0XWRBMeX", ""},
        {"http://pan.baidu.com/s/K0XWRBMe/more", ""},
        {"http://pan.baidu.com/s/K0XW.BMe", ""},
        {"http://example.com/s/K0XWRBMe", ""},
        {"ftp://pan.baidu.com/s/K0XWRBMe", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(code_of_link(c.link), c.code) << c.link;
}

TEST(ShareAnswer, NameEscapesSurviveTheClient) {
    const struct {
        const char* name;
        const char* json;
    } cases[] = {
        {"plain.txt", "plain.txt"},
        {"it's.txt", "it's.txt"},
        {"say \"hi\".txt", "say \\u0022hi\\u0022.txt"},
        {"a\\b", "a\\u005cb"},
        {"100%25.txt", "100\\u002525.txt"},
        {"tab\there", "tab\\u0009here"},
        {"快速", "\\u5feb\\u901f"},
        {"\xF0\x9F\x98\x80", "\\ud83d\\ude00"},
        {"bad\xFFutf8", "bad\\ufffdutf8"},
        {"cut\xE5\xBF", "cut\\ufffd\\ufffd"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(json_name(c.name), c.json) << c.name;
}

TEST(ShareAnswer, NamesComeBackWholeThroughTheClientDecoder) {
    for (const std::string name : {"it's.txt", "say \"hi\", then go.txt", "a\\b\\u0041\\.txt",
                                   "100%25 %u6587%.txt", "快速入门.txt", "tab\there", "x\r\ny"}) {
        const std::string json = json_name(name);
        EXPECT_EQ(json.find("\", "), std::string::npos) << name; // the end marker
        EXPECT_EQ(quillmoor::unescape_text(json), quillmoor::utf8_to_cp936(name)) << name;
    }
}

TEST_F(ShareServiceTest, KnownLinkAnswersTheFourFieldsInMarkerForm) {
    auto c = client();
    const auto res = c.Get("/baidu/?url=http://pan.baidu.com/s/K0XWRBMe");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "{\"name\": \"\\u5feb\\u901f\\u5165\\u95e8.txt\", \"size\": \"11\", "
                         "\"download\": \"http://" +
                             host() +
                             "/d/K0XWRBMe\", \"md5\": \"5eb63bbbe01eeed093cb22bb8f5acdc3\", "
                             "\"share\": \"http://pan.baidu.com/s/K0XWRBMe\"}");
}

TEST_F(ShareServiceTest, LinkIsReadAsSentWithPercentEscapesDecoded) {
    auto c = client();
    for (const char* query : {"/baidu/?url=https://pan.baidu.com/s/K0XWRBMe/",
                              "/baidu/?url=http%3A%2F%2Fpan.baidu.com%2Fs%2FK0XWRBMe",
                              "/baidu/?url=http://pan.baidu.com/s/K0XWRBMe&from=share"}) {
        const auto res = c.Get(query);
        ASSERT_TRUE(res) << query;
        EXPECT_EQ(res->status, 200) << query;
        EXPECT_NE(res->body.find("\"md5\": \"5eb63bbbe01eeed093cb22bb8f5acdc3\", "),
                  std::string::npos)
            << query;
    }
}

TEST_F(ShareServiceTest, UnknownLinkGivesAnErrorWithoutFields) {
    auto c = client();
    for (const char* query : {"/baidu/?url=http://pan.baidu.com/s/zzzzzzzz", "/baidu/?url=",
                              "/baidu/", "/baidu/?url=http://pan.baidu.com/s/hidden.t"}) {
        const auto res = c.Get(query);
        ASSERT_TRUE(res) << query;
        EXPECT_EQ(res->status, 404) << query;
        EXPECT_EQ(res->body.find("\"name\""), std::string::npos) << query;
        EXPECT_EQ(res->body.find("\"download\""), std::string::npos) << query;
    }
}

TEST_F(ShareServiceTest, DownloadAddressFollowsAPlainHostHeader) {
    auto c = client();
    const auto named =
        c.Get("/baidu/?url=http://pan.baidu.com/s/K0XWRBMe", {{"Host", "localhost:4321"}});
    ASSERT_TRUE(named);
    EXPECT_NE(named->body.find("\"download\": \"http://localhost:4321/d/K0XWRBMe\", "),
              std::string::npos);
    const auto odd = c.Get("/baidu/?url=http://pan.baidu.com/s/K0XWRBMe", {{"Host", "evil\",\"x"}});
    ASSERT_TRUE(odd);
    EXPECT_NE(odd->body.find("\"download\": \"http://" + host() + "/d/K0XWRBMe\", "),
              std::string::npos);
}

TEST_F(ShareServiceTest, RangesAreServedClampedToTheFile) {
    const struct {
        const char* range; // empty: no Range header
        int status;
        const char* content_range;
        const char* body;
    } cases[] = {
        {"", 200, "", "hello world"},
        {"bytes=0-4", 206, "bytes 0-4/11", "hello"},
        {"bytes=6-", 206, "bytes 6-10/11", "world"},
        {"bytes=10-10", 206, "bytes 10-10/11", "d"},
        {"bytes=10-99", 206, "bytes 10-10/11", "d"},
        {"bytes=0-1000", 206, "bytes 0-10/11", "hello world"},
        {"bytes=-5", 206, "bytes 6-10/11", "world"},
        {"bytes=-50", 206, "bytes 0-10/11", "hello world"},
        {"bytes=11-", 416, "bytes */11", ""},
        {"bytes=11-20", 416, "bytes */11", ""},
        {"bytes=-0", 416, "bytes */11", ""},
        {"bytes=0-1,3-4", 200, "", "hello world"},
    };
    auto c = client();
    for (const auto& t : cases) {
        httplib::Headers headers;
        if (*t.range)
            headers.emplace("Range", t.range);
        const auto res = c.Get("/d/K0XWRBMe", headers);
        ASSERT_TRUE(res) << t.range;
        EXPECT_EQ(res->status, t.status) << t.range;
        EXPECT_EQ(res->get_header_value("Content-Range"), t.content_range) << t.range;
        EXPECT_EQ(res->body, t.body) << t.range;
        // One connection carries every block.
        EXPECT_NE(res->get_header_value("Connection"), "close") << t.range;
    }
}

TEST_F(ShareServiceTest, LargeRangesStreamInPieces) {
    auto c = client();
    const std::string path = "/d/" + share_code("big.bin");
    const auto whole = c.Get(path);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->body, big_);
    const auto part = c.Get(path, {{"Range", "bytes=1000-250999"}});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 1000-250999/300000");
    EXPECT_EQ(part->body, big_.substr(1000, 250000));
}

TEST_F(ShareServiceTest, ZeroLengthFile) {
    auto c = client();
    const auto answer = c.Get("/baidu/?url=http://pan.baidu.com/s/" + share_code("empty.bin"));
    ASSERT_TRUE(answer);
    EXPECT_NE(answer->body.find("\"size\": \"0\", "), std::string::npos);
    EXPECT_NE(answer->body.find("\"md5\": \"d41d8cd98f00b204e9800998ecf8427e\", "),
              std::string::npos);

    const std::string path = "/d/" + share_code("empty.bin");
    const auto whole = c.Get(path);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->body, "");
    EXPECT_EQ(whole->get_header_value("Content-Length"), "0");
    const auto ranged = c.Get(path, {{"Range", "bytes=0-20479"}});
    ASSERT_TRUE(ranged);
    EXPECT_EQ(ranged->status, 416);
    EXPECT_EQ(ranged->get_header_value("Content-Range"), "bytes */0");
}

TEST_F(ShareServiceTest, OnlyFilesDirectlyInTheFolderAreServedByCode) {
    EXPECT_EQ(server_->catalog().entries().size(), 3u);
    EXPECT_EQ(server_->catalog().find(share_code("hidden.txt")), nullptr);
    auto c = client();
    const std::vector<std::string> paths = {"/d/../outside-secret.txt",
                                            "/d/%2e%2e/outside-secret.txt",
                                            "/d/..%2foutside-secret.txt",
                                            "/d/K0XWRBMe/../../outside-secret.txt",
                                            "/../outside-secret.txt",
                                            "/d/inner",
                                            "/d/" + share_code("hidden.txt"),
                                            "/d/" + share_code("outside-secret.txt"),
                                            "/outside-secret.txt"};
    for (const std::string& path : paths) {
        const auto res = c.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find("secret"), std::string::npos) << path;
    }
}
