// Guarded: runs a control's call into the framework so that no failure crosses Qt's event loop.
#pragma once

#include <utility>

#include "rtl/ExceptionHook.h"

namespace db::widgets {

// Every slot and event handler of the controls goes through here: a failure reaches the application's
// exception handler instead of unwinding through Qt, which cannot carry exceptions. True when the action
// ran to its end.
template <class Action>
bool Guarded(Action&& action) noexcept {
    try {
        std::forward<Action>(action)();
        return true;
    } catch (...) {
        rtl::HandleCurrentException();
        return false;
    }
}

}  // namespace db::widgets
