#include "app/core/ExceptionText.h"

#include <gtest/gtest.h>

#include <string>

namespace app {
namespace {

TEST(WithFullStopTest, AppendsAFullStopOnlyAfterBytesAboveIt) {
    const struct {
        std::string message;
        std::string shown;
    } cases[] = {
        {"abc", "abc."}, {"abc.", "abc."},
        {"x!", "x!"},    {"x-", "x-"},             // 0x2D, just below the full stop
        {"x/", "x/."},                             // 0x2F, just above it
        {"", ""},        {"caf\xE9", "caf\xE9."},  // bytes above 0x7F are characters too
        {"x ", "x "},
    };
    for (const auto& c : cases) EXPECT_EQ(WithFullStop(c.message), c.shown) << c.message;
}

}  // namespace
}  // namespace app
