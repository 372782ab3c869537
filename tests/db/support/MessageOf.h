// MessageOf: the message of the runtime exception an action raises, for tests that check texts.
#pragma once

#include <functional>
#include <string>

#include "rtl/Exceptions.h"

namespace db_test {

// The exception's message, or "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const rtl::Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

}  // namespace db_test
