#include "app/core/funcs.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(funcsTest, SecondsOfDayCountsMillisecondsAsThousandths) {
    EXPECT_DOUBLE_EQ(secondsofday(rtl::EncodeTime(12, 3, 4, 5)), 43384.005);
    EXPECT_DOUBLE_EQ(secondsofday(rtl::EncodeTime(0, 0, 0, 0)), 0.0);
    // The date part does not count.
    EXPECT_DOUBLE_EQ(secondsofday(rtl::EncodeDateTime(2026, 12, 11, 23, 59, 30, 0)), 86370.0);
}

TEST(funcsTest, MaxVariantGivesTheLargerAndRaisesWhenNoCompareIsPossible) {
    EXPECT_EQ(rtl::VarToInt(maxvariant(3, 7)), 7);
    EXPECT_EQ(rtl::VarToInt(maxvariant(7, 3)), 7);
    EXPECT_EQ(rtl::VarToInt(maxvariant(4, 4)), 4);
    const struct {
        rtl::Variant a;
        rtl::Variant b;
    } refused[] = {{rtl::Variant::Null(), 1}, {1, rtl::Variant::Null()}, {"abc", 1}, {rtl::Unassigned(), 2}};
    for (const auto& c : refused) {
        try {
            maxvariant(c.a, c.b);
            ADD_FAILURE() << "no exception";
        } catch (const EminInvalid& e) {
            EXPECT_EQ(e.Message(), "Invalid compare");
        }
    }
}

}  // namespace
}  // namespace app
