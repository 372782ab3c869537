#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <type_traits>

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

// Every failure is caught as the runtime's exception.
static_assert(std::is_base_of_v<rtl::Exception, rtl::EAbort> &&
              std::is_base_of_v<rtl::Exception, rtl::EOutOfResources> &&
              std::is_base_of_v<rtl::Exception, rtl::EOverflow> &&
              std::is_base_of_v<rtl::Exception, rtl::EZeroDivide>);

TEST(Exceptions, AbortCarriesAFixedMessage) {
    EXPECT_EQ(rtl::EAbort().Message(), "Operation aborted");
    EXPECT_EQ(rtl::EAbort("cancelled").Message(), "cancelled");
}

}  // namespace
