#include "app/core/TestDataGenerators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"
#include "rtl/Random.h"
#include "tests/app/core/support/ScriptedRandomSource.h"

namespace app {
namespace {

using testsupport::ScriptedRandomSource;

struct IntegerCase {
    std::int32_t width;
    std::vector<std::int32_t> draws;  // the last one is taken
    std::int32_t expected;
    std::int32_t range;  // asked for every draw
};

TEST(TestDataGenerators, GetintegerRedrawsUntilAboveTheWidthsLowerBound) {
    const IntegerCase cases[] = {
        {0, {0, 1, 2}, 2, 99999999},
        {4, {1000, 1001}, 1001, 9999},
        {4, {9998}, 9998, 9999},
        {5, {10000, 99998}, 99998, 99999},
        {6, {5, 100001}, 100001, 999999},
        {7, {1000000, 1000001}, 1000001, 9999999},
        {8, {10000000, 99999998}, 99999998, 99999999},
        {3, {1, 7}, 7, 99999999},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width);
        ScriptedRandomSource random;
        for (std::int32_t draw : c.draws) random.Push(draw);
        EXPECT_EQ(getinteger(random, c.width), c.expected);
        EXPECT_EQ(random.Ranges(), std::vector<std::int32_t>(c.draws.size(), c.range));
        EXPECT_EQ(random.Left(), 0u);
    }
}

struct DecimalCase {
    std::int32_t width;
    std::vector<std::int32_t> draws;
    double expected;
    std::int32_t range;
};

TEST(TestDataGenerators, GetdecimalSlicesTheDrawnDigitsAroundAPoint) {
    const DecimalCase cases[] = {
        {4, {1234}, 1.23, 9999},
        {8, {12345678}, 12345.67, 99999999},
        // Width 0 keeps at least four digits: one before the point.
        {0, {1000, 1001}, 1.00, 99999999},
        {6, {100000, 999998}, 999.99, 999999},
        // Too few digits for a number: "." alone reads as nothing.
        {3, {5}, 1.23, 99999999},
        {3, {12}, 0.1, 99999999},
    };
    for (const DecimalCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << ", last draw " << c.draws.back());
        ScriptedRandomSource random;
        for (std::int32_t draw : c.draws) random.Push(draw);
        EXPECT_DOUBLE_EQ(getdecimal(random, c.width), c.expected);
        EXPECT_EQ(random.Ranges(), std::vector<std::int32_t>(c.draws.size(), c.range));
    }
}

TEST(TestDataGenerators, GetdecimalReadsThePointWhateverTheSettings) {
    rtl::FormatSettings comma;
    comma.DecimalSeparator = ',';
    comma.ThousandSeparator = '.';
    const rtl::FormatSettingsGuard guard(comma);
    ScriptedRandomSource random;
    random.Push(54321);
    EXPECT_DOUBLE_EQ(getdecimal(random, 5), 54.32);
}

TEST(TestDataGenerators, GetamountTakesFourDigitsAPointAndTheLastTwo) {
    ScriptedRandomSource random;
    random.Push({999999, 1234567});
    EXPECT_EQ(getamount(random), "1234.67");
    EXPECT_EQ(random.Ranges(), (std::vector<std::int32_t>{9999999, 9999999}));
}

TEST(TestDataGenerators, NewInvsortValuesDrawsKeyDateInvoiceAndAmountInOrder) {
    rtl::FormatSettings settings;
    settings.ShortDateFormat = "mm/dd/yy";
    const rtl::FormatSettingsGuard guard(settings);
    ScriptedRandomSource random;
    // key 42, 3 days back, an invoice below eight digits drawn again, then the amount.
    random.Push({42, 3, 9999999, 12345678, 1000000});
    const InvsortValues values = NewInvsortValues(random, rtl::EncodeDate(2026, 1, 2));
    EXPECT_EQ(values.idxkey, "42");
    EXPECT_EQ(values.date, "12/30/25");
    EXPECT_EQ(values.invoice, 12345678);
    EXPECT_EQ(values.amount, "1000.00");
    EXPECT_EQ(random.Ranges(), (std::vector<std::int32_t>{99999, 700, 99999999, 99999999, 9999999}));
    EXPECT_EQ(random.Left(), 0u);
}

TEST(TestDataGenerators, SystemSourceDrawsFromTheRuntimesGenerator) {
    SystemRandomSource random;
    rtl::SetRandSeed(7);
    const InvsortValues first = NewInvsortValues(random, rtl::EncodeDate(2026, 1, 2));
    rtl::SetRandSeed(7);
    const InvsortValues again = NewInvsortValues(random, rtl::EncodeDate(2026, 1, 2));
    EXPECT_EQ(first.idxkey, again.idxkey);
    EXPECT_EQ(first.invoice, again.invoice);
    EXPECT_EQ(first.amount, again.amount);
}

}  // namespace
}  // namespace app
