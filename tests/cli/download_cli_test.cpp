// quillmoor-cli download and get, the built program, against servers on 127.0.0.1 that the
// test runs: its own ranged server and quillmoor-share's service.
#include "download_test_support.h"
#include "raw_http_server.h"
#include "share_catalog.h"
#include "share_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace quillmoor::testing {
namespace {

struct CliRun {
    int exit_status = -1;
    std::string output; // standard output
    std::string last_line() const {
        std::string text = output;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }
};

// Runs quillmoor-cli with args (each single-quoted for the shell; none holds a quote).
CliRun run_cli(const std::vector<std::string>& args) {
    std::string command = "'" QUILLMOOR_BIN_DIR "/quillmoor-cli'";
    for (const auto& a : args)
        command += " '" + a + "'";
    command += " 2>/dev/null";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CliDownload : public ::testing::Test {
protected:
    std::string content = pattern_bytes(70000);
    RawHttpServer server{[this](const RawRequest& r) {
        if (r.target != "/file.bin")
            return RawAnswer{404, "Nothing Here", {}, "", 0};
        return ranged_answer(r, content);
    }};
    TempFolder folder;
    std::string local(std::string_view name) const { return (folder.path() / name).string(); }
};

TEST_F(CliDownload, DownloadsTheFileAndSaysSo) {
    const CliRun run = run_cli({"download", server.url("/file.bin"), local("下载.bin")});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.last_line(), "下载完毕");
    EXPECT_TRUE(read_file(local("下载.bin")) == content);
    EXPECT_EQ(server.requests().size(), 4u); // 20 KB blocks
}

TEST_F(CliDownload, TakesTheBlockSizeInKilobytes) {
    const CliRun run =
        run_cli({"download", "--block-size", "8", server.url("/file.bin"), local("a")});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(server.requests().at(0).header("Range"), "bytes=0-8191");
    EXPECT_EQ(server.requests().size(), 9u);
    EXPECT_TRUE(read_file(local("a")) == content);
}

TEST_F(CliDownload, AServerErrorGivesItsReasonPhraseAndAFailure) {
    const CliRun run = run_cli({"download", server.url("/missing"), local("a")});
    EXPECT_NE(run.exit_status, 0);
    EXPECT_EQ(run.last_line(), "Nothing Here");
    EXPECT_EQ(read_file(local("a")), "");
}

TEST_F(CliDownload, RefusesBadArguments) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"download", server.url("/file.bin")},
             {"download", server.url("/file.bin"), local("a"), "--block-size", "256"},
             {"get"}}) {
        EXPECT_EQ(run_cli(args).exit_status, 2);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(CliGet, ResolvesThenDownloadsIntoTheFolder) {
    TempFolder shared;
    TempFolder local;
    const std::string content = pattern_bytes(45000);
    write_file(shared.path() / "共享.bin", content);
    share::ShareServer server(share::ShareCatalog::scan(shared.path()));
    const int port = server.start("127.0.0.1", 0);
    ASSERT_GT(port, 0);

    const std::string link = std::string(share::share_link_prefix) + share::share_code("共享.bin");
    const std::string resolver = "127.0.0.1:" + std::to_string(port);
    const std::string target = (local.path() / "new").string(); // created by the command
    const CliRun run = run_cli({"get", link, "--folder", target, "--resolver", resolver});
    const CliRun unknown = run_cli({"get", std::string(share::share_link_prefix) + "00000000",
                                    "--folder", target, "--resolver", resolver});
    server.stop();

    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.last_line(), "下载完毕");
    EXPECT_TRUE(read_file(local.path() / "new" / "共享.bin") == content);
    EXPECT_NE(unknown.exit_status, 0);
    EXPECT_EQ(unknown.last_line(), "下载地址不正确，请检查地址是否已经解析！");
}

} // namespace
} // namespace quillmoor::testing
