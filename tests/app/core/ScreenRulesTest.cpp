#include "app/core/ScreenRules.h"

#include <gtest/gtest.h>

#include <string>

namespace app {
namespace {

// Per text: empty for moving on, and stored as, on each screen; position 2 is the alphanumeric DATE,
// 3 its AMOUNT, 5 its LAST.
struct RuleCase {
    const char* text;
    int position;
    bool alphaEmpty;
    const char* alphaStored;
    bool alphanumericEmpty;
    const char* alphanumericStored;
    bool numericEmpty;
    const char* numericStored;
};

TEST(ScreenRulesTest, EmptyAndStoredTextFollowEachScreensRule) {
    const RuleCase cases[] = {
        {"", 5, true, "", true, "", true, ""},
        {" ", 5, true, "", true, " ", false, " "},
        {"ab ", 5, false, "ab", false, "ab ", false, "ab "},
        {".", 5, false, ".", true, ".", false, "."},
        {"  /  /  ", 2, false, "/  /", true, "", false, "  /  /  "},
        {"  /  /  ", 5, false, "/  /", true, "  /  /  ", false, "  /  /  "},
        {"    .  ", 3, false, ".", true, "", false, "    .  "},
        {"    .  ", 5, false, ".", true, "    .  ", false, "    .  "},
        {"01/0 /  ", 2, false, "01/0 /", false, "01/0 /  ", false, "01/0 /  "},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" at " + std::to_string(c.position));
        EXPECT_EQ(AlphaRules().IsEmpty(c.text), c.alphaEmpty);
        EXPECT_EQ(AlphaRules().Stored(c.text, c.position > 3 ? 1 : c.position), c.alphaStored);
        EXPECT_EQ(AlphanumericRules().IsEmpty(c.text), c.alphanumericEmpty);
        EXPECT_EQ(AlphanumericRules().Stored(c.text, c.position), c.alphanumericStored);
        EXPECT_EQ(NumericRules().IsEmpty(c.text), c.numericEmpty);
        EXPECT_EQ(NumericRules().Stored(c.text, c.position), c.numericStored);
    }
}

TEST(ScreenRulesTest, RowsNameTheirFieldsTablesAndCaptions) {
    EXPECT_EQ(AlphaRules().clearedTo, " ");
    EXPECT_EQ(AlphanumericRules().clearedTo, "");
    EXPECT_EQ(NumericRules().clearedTo, "");
    EXPECT_EQ(AlphaRules().fields, 3);
    EXPECT_EQ(AlphanumericRules().fields, 7);
    EXPECT_EQ(NumericRules().fields, 25);
    EXPECT_EQ(AlphaRules().FieldName(3, false), "CITY");
    EXPECT_EQ(AlphanumericRules().FieldName(2, true), "DATE");
    EXPECT_EQ(NumericRules().FieldName(7, false), "n7");
    EXPECT_EQ(NumericRules().FieldName(25, true), "nd25");
    EXPECT_THROW(NumericRules().FieldName(26, true), std::out_of_range);
    EXPECT_THROW(AlphaRules().FieldName(0, false), std::out_of_range);
    EXPECT_EQ(AlphaRules().table, "invsort.dat");
    EXPECT_EQ(AlphanumericRules().indexName, "idxkey");
    EXPECT_EQ(NumericRules().table, "numeric.dat");
    EXPECT_EQ(NumericRules().indexName, "");
    EXPECT_EQ(AlphaRules().capacity, 1900);
    EXPECT_EQ(AlphanumericRules().capacity, 1900);
    EXPECT_EQ(NumericRules().capacity, 200);
    EXPECT_EQ(NumericRules().maxLength, 16);
    EXPECT_EQ(AlphanumericRules().masks[1], "00/00/00; ");
    EXPECT_EQ(AlphanumericRules().masks[3], "");
    EXPECT_EQ(NumericRules().CaptionPrefix(5, true), "5 minute numeric real mode test in progress");
    EXPECT_EQ(AlphaRules().CaptionPrefix(10, false), "10 minute alpha practice mode test in progress");
    EXPECT_EQ(AlphanumericRules().CaptionPrefix(1, true), "1 minute alphanumeric real mode test in progress");
}

}  // namespace
}  // namespace app
