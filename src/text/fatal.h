// The fatal stop: a message box titled "错误", then the process ends with exit code -1.
// The box is shown through a hook that the program installs; without one the message goes
// to standard error.
#pragma once

#include <functional>
#include <string_view>

namespace quillmoor {

// Receives the title and the message, both UTF-8.
using FatalHook = std::function<void(std::string_view title, std::string_view message)>;
void set_fatal_hook(FatalHook hook);

// "运行时出错!\r\n\r\n错误信息：" + detail + "\r\n", shown; then exit code -1 without running
// exit routines or destructors of globals. detail is UTF-8.
[[noreturn]] void fatal_stop(std::string_view detail);

// Installs a new-handler that turns a failed allocation into the fatal stop
// "分配 %d 字节内存失败!".
void install_out_of_memory_handler();

} // namespace quillmoor
