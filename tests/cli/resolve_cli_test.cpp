// quillmoor-cli resolve against a running quillmoor-share, both the built programs.
#include "raw_http_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string bin_dir = QUILLMOOR_BIN_DIR;

// A child process whose standard output comes through a pipe; it is stopped and reaped when
// the object goes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::optional<std::string>& resolver_env) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            if (resolver_env)
                ::setenv("QUILLMOOR_RESOLVER", resolver_env->c_str(), 1);
            else
                ::unsetenv("QUILLMOOR_RESOLVER");
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        fd_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    // The next line of output, waiting at most five seconds for it.
    std::string read_line() {
        std::string line;
        char c;
        while (true) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0 || ::read(fd_, &c, 1) != 1 || c == '\n')
                return line;
            line += c;
        }
    }
    // All output up to the end, then the exit status.
    int finish(std::string& output) {
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(fd_, buffer, sizeof buffer)) > 0)
            output.append(buffer, std::size_t(got));
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    bool reaped_ = false;
};

struct CliRun {
    int status;
    std::string output;
};

CliRun run_cli(const std::vector<std::string>& args,
               const std::optional<std::string>& resolver_env = std::nullopt) {
    std::vector<std::string> argv = {bin_dir + "/quillmoor-cli", "resolve"};
    argv.insert(argv.end(), args.begin(), args.end());
    Child cli(argv, resolver_env);
    CliRun run;
    run.status = cli.finish(run.output);
    return run;
}

class ResolveCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("quillmoor-cli-test-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(folder_ / "快速入门.txt", std::ios::binary) << content_;
        share_.emplace(
            std::vector<std::string>{bin_dir + "/quillmoor-share", "--port", "0", folder_.string()},
            std::nullopt);
        const std::string first = share_->read_line();
        const std::string prefix = "listening on 127.0.0.1:";
        ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
        host_ = "127.0.0.1:" + first.substr(prefix.size());
        ASSERT_EQ(share_->read_line(), "http://pan.baidu.com/s/K0XWRBMe  快速入门.txt");
    }
    void TearDown() override {
        share_.reset();
        fs::remove_all(folder_);
    }

    const std::string content_ = "The quick brown fox jumps over the lazy dog";
    fs::path folder_;
    std::optional<Child> share_;
    std::string host_;
};

} // namespace

TEST_F(ResolveCliTest, PrintsTheFourFactsAndAWorkingAddress) {
    const CliRun run = run_cli({"http://pan.baidu.com/s/K0XWRBMe", "--resolver", host_});
    EXPECT_EQ(run.status, 0);
    const std::string address = "http://" + host_ + "/d/K0XWRBMe";
    EXPECT_EQ(run.output, "文件名称：快速入门.txt\n"
                          "文件尺寸：43\n"
                          "文件 MD5：9e107d9d372bb6826bd81d3542a419d6\n"
                          "文件地址：" +
                              address + "\n");

    httplib::Client client("http://" + host_);
    const auto res = client.Get("/d/K0XWRBMe");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, content_);
}

TEST_F(ResolveCliTest, ResolverFromOptionOrEnvironment) {
    const std::string link = "http://pan.baidu.com/s/K0XWRBMe";
    const std::string dead = "127.0.0.1:" + std::to_string(quillmoor::testing::unused_local_port());
    EXPECT_EQ(run_cli({link}, host_).status, 0);
    EXPECT_EQ(run_cli({link, "--resolver", host_}, dead).status, 0); // the option wins
    EXPECT_EQ(run_cli({link}, dead).status, 1);
    EXPECT_EQ(run_cli({link, "--resolver", dead}, host_).status, 1);
}

TEST_F(ResolveCliTest, UnknownLinkPrintsEmptyFactsAndFails) {
    const CliRun run = run_cli({"http://pan.baidu.com/s/zzzzzzzz", "--resolver", host_});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "文件名称：\n文件尺寸：\n文件 MD5：\n文件地址：\n");
    EXPECT_EQ(run_cli({}).status, 2);
}
