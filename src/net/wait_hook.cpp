#include "net/wait_hook.h"

#include <utility>

namespace quillmoor {

namespace {

WaitHook& installed_hook() {
    static WaitHook hook;
    return hook;
}

} // namespace

WaitHook set_wait_hook(WaitHook hook) {
    return std::exchange(installed_hook(), std::move(hook));
}

void call_wait_hook() {
    if (!installed_hook()) {
        return;
    }
    // A copy, so that a hook that replaces itself is not destroyed while it runs.
    const WaitHook hook = installed_hook();
    hook();
}

} // namespace quillmoor
