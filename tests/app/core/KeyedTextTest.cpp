#include "app/core/KeyedText.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace app {
namespace {

TEST(KeyedTextTest, KeepsTextsPerScreenAndFieldUntilCleared) {
    KeyedText keyed(1900, 3);
    EXPECT_EQ(keyed.At(1, 1), "");
    keyed.Set(1, 3, "CITY");
    keyed.Set(1900, 1, "LAST ROW");
    EXPECT_EQ(keyed.At(1, 3), "CITY");
    EXPECT_EQ(keyed.At(1900, 1), "LAST ROW");
    EXPECT_EQ(keyed.At(2, 3), "");
    keyed.Clear();
    EXPECT_EQ(keyed.At(1, 3), "");
    EXPECT_EQ(keyed.At(1900, 1), "");
}

TEST(KeyedTextTest, NothingIsReadOrWrittenPastTheStore) {
    KeyedText keyed(200, 25);
    EXPECT_THROW(keyed.Set(201, 1, "x"), std::out_of_range);
    EXPECT_THROW(keyed.Set(0, 1, "x"), std::out_of_range);
    EXPECT_THROW(keyed.At(1, 26), std::out_of_range);
    EXPECT_THROW(keyed.At(1, 0), std::out_of_range);
}

}  // namespace
}  // namespace app
