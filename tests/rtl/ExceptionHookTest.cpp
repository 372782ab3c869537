#include "rtl/ExceptionHook.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "rtl/Exceptions.h"

namespace {

// Installs a handler for one test and restores the default afterwards.
class ExceptionHook : public ::testing::Test {
protected:
    void SetUp() override {
        rtl::SetExceptionHandler([this](std::exception_ptr e) { seen_.push_back(rtl::ExceptionMessage(e)); });
    }
    void TearDown() override { rtl::SetExceptionHandler(nullptr); }
    std::vector<std::string> seen_;
};

TEST_F(ExceptionHook, TheHandlerReceivesEveryExceptionButAbort) {
    try {
        throw rtl::EDatabaseError("Missing table name.");
    } catch (...) {
        rtl::HandleCurrentException();
    }
    rtl::HandleException(std::make_exception_ptr(std::runtime_error("disk full")));
    rtl::HandleException(std::make_exception_ptr(42));
    rtl::HandleException(std::make_exception_ptr(rtl::EAbort()));
    rtl::HandleException(nullptr);
    EXPECT_EQ(seen_, (std::vector<std::string>{"Missing table name.", "disk full", "Unknown exception"}));
}

TEST_F(ExceptionHook, ReplacingReturnsThePreviousHandler) {
    rtl::ExceptionHandler previous = rtl::SetExceptionHandler([](std::exception_ptr) {});
    rtl::HandleException(std::make_exception_ptr(rtl::EConvertError("lost")));
    EXPECT_TRUE(seen_.empty());
    rtl::SetExceptionHandler(previous);
    rtl::HandleException(std::make_exception_ptr(rtl::EConvertError("kept")));
    EXPECT_EQ(seen_, std::vector<std::string>{"kept"});
}

TEST_F(ExceptionHook, TheDefaultWritesToStandardErrorAndAThrowingHandlerIsContained) {
    rtl::SetExceptionHandler(nullptr);
    testing::internal::CaptureStderr();
    rtl::HandleException(std::make_exception_ptr(rtl::Exception("caf\xE9 closed")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caf\u00E9 closed\n");

    rtl::SetExceptionHandler([](std::exception_ptr) { throw std::runtime_error("handler broke"); });
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(rtl::HandleException(std::make_exception_ptr(rtl::Exception("first"))));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "first\nhandler broke\n");
}

TEST(ExceptionMessage, TakesTheMessageOfEachKind) {
    EXPECT_EQ(rtl::ExceptionMessage(std::make_exception_ptr(rtl::EOutOfResources("Not enough timers"))),
              "Not enough timers");
    EXPECT_EQ(rtl::ExceptionMessage(std::make_exception_ptr(std::logic_error("bad"))), "bad");
    EXPECT_EQ(rtl::ExceptionMessage(nullptr), "");
}

}  // namespace
