#include "text/fatal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

using namespace quillmoor;

namespace {

void show_on_stderr(std::string_view title, std::string_view message) {
    std::string line = "[" + std::string(title) + "]" + std::string(message);
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = '|';
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

TEST(FatalStopDeathTest, ShowsTheBoxAndExitsWithMinusOne) {
    EXPECT_EXIT(
        {
            set_fatal_hook(show_on_stderr);
            // An exit routine that ran would add a line and break the anchored match.
            std::atexit([] { std::fprintf(stderr, "orderly shutdown\n"); });
            fatal_stop("boom");
        },
        ::testing::ExitedWithCode(255),
        "^\\[错误\\]运行时出错!\\|\\|\\|\\|错误信息：boom\\|\\|\n$");
}

TEST(FatalStopDeathTest, WithoutHookWritesToStandardError) {
    EXPECT_EXIT({ fatal_stop("x"); }, ::testing::ExitedWithCode(255), "错误信息：x");
}

TEST(FatalStopDeathTest, FailedAllocationNamesItsByteCount) {
    EXPECT_EXIT(
        {
            set_fatal_hook(show_on_stderr);
            install_out_of_memory_handler();
            volatile std::size_t size = std::numeric_limits<std::size_t>::max() / 2;
            auto block = std::make_unique<char[]>(size);
            std::fprintf(stderr, "got %p\n", static_cast<void*>(block.get()));
        },
        ::testing::ExitedWithCode(255),
        "错误信息：分配 " + std::to_string(std::numeric_limits<std::size_t>::max() / 2) +
            " 字节内存失败!");
}

TEST(FatalStop, WithoutTheHandlerAFailedAllocationThrows) {
    volatile std::size_t size = std::numeric_limits<std::size_t>::max() / 2;
    EXPECT_THROW((void)std::make_unique<char[]>(size), std::bad_alloc);
}

TEST(FatalStop, NoThrowAllocationGivesNull) {
    volatile std::size_t size = std::numeric_limits<std::size_t>::max() / 2;
    char* p = new (std::nothrow) char[size];
    EXPECT_EQ(p, nullptr);
    delete[] p;
}

} // namespace
