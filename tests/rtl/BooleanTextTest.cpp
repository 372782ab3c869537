#include "rtl/BooleanText.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"

namespace {

TEST(BooleanText, EitherWordInAnyCaseAndNothingElse) {
    EXPECT_EQ(rtl::BoolToStr(true), "True");
    EXPECT_EQ(rtl::BoolToStr(false), "False");
    for (const char* text : {"true", "TRUE", "True", "tRuE"}) EXPECT_TRUE(rtl::StrToBool(text)) << text;
    for (const char* text : {"false", "FALSE", "fAlSe"}) EXPECT_FALSE(rtl::StrToBool(text)) << text;
    for (const char* text : {"", "1", "yes", " true", "truex", "T"}) {
        bool value = true;
        EXPECT_FALSE(rtl::TryStrToBool(text, value)) << text;
        EXPECT_TRUE(value);
    }
    try {
        rtl::StrToBool("yes");
        ADD_FAILURE();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'yes' is not a valid boolean value");
    }
}

}  // namespace
