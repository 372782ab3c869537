#include "rtl/FormatMask.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatMask, QuotedLiterals) {
    std::size_t next = 0;
    EXPECT_EQ(rtl::QuotedLiteral("0'x;y'0", 1, next), "x;y");
    EXPECT_EQ(next, 6u);
    EXPECT_EQ(rtl::QuotedLiteral("\"it's\"d", 0, next), "it's");  // the other quote is plain text inside
    EXPECT_EQ(next, 6u);
    EXPECT_EQ(rtl::QuotedLiteral("''", 0, next), "");
    EXPECT_EQ(next, 2u);
    EXPECT_EQ(rtl::QuotedLiteral("d'open", 1, next), "open");  // unclosed: to the end
    EXPECT_EQ(next, 6u);
}

}  // namespace
