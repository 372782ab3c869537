#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

namespace {

TEST(Exceptions, DatabaseErrorIsCaughtAsRuntimeException) {
    try {
        throw rtl::EDatabaseError("Missing table name.");
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "Missing table name.");
        EXPECT_STREQ(e.what(), "Missing table name.");
    }
}

TEST(Exceptions, MessageCanBeReplaced) {
    rtl::EConvertError e("first");
    e.SetMessage("second");
    EXPECT_EQ(e.Message(), "second");
}

}  // namespace
