#include "rtl/Format.h"

#include <gtest/gtest.h>

namespace {

TEST(Format, FillsSlotsInOrder) {
    EXPECT_EQ(rtl::Format("Field '%s' cannot be modified", {"NAME"}), "Field 'NAME' cannot be modified");
    EXPECT_EQ(rtl::Format("%s of %s", {"1", "2"}), "1 of 2");
    EXPECT_EQ(rtl::Format("100%% of %s", {"x"}), "100% of x");
}

TEST(Format, MissingAndSurplusArgumentsAreHarmless) {
    EXPECT_EQ(rtl::Format("a %s b %s", {"1"}), "a 1 b ");
    EXPECT_EQ(rtl::Format("plain", {"unused"}), "plain");
    EXPECT_EQ(rtl::Format("trailing %", {}), "trailing %");
    EXPECT_EQ(rtl::Format("%d stays", {"x"}), "%d stays");
}

}  // namespace
