// RangedDownloader with the real request object against a server on 127.0.0.1 whose answers
// each case decides.
#include "download/local_file.h"
#include "download/ranged_downloader.h"
#include "download_test_support.h"
#include "net/wait_hook.h"
#include "raw_http_server.h"

#include <gtest/gtest.h>

namespace quillmoor::testing {
namespace {

// How the server answers request number index (from 0) for content.
using Behaviour = RawAnswer (*)(const RawRequest&, int index, const std::string& content);

RawAnswer plain(const RawRequest& r, int, const std::string& c) {
    return ranged_answer(r, c);
}

RawAnswer whole_file_200(const RawRequest&, int, const std::string& c) {
    RawAnswer a;
    a.body = c;
    return a;
}

// A server that ignores the range and sends more than the request object keeps.
RawAnswer huge_200(const RawRequest&, int, const std::string&) {
    RawAnswer a;
    a.body.assign(33u << 20, 'x');
    return a;
}

RawAnswer not_found(const RawRequest&, int, const std::string&) {
    return {404, "No Such File Here", {}, "gone", 0};
}

// The second answer is changed by edit; the first is a plain range answer.
template <void (*edit)(RawAnswer&)>
RawAnswer second_edited(const RawRequest& r, int index, const std::string& c) {
    RawAnswer a = ranged_answer(r, c);
    if (index == 1)
        edit(a);
    return a;
}

template <void (*edit)(RawAnswer&)>
RawAnswer first_edited(const RawRequest& r, int index, const std::string& c) {
    RawAnswer a = ranged_answer(r, c);
    if (index == 0)
        edit(a);
    return a;
}

void set_range(RawAnswer& a, std::string value) {
    a.headers = {{"Content-Range", value}};
}

void start_one_late(RawAnswer& a) {
    // Claims the range starts one byte after the one asked for.
    set_range(a, "bytes 20481-40960/100000");
    a.body.erase(0, 1);
    a.body += 'x';
}
void one_byte_short(RawAnswer& a) {
    a.body.pop_back();
}
void total_changed(RawAnswer& a) {
    set_range(a, "bytes 20480-40959/100001");
}
void last_before_first(RawAnswer& a) {
    set_range(a, "bytes 20479-0/100000");
}
void total_not_above_last(RawAnswer& a) {
    set_range(a, "bytes 0-20479/20479");
}
void overflowing(RawAnswer& a) {
    set_range(a, "bytes 0-20479/99999999999999999999999");
}
void beyond_2gb(RawAnswer& a) {
    set_range(a, "bytes 0-20479/3000000000");
}
void other_total_416(RawAnswer& a) {
    set_range(a, "bytes */123456");
}
void shrunk_416(RawAnswer& a) {
    a = {416, "Range Not Satisfiable", {{"Content-Range", "bytes */20000"}}, "", 0};
}
void no_range(RawAnswer& a) {
    a.headers.clear();
}

// Totals written as "*"; past the end a 416 without Content-Range.
RawAnswer unstated_length(const RawRequest& r, int, const std::string& c) {
    RawAnswer a = ranged_answer(r, c);
    if (a.status == 416) {
        a.headers.clear();
    } else {
        std::string value = a.headers[0].second;
        set_range(a, value.substr(0, value.find('/')) + "/*");
    }
    return a;
}

RawAnswer redirected(const RawRequest& r, int, const std::string& c) {
    if (r.target == "/file")
        return {302, "Found", {{"Location", "/elsewhere/file"}}, "", 0};
    return ranged_answer(r, c);
}

RawAnswer redirected_to_file_scheme(const RawRequest&, int, const std::string&) {
    return {302, "Found", {{"Location", "file:///etc/passwd"}}, "", 0};
}

struct HttpCase {
    const char* name;
    std::size_t remote_size;
    std::size_t local_before; // the local file holds this much of the remote file at start
    std::uint8_t block_kb;
    Behaviour serve;
    const char* message;     // UTF-8
    std::size_t local_after; // the local file holds this much of the remote file at the end
    int requests;
    int finish_status;
};

const char* const done = "下载完毕";
const char* const wrong = "服务器返回的数据范围不正确！";

const HttpCase cases[] = {
    {"fresh", 100000, 0, 20, plain, done, 100000, 5, 206},
    {"resume", 100000, 30000, 20, plain, done, 100000, 4, 206},
    {"already_complete", 100000, 100000, 20, plain, done, 100000, 1, 416},
    {"last_block_full", 81920, 0, 20, plain, done, 81920, 4, 206},
    {"blocks_of_255_kb", 600000, 0, 255, plain, done, 600000, 3, 206},
    {"block_size_0_is_4_kb", 20000, 0, 0, plain, done, 20000, 5, 206},
    {"empty_remote_file", 0, 0, 20, plain, done, 0, 1, 416},
    {"answers_200", 100000, 1000, 20, whole_file_200, "服务器不支持断点续传！", 1000, 1, 200},
    {"answers_200_with_a_huge_body", 100000, 1000, 20, huge_200, "服务器不支持断点续传！", 1000, 1,
     200},
    {"answers_404", 100000, 1000, 20, not_found, "No Such File Here", 1000, 1, 404},
    {"range_starts_late", 100000, 0, 20, second_edited<start_one_late>, wrong, 20480, 2, 206},
    {"body_shorter_than_range", 100000, 0, 20, second_edited<one_byte_short>, wrong, 20480, 2, 206},
    {"total_changes", 100000, 0, 20, second_edited<total_changed>,
     "服务器上的文件已经改变，请重新下载！", 20480, 2, 206},
    {"last_before_first", 100000, 0, 20, first_edited<last_before_first>, wrong, 0, 1, 206},
    {"total_not_above_last", 100000, 0, 20, first_edited<total_not_above_last>, wrong, 0, 1, 206},
    {"overflowing_total", 100000, 0, 20, first_edited<overflowing>, wrong, 0, 1, 206},
    {"total_beyond_2gb", 100000, 0, 20, first_edited<beyond_2gb>, "文件太大，不能超过2GB！", 0, 1,
     206},
    {"local_file_is_another_file", 100000, 100000, 20, first_edited<other_total_416>,
     "本地文件与服务器上的文件不一致！", 100000, 1, 416},
    {"file_shrinks_during_the_transfer", 100000, 0, 20, second_edited<shrunk_416>,
     "服务器上的文件已经改变，请重新下载！", 20480, 2, 416},
    {"416_without_total", 100000, 100000, 20, first_edited<no_range>, done, 100000, 1, 416},
    {"206_without_range", 100000, 0, 20, first_edited<no_range>, "文件长度未知！", 0, 1, 206},
    {"206_without_range_mid_file", 100000, 0, 20, second_edited<no_range>, "文件长度未知！", 20480,
     2, 206},
    {"unstated_length_short_end", 50000, 0, 20, unstated_length, done, 50000, 3, 206},
    {"unstated_length_416_end", 40960, 0, 20, unstated_length, done, 40960, 3, 416},
    {"redirect", 50000, 0, 20, redirected, done, 50000, 6, 206},
    {"redirect_to_file_scheme", 50000, 0, 20, redirected_to_file_scheme, "无法连接到服务器！", 0, 1,
     0},
};

void PrintTo(const HttpCase& c, std::ostream* out) {
    *out << c.name;
}

class RangedHttp : public ::testing::TestWithParam<HttpCase> {};

TEST_P(RangedHttp, TransfersAsTheServerAllows) {
    const HttpCase& c = GetParam();
    const std::string content = pattern_bytes(c.remote_size);
    int index = 0;
    RawHttpServer server([&](const RawRequest& r) { return c.serve(r, index++, content); });
    TempFolder folder;
    write_file(folder.path() / "out.bin", content.substr(0, c.local_before));

    Reports reports;
    RangedDownloader downloader;
    ASSERT_TRUE(downloader.init(reports.progress_routine(), reports.finish_routine()));
    downloader.set_local_file(folder.file("out.bin"));
    downloader.set_source(server.url("/file"));
    downloader.set_block_size(c.block_kb);
    const bool ok = downloader.start();

    const std::string expected = cp936_to_utf8(utf8_to_cp936(c.message));
    ASSERT_EQ(reports.finish.size(), 1u);
    EXPECT_EQ(reports.last_message(), expected);
    EXPECT_EQ(ok, expected == done);
    EXPECT_EQ(reports.finish[0].status, c.finish_status);
    EXPECT_EQ(reports.finish[0].url, server.url("/file"));
    EXPECT_TRUE(read_file(folder.path() / "out.bin") == content.substr(0, c.local_after))
        << "the local file is not the first " << c.local_after << " bytes of the remote file";
    EXPECT_EQ(server.requests().size(), static_cast<std::size_t>(c.requests));
    EXPECT_EQ(server.connections(), 1) << "every block goes over the same connection";

    // Each block asks for the bytes right after those the file holds.
    const std::int64_t block = (c.block_kb == 0 ? 4 : c.block_kb) * 1024;
    std::int64_t expected_start = static_cast<std::int64_t>(c.local_before);
    for (const RawRequest& r : server.requests()) {
        if (c.serve == redirected && r.target == "/file")
            continue;
        const auto [first, last] = requested_range(r);
        EXPECT_EQ(first, expected_start);
        EXPECT_EQ(last, first + block - 1);
        expected_start = std::min<std::int64_t>(first + block, c.remote_size);
    }
    if (ok && c.remote_size > 0) {
        ASSERT_FALSE(reports.progress.empty());
        EXPECT_EQ(reports.progress.back().percent, 100);
        EXPECT_EQ(reports.finish[0].percent, 100);
        EXPECT_EQ(reports.progress.back().total, static_cast<std::int32_t>(c.remote_size));
    }
    EXPECT_FALSE(downloader.downloading());
}

INSTANTIATE_TEST_SUITE_P(Cases, RangedHttp, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillmoor::testing

namespace quillmoor::testing {
namespace {

// One downloader with recorded reports against a plain ranged server of content.
class RealServer : public ::testing::Test {
protected:
    std::string content = pattern_bytes(100000);
    std::function<RawAnswer(const RawRequest&)> serve = [this](const RawRequest& r) {
        return ranged_answer(r, content);
    };
    RawHttpServer server{[this](const RawRequest& r) {
        return serve(r);
    }};
    TempFolder folder;
    Reports reports;
    RangedDownloader downloader;

    void init(const Text& local, ProgressRoutine progress = {}) {
        ASSERT_TRUE(downloader.init(progress ? progress : reports.progress_routine(),
                                    reports.finish_routine()));
        downloader.set_local_file(local);
        downloader.set_source(server.url("/file"));
        downloader.set_block_size(20);
    }
};

TEST_F(RealServer, SendsTheSevenHeadersInOrderAndNothingElseButHost) {
    init(folder.file("out.bin"));
    EXPECT_TRUE(downloader.start());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Host", "127.0.0.1:" + std::to_string(server.port())},
        {"Referer", ""},
        {"Accept", "*/*"},
        {"User-Agent", "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)"},
        {"Range", "bytes=0-20479"},
        {"Content-Type", "application/octet-stream"},
        {"Pragma", "no-cache"},
        {"Cache-Control", "no-cache"},
    };
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].headers, expected);
    EXPECT_EQ(requests[1].header("Range"), "bytes=20480-40959");
}

TEST_F(RealServer, SendsTheRefererWhenGivenAndEscapesUnsafeUrlBytes) {
    init(folder.file("out.bin"));
    // A space and the code page 936 bytes of 中 in the path.
    downloader.set_source(server.url("/a b\xD6\xD0.bin"), "http://127.0.0.1/from");
    EXPECT_TRUE(downloader.start());
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].target, "/a%20b%D6%D0.bin");
    EXPECT_EQ(requests[0].header("Referer"), "http://127.0.0.1/from");
}

TEST_F(RealServer, SpeaksOnlyHttpAndHttps) {
    init(folder.file("out.bin"));
    downloader.set_source("ftp://127.0.0.1:" + std::to_string(server.port()) + "/file");
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "无法连接到服务器！");
    EXPECT_EQ(reports.finish[0].status, 0);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(RealServer, ABlockThatCannotBeWrittenEndsTheTransfer) {
    init("/dev/full");
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "写入本地文件失败！");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(RealServer, NoBlockIsAppendedAfterTheFileWasRemoved) {
    const auto path = folder.path() / "out.bin";
    init(folder.file("out.bin"), [&](const Text&, std::int32_t, std::int32_t, std::int32_t) {
        std::filesystem::remove(path);
    });
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "写入本地文件失败！");
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RealServer, AFileThatIsOpenForAnotherDownloadCannotBeOpened) {
    init(folder.file("out.bin"));
    LocalFile other;
    ASSERT_TRUE(other.open_for_append(folder.file("out.bin")));
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "本地文件无法打开");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(RealServer, StopFromTheWaitHookEndsTheTransferAndTheNextStartResumes) {
    // The third block is slow to come; the wait hook stops the transfer meanwhile.
    serve = [this](const RawRequest& r) {
        RawAnswer a = ranged_answer(r, content);
        if (requested_range(r).first == 40960 && server.requests().size() == 3)
            a.delay_ms = 10000;
        return a;
    };
    init(folder.file("out.bin"));
    int hook_calls = 0;
    struct HookGuard {
        WaitHook previous;
        ~HookGuard() { set_wait_hook(previous); }
    } guard{set_wait_hook([&] {
        if (reports.progress.size() == 2 && ++hook_calls == 2)
            downloader.stop();
    })};
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "用户中止了下载");
    EXPECT_EQ(read_file(folder.path() / "out.bin"), content.substr(0, 40960));

    EXPECT_TRUE(downloader.start());
    EXPECT_EQ(reports.last_message(), "下载完毕");
    EXPECT_TRUE(read_file(folder.path() / "out.bin") == content);
}

} // namespace
} // namespace quillmoor::testing
