// A routine the core calls again and again while it waits for the network, so that a window
// can keep painting. The core knows nothing of windows; the program installs the hook.
#pragma once

#include <functional>

namespace quillmoor {

using WaitHook = std::function<void()>;

// Installs the hook (an empty function removes it). Returns the hook it replaces.
WaitHook set_wait_hook(WaitHook hook);

// Calls the installed hook, if any. Cheap when none is installed.
void call_wait_hook();

} // namespace quillmoor
