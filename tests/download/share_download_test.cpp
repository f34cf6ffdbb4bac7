// Downloads from quillmoor-share, the local resolver service, which serves its folder's files
// with range support.
#include "download/ranged_downloader.h"
#include "download_test_support.h"
#include "share_catalog.h"
#include "share_server.h"

#include <gtest/gtest.h>

namespace quillmoor::testing {
namespace {

class ShareDownload : public ::testing::Test {
protected:
    TempFolder shared;
    TempFolder local;
    std::string content = pattern_bytes(150001);
    std::unique_ptr<share::ShareServer> server;
    int port = -1;

    void SetUp() override {
        write_file(shared.path() / "资料.bin", content);
        server = std::make_unique<share::ShareServer>(share::ShareCatalog::scan(shared.path()));
        port = server->start("127.0.0.1", 0);
        ASSERT_GT(port, 0);
    }
    void TearDown() override { server->stop(); }
    Text url() const {
        return "http://127.0.0.1:" + std::to_string(port) + "/d/" + share::share_code("资料.bin");
    }
};

TEST_F(ShareDownload, FreshThenResumedThenComplete) {
    const auto path = local.path() / "资料.bin";
    for (const std::size_t before : {std::size_t{0}, std::size_t{77777}, content.size()}) {
        write_file(path, content.substr(0, before));
        Reports reports;
        RangedDownloader downloader;
        ASSERT_TRUE(downloader.init(reports.progress_routine(), reports.finish_routine()));
        downloader.set_local_file(local.file("资料.bin"));
        downloader.set_source(url());
        downloader.set_block_size(20);
        EXPECT_TRUE(downloader.start()) << reports.last_message();
        EXPECT_EQ(reports.last_message(), "下载完毕");
        EXPECT_TRUE(read_file(path) == content) << "after starting from " << before;
        EXPECT_EQ(reports.finish.back().percent, 100);
    }
}

} // namespace
} // namespace quillmoor::testing
