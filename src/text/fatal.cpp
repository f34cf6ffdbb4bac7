#include "text/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace quillmoor {

namespace {

FatalHook& fatal_hook() {
    static FatalHook hook;
    return hook;
}

std::atomic<bool> stopping{false};

void write_stderr(std::string_view s) {
    while (!s.empty()) {
        ssize_t n = ::write(STDERR_FILENO, s.data(), s.size());
        if (n <= 0) {
            return;
        }
        s.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

void set_fatal_hook(FatalHook hook) {
    fatal_hook() = std::move(hook);
}

void fatal_stop(std::string_view detail) {
    // A second stop while the first one shows its box (say, the box itself runs out of
    // memory) ends the process at once rather than recursing.
    if (stopping.exchange(true)) {
        write_stderr("\xE9\x94\x99\xE8\xAF\xAF: ");
        write_stderr(detail);
        write_stderr("\n");
        std::_Exit(-1);
    }
    static constexpr std::string_view title = "错误";
    std::string message = "运行时出错!\r\n\r\n错误信息：";
    message.append(detail);
    message.append("\r\n");
    const FatalHook& hook = fatal_hook();
    if (hook) {
        try {
            hook(title, message);
        } catch (...) {
            // The process ends all the same.
        }
    } else {
        write_stderr(title);
        write_stderr(": ");
        write_stderr(message);
        write_stderr("\n");
    }
    // The orderly shutdown (exit routines, destructors of globals) must not run here.
    std::_Exit(-1);
}

} // namespace quillmoor
