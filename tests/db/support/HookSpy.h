// HookSpy: writes down the message of every failure that reaches the application's exception handler.
#pragma once

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "rtl/ExceptionHook.h"

namespace db_test {

// Installed while it lives; the previous handler comes back afterwards.
class HookSpy {
public:
    HookSpy() {
        previous_ = rtl::SetExceptionHandler(
            [this](std::exception_ptr error) { messages_.push_back(rtl::ExceptionMessage(error)); });
    }
    ~HookSpy() { rtl::SetExceptionHandler(std::move(previous_)); }
    HookSpy(const HookSpy&) = delete;
    HookSpy& operator=(const HookSpy&) = delete;

    const std::vector<std::string>& Messages() const { return messages_; }
    int Count() const { return static_cast<int>(messages_.size()); }

private:
    std::vector<std::string> messages_;
    rtl::ExceptionHandler previous_;
};

}  // namespace db_test
