// The download command through a view of the test's own, against a server on 127.0.0.1.
#include "download/download_command.h"
#include "download_test_support.h"
#include "raw_http_server.h"

#include <gtest/gtest.h>

namespace quillmoor::testing {
namespace {

struct Box {
    std::string text; // UTF-8
    std::string title;
};

class RecordingView : public DownloadView {
public:
    Text folder;
    Text name;
    std::vector<int> progress;
    std::vector<std::string> status; // UTF-8
    std::vector<Box> boxes;

    Text folder_text() override { return folder; }
    Text file_name_text() override { return name; }
    void set_progress(int percent) override { progress.push_back(percent); }
    void set_status_text(const Text& text) override { status.push_back(cp936_to_utf8(text)); }
    void show_message_box(const Text& text, const Text& title) override {
        boxes.push_back({cp936_to_utf8(text), cp936_to_utf8(title)});
    }
};

TEST(ProgressText, FourLinesInTheOrderSizeProgressSpeed) {
    EXPECT_EQ(cp936_to_utf8(progress_text(utf8_to_cp936("D:\\下载\\a.zip"), 4096, 20, 50)),
              "D:\\下载\\a.zip\r\n文件尺寸：4096Bit\r\n下载进度：50%\r\n下载速度：20 KB/S");
}

class DownloadClick : public ::testing::Test {
protected:
    std::string content = pattern_bytes(50000);
    RawHttpServer server{[this](const RawRequest& r) {
        return ranged_answer(r, content);
    }};
    TempFolder temp;
    RecordingView view; // one view for every click, as the window is
    RangedDownloader downloader;

    void SetUp() override {
        view.folder = utf8_to_cp936((temp.path() / "新文件夹").string() + "/");
        view.name = utf8_to_cp936("文件.bin");
    }
    std::filesystem::path target() const { return temp.path() / "新文件夹" / "文件.bin"; }
};

TEST_F(DownloadClick, WithoutAnAddressWarnsAfterCreatingTheFolder) {
    handle_download_click(downloader, "", view);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "下载地址不正确，请检查地址是否已经解析！");
    EXPECT_EQ(view.boxes[0].title, "友情提醒：");
    EXPECT_TRUE(std::filesystem::is_directory(temp.path() / "新文件夹"));
    EXPECT_FALSE(downloader.initialised());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(DownloadClick, DownloadsIntoTheFolderInBlocksOf20KbAndAgainFindsItComplete) {
    handle_download_click(downloader, server.url("/f"), view);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "下载完毕");
    EXPECT_EQ(view.boxes[0].title, "信息：");
    EXPECT_TRUE(read_file(target()) == content);
    EXPECT_EQ(server.requests().size(), 3u);
    EXPECT_EQ(server.requests()[0].header("Range"), "bytes=0-20479");
    EXPECT_EQ(server.requests()[0].header("Referer"), "");
    EXPECT_EQ(view.progress, (std::vector<int>{40, 81, 100}));
    const std::string path_line = (temp.path() / "新文件夹" / "文件.bin").string();
    EXPECT_TRUE(
        view.status.back().starts_with(path_line + "\r\n文件尺寸：50000Bit\r\n下载进度：100%"))
        << view.status.back();

    // The second click: init is refused, the same routines report "下载完毕" after a 416.
    handle_download_click(downloader, server.url("/f"), view);
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[1].text, "下载完毕");
    EXPECT_EQ(server.requests().size(), 4u);
    EXPECT_TRUE(read_file(target()) == content);
}

TEST_F(DownloadClick, AnEmptyNameLeavesTheFolderItselfWhichCannotBeOpened) {
    view.name.clear();
    handle_download_click(downloader, server.url("/f"), view);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "本地文件无法打开");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(DownloadClick, AFailedDownloadIsResumedByTheNextClick) {
    write_file(temp.path() / "part.bin", content.substr(0, 30000));
    view.folder = utf8_to_cp936(temp.path().string() + "/");
    view.name = "part.bin";
    handle_download_click(downloader, server.url("/f"), view);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "下载完毕");
    EXPECT_EQ(server.requests()[0].header("Range"), "bytes=30000-50479");
    EXPECT_TRUE(read_file(temp.path() / "part.bin") == content);
}

} // namespace
} // namespace quillmoor::testing
