// The downloader's states, refusals, time limit, stops and speed, through a scripted request
// object and a clock the test moves.
#include "download/content_range.h"
#include "download/ranged_downloader.h"
#include "download_test_support.h"
#include "fake_request_object.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillmoor::testing {
namespace {

std::string utf8(const Text& t) {
    return cp936_to_utf8(t);
}

class Downloader : public ::testing::Test {
protected:
    std::int32_t clock = 1000;
    std::shared_ptr<FakeRequestObject> request = std::make_shared<FakeRequestObject>(clock);
    int objects_made = 0;
    RangedDownloader downloader{[this] {
                                    ++objects_made;
                                    return request;
                                },
                                [this] {
                                    return clock;
                                }};
    TempFolder folder;
    Reports reports;

    Text local() const { return folder.file("file.bin"); }
    std::string local_bytes() const { return read_file(folder.path() / "file.bin"); }

    void init_for(std::uint8_t kb) {
        ASSERT_TRUE(downloader.init(reports.progress_routine(), reports.finish_routine()));
        downloader.set_local_file(local());
        downloader.set_source("http://127.0.0.1/file");
        downloader.set_block_size(kb);
    }
    // A file of total bytes served in 1 KB blocks from first on.
    void script_file(std::int64_t first, std::int64_t total) {
        for (std::int64_t at = first; at < total; at += 1024)
            request->script.push_back(
                range_answer(at, std::min<std::int64_t>(1024, total - at), total));
    }
};

TEST_F(Downloader, StartBeforeInitIsRefused) {
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(utf8(downloader.message()), "没有初始化");
    EXPECT_FALSE(downloader.initialised());
    EXPECT_EQ(objects_made, 0);
}

TEST_F(Downloader, InitFailsWithoutRequestObject) {
    RangedDownloader without([] { return std::shared_ptr<RequestObject>(); });
    EXPECT_FALSE(without.init());
    EXPECT_FALSE(without.initialised());
}

TEST_F(Downloader, SecondInitIsRefusedAndKeepsTheFirstRoutinesAndObject) {
    init_for(1);
    Reports other;
    EXPECT_FALSE(downloader.init(other.progress_routine(), other.finish_routine()));
    EXPECT_EQ(objects_made, 1);
    script_file(0, 1024);
    EXPECT_TRUE(downloader.start());
    EXPECT_EQ(reports.finish.size(), 1u);
    EXPECT_TRUE(other.finish.empty());
    EXPECT_TRUE(other.progress.empty());
}

TEST_F(Downloader, SettersBeforeInitChangeNothing) {
    downloader.set_block_size(5);
    downloader.set_source("http://127.0.0.1/x");
    EXPECT_FALSE(downloader.set_local_file(local()));
    EXPECT_EQ(downloader.block_size(), 0);
    ASSERT_TRUE(downloader.init(reports.progress_routine(), reports.finish_routine()));
    EXPECT_EQ(downloader.block_size(), 10240);
    EXPECT_EQ(downloader.block_time_limit_ms(), 102400);
    EXPECT_FALSE(downloader.start()); // no local file was taken
    EXPECT_EQ(reports.last_message(), "本地文件无法打开");
    EXPECT_TRUE(request->urls.empty());
}

TEST_F(Downloader, BlockSizesAndTimeLimits) {
    ASSERT_TRUE(downloader.init());
    const struct {
        std::uint8_t kb;
        std::int32_t size, limit;
    } rows[] = {{0, 4096, 40960}, {1, 1024, 10240}, {20, 20480, 204800}, {255, 261120, 2611200}};
    for (const auto& row : rows) {
        downloader.set_block_size(row.kb);
        EXPECT_EQ(downloader.block_size(), row.size);
        EXPECT_EQ(downloader.block_time_limit_ms(), row.limit);
    }
}

TEST_F(Downloader, RoutinesCannotChangeOrRestartARunningTransfer) {
    RangedDownloader& d = downloader;
    bool nested = false;
    ASSERT_TRUE(d.init(
        [&](const Text&, std::int32_t, std::int32_t, std::int32_t) {
            if (std::exchange(nested, true))
                return;
            EXPECT_FALSE(d.init());
            d.set_block_size(7);
            d.set_source("http://127.0.0.1/other");
            EXPECT_FALSE(d.set_local_file(folder.file("other.bin")));
            EXPECT_FALSE(d.start());
            EXPECT_EQ(utf8(d.message()), "正在下载中……");
        },
        reports.finish_routine()));
    d.set_local_file(local());
    d.set_source("http://127.0.0.1/file");
    d.set_block_size(1);
    script_file(0, 2048);
    EXPECT_TRUE(d.start());
    ASSERT_EQ(reports.finish.size(), 2u);
    EXPECT_EQ(utf8(reports.finish[0].message), "正在下载中……");
    EXPECT_EQ(utf8(reports.finish[1].message), "下载完毕");
    EXPECT_EQ(d.block_size(), 1024);
    EXPECT_EQ(request->urls.size(), 2u);
    EXPECT_EQ(request->urls.back(), "http://127.0.0.1/file");
    EXPECT_EQ(local_bytes().size(), 2048u);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "other.bin"));
}

TEST_F(Downloader, StopFromTheProgressRoutineEndsAfterThatBlockAndTheNextStartResumes) {
    bool stop_once = true;
    ASSERT_TRUE(downloader.init(
        [&](const Text&, std::int32_t, std::int32_t, std::int32_t) {
            if (std::exchange(stop_once, false))
                downloader.stop();
        },
        reports.finish_routine()));
    downloader.set_local_file(local());
    downloader.set_block_size(1);
    script_file(0, 3000);
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "");
    EXPECT_EQ(local_bytes().size(), 1024u);
    EXPECT_EQ(request->urls.size(), 1u);
    EXPECT_FALSE(downloader.downloading());

    EXPECT_TRUE(downloader.start());
    EXPECT_EQ(reports.last_message(), "下载完毕");
    EXPECT_EQ(local_bytes().size(), 3000u);
    ASSERT_EQ(request->headers.size(), 3u);
    EXPECT_EQ(request->headers[1][3].second, "bytes=1024-2047");
}

TEST_F(Downloader, StopWhileWaitingEndsWithTheUserMessageAndKeepsTheBlocks) {
    init_for(1);
    request->script.push_back(range_answer(0, 1024, 3000));
    request->script.push_back(range_answer(1024, 1024, 3000, 5));
    request->on_wait = [&] {
        downloader.stop();
    };
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "用户中止了下载");
    EXPECT_EQ(request->aborts, 1);
    EXPECT_EQ(local_bytes().size(), 1024u);
    EXPECT_FALSE(downloader.downloading());
}

TEST_F(Downloader, ABlockThatOutlivesItsTimeLimitIsAbortedAndTheFileKeepsTheBlocksBefore) {
    init_for(1); // 10240 ms per block
    request->script.push_back(range_answer(0, 1024, 3000));
    FakeAnswer hangs = range_answer(1024, 1024, 3000, -1);
    hangs.ms_per_wait = 1000;
    request->script.push_back(hangs);
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "数据下载超时，建议重试。");
    EXPECT_EQ(request->aborts, 1);
    EXPECT_EQ(local_bytes().size(), 1024u);
    // Eleven waits of one second: the first reading past 10240 ms ends the block.
    EXPECT_EQ(clock, 1000 + 11000);
}

TEST_F(Downloader, SpeedComesFromTheBlockSizeAndTheBlockTime) {
    clock = 2147483642; // the tick counter wraps during the second block
    init_for(20);
    request->script.push_back(range_answer(0, 20480, 50000));        // within one millisecond
    request->script.push_back(range_answer(20480, 20480, 50000, 1)); // 10 ms
    request->script.push_back(range_answer(40960, 9040, 50000, 3));  // 30 ms
    EXPECT_TRUE(downloader.start());
    ASSERT_EQ(reports.progress.size(), 3u);
    EXPECT_EQ(reports.progress[0].speed, 0);
    EXPECT_EQ(reports.progress[1].speed, 2000);
    EXPECT_EQ(reports.progress[2].speed, 666);
    EXPECT_EQ(reports.progress[0].percent, 40);
    EXPECT_EQ(reports.progress[2].percent, 100);
    EXPECT_EQ(reports.progress[2].total, 50000);
    EXPECT_EQ(reports.progress[2].path, local());
}

TEST_F(Downloader, ReleaseFromARoutineEndsTheTransferAndLeavesAFreshObject) {
    ASSERT_TRUE(downloader.init(
        [&](const Text&, std::int32_t, std::int32_t, std::int32_t) { downloader.release(); },
        reports.finish_routine()));
    downloader.set_local_file(local());
    downloader.set_block_size(1);
    script_file(0, 3000);
    EXPECT_FALSE(downloader.start());
    EXPECT_FALSE(downloader.initialised());
    EXPECT_EQ(request->urls.size(), 1u);
    EXPECT_EQ(local_bytes().size(), 1024u);
    EXPECT_TRUE(downloader.init());
}

TEST_F(Downloader, ACopySharesTheRequestObjectAndTheSettings) {
    init_for(1);
    RangedDownloader twin = downloader.copy();
    EXPECT_TRUE(twin.initialised());
    EXPECT_EQ(twin.block_size(), 1024);
    script_file(0, 1500);
    EXPECT_TRUE(twin.start());
    EXPECT_EQ(objects_made, 1);
    EXPECT_EQ(request->urls.size(), 2u);
    EXPECT_EQ(reports.finish.size(), 1u);
}

TEST_F(Downloader, ALocalFileOf2GbIsRefusedUntouched) {
    init_for(1);
    write_file(folder.path() / "file.bin", "");
    std::filesystem::resize_file(folder.path() / "file.bin", std::uintmax_t{1} << 31);
    EXPECT_FALSE(downloader.start());
    EXPECT_EQ(reports.last_message(), "文件太大，不能超过2GB！");
    EXPECT_TRUE(request->urls.empty());
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "file.bin"), std::uintmax_t{1} << 31);
}

TEST_F(Downloader, StopAndReportWithoutATransfer) {
    downloader.stop();
    EXPECT_FALSE(downloader.downloading());
    init_for(1);
    downloader.stop();
    EXPECT_EQ(request->aborts, 0);
    downloader.report_finish();
    ASSERT_EQ(reports.finish.size(), 1u);
    EXPECT_EQ(reports.finish[0].status, 0);
    EXPECT_EQ(reports.finish[0].percent, 0);
}

TEST(ContentRangeHeader, ReadsTheThreeFormsAndNothingElse) {
    const struct {
        const char* value;
        bool valid;
        std::int64_t first, last, total;
    } rows[] = {
        {"bytes 0-1023/4096", true, 0, 1023, 4096},
        {"Bytes  5-5/6 ", true, 5, 5, 6},
        {"bytes 0-20479/*", true, 0, 20479, -1},
        {"bytes */4096", true, 0, 0, 4096},
        {"bytes */0", true, 0, 0, 0},
        {"bytes 1023-0/4096", false, 0, 0, 0},                // last before first
        {"bytes 0-4096/4096", false, 0, 0, 0},                // total not above last
        {"bytes 0-1/1234567890123456789012", false, 0, 0, 0}, // overflows
        {"bytes */*", false, 0, 0, 0},
        {"bytes 0-1023", false, 0, 0, 0},
        {"items 0-1023/4096", false, 0, 0, 0},
        {"bytes 0-1023/4096x", false, 0, 0, 0},
        {"bytes -5-10/20", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const auto& row : rows) {
        const auto range = parse_content_range(row.value);
        ASSERT_EQ(range.has_value(), row.valid) << row.value;
        if (range) {
            EXPECT_EQ(range->first, row.first) << row.value;
            EXPECT_EQ(range->last, row.last) << row.value;
            EXPECT_EQ(range->total, row.total) << row.value;
        }
    }
}

} // namespace
} // namespace quillmoor::testing
