#include "app/core/Scoring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {
namespace {

// The shapes of the three screens: fields per screen and the alphanumeric date and amount.
const ScoreRules kAlpha{TestKind::alpha, 3, 0, 0};
const ScoreRules kAlphanumeric{TestKind::alphanumeric, 7, 2, 3};
// Two numbers per screen are enough to show every numeric rule.
const ScoreRules kNumeric{TestKind::numeric, 2, 0, 0};

const std::vector<std::string> kJohn{"JOHN", "SMITH", "BOSTON"};
const std::vector<std::string> kInvoice{"12345678", "01/02/03", "1234.56", "JOHN", "SMITH", "1 MAIN ST", "BOSTON"};

struct Case {
    const char* name;
    ScoreRules rules;
    ScreenTexts keyed;
    ScreenTexts expected;
    bool autoadvance;
    bool useuppercase;
    // Results
    std::int32_t fields;
    std::int32_t keystrokes;
    std::int32_t errors;
    std::int32_t fielderrors;
    double accuracy;
};

ScoreResult ScoreCase(const Case& c, double elapsed = 300) {
    ScoreInput input;
    input.rules = c.rules;
    input.keyed = c.keyed;
    input.expected = c.expected;
    input.autoadvance = c.autoadvance;
    input.useuppercase = c.useuppercase;
    input.elapsed = elapsed;
    return Score(input);
}

TEST(Scoring, CountsFieldsKeystrokesAndErrorsAsTheRulesSay) {
    const std::string hundred(100, 'A');
    std::string sixWrong = hundred;
    for (int i = 0; i < 6; ++i) sixWrong[i * 10] = 'B';
    const Case cases[] = {
        {"300 keystrokes, 6 errors", kAlpha, {{sixWrong, hundred, hundred}, {"", " ", ""}},
         {{hundred, hundred, hundred}, kJohn}, true, false, 3, 300, 6, 1, 98},
        {"nothing keyed", kAlpha, {{" ", " ", " "}}, {kJohn}, false, false, 0, 0, 0, 0, 100},
        {"last screen, first field half keyed", kAlpha, {{"JO", " ", " "}}, {kJohn}, false, false, 1, 2, 0, 0, 100},
        {"the same with auto-advance", kAlpha, {{"JO", " ", " "}}, {kJohn}, true, false, 1, 2, 0, 0, 100},
        {"earlier screen, third letter wrong and fourth missing", kAlpha, {{"JOX", "SMITH", "BOSTON"}, {" ", " ", " "}},
         {kJohn, kJohn}, false, false, 3, 4 + 6 + 7, 2, 1, 100 - 2.0 / 17 * 100},
        {"the same with auto-advance", kAlpha, {{"JOX", "SMITH", "BOSTON"}, {" ", " ", " "}}, {kJohn, kJohn}, true,
         false, 3, 3 + 5 + 6, 2, 1, 100 - 2.0 / 14 * 100},
        {"numeric earlier screen, a short entry", kNumeric, {{"123", "7"}, {"", ""}}, {{"12345", "7"}, {"1", "2"}},
         false, false, 2, 4 + 2, 0, 0, 100},
        {"numeric earlier screen, digits beyond the value", kNumeric, {{"1234567", "7"}, {"", ""}},
         {{"12345", "7"}, {"1", "2"}}, false, false, 2, 8 + 2, 2, 1, 80},
        {"errors above keystrokes", kAlpha, {{"", "X", ""}}, {kJohn}, false, false, 2, 1 + 1, 5, 2, 0},
        {"trailing empty fields are not counted", kAlpha, {{"JOHN", "", " "}}, {kJohn}, false, false, 1, 5, 0, 0, 100},
        {"a full last keyed field gets its Enter", kAlpha, {{"JOHN", "SMITH", ""}}, {kJohn}, false, false, 2, 11, 0,
         0, 100},
        {"a last keyed field longer than its value", kAlpha, {{"JOHNNY", "", ""}}, {kJohn}, false, false, 1, 7, 2, 1,
         100 - 2.0 / 7 * 100},
        {"alpha entries are trimmed", kAlpha, {{"  JOHN ", "SMITH  ", ""}}, {kJohn}, false, false, 2, 11, 0, 0, 100},
        {"numeric entries are not trimmed", kNumeric, {{" 12", ""}}, {{"12", "3"}}, false, false, 1, 4, 3, 1,
         100 - 3.0 / 4 * 100},
        {"upper case: alpha source upper-cased", kAlpha, {{"JOHN", "", ""}}, {{"John", "Smith", "Boston"}}, false,
         true, 1, 5, 0, 0, 100},
        {"without upper case the letters differ", kAlpha, {{"JOHN", "", ""}}, {{"John", "Smith", "Boston"}}, false,
         false, 1, 5, 3, 1, 40},
        {"upper case: alphanumeric source upper-cased", kAlphanumeric, {{"", "", "", "JOHN", "", "", ""}},
         {{"12345678", "01/02/03", "1234.56", "John", "", "", ""}}, true, true, 4, -3 + 4, 8 + 8 + 7, 3, 0},
        {"upper case: numeric source kept", kNumeric, {{"ABC", ""}}, {{"abc", "1"}}, false, true, 1, 4, 3, 1, 25},
        {"full date and amount count 6 each", kAlphanumeric, {{"12345678", "01/02/03", "1234.56", "", "", "", ""}},
         {kInvoice}, false, false, 3, 9 + 7 + 7, 0, 0, 100},
        {"the date and amount rule on earlier screens", kAlphanumeric, {kInvoice, {"", "", "", "", "", "", ""}},
         {kInvoice, kInvoice}, true, false, 7, 8 + 6 + 6 + 4 + 5 + 9 + 6, 0, 0, 100},
        {"a blank date before the last keyed field", kAlphanumeric,
         {{"12345678", "", "1234.56", "", "", "", ""}}, {kInvoice}, false, false, 3, 9 + (-2 + 1) + 7, 8, 1,
         100 - 8.0 / 15 * 100},
        {"keystrokes below zero with errors", kAlphanumeric, {{"", "", "1", "", "", "", ""}}, {kInvoice}, true,
         false, 3, 0 - 2 + 0, 16, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScoreResult r = ScoreCase(c);
        EXPECT_EQ(r.fields, c.fields);
        EXPECT_EQ(r.keystrokes, c.keystrokes);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(r.fielderrors, c.fielderrors);
        EXPECT_DOUBLE_EQ(r.accuracy, c.accuracy);
        EXPECT_DOUBLE_EQ(r.minutes, 5);
        EXPECT_DOUBLE_EQ(r.kph, c.keystrokes * 60.0 / 5);
        EXPECT_DOUBLE_EQ(r.nkph, r.kph * c.accuracy / 100);
        EXPECT_FALSE(std::signbit(r.nkph) && r.nkph == 0) << "no negative zero";
    }
}

TEST(Scoring, ThePartsWorkedRates) {
    ScoreInput input;
    input.rules = kNumeric;
    // 300 keystrokes, 6 errors: 150 fields of one digit and Enter, six of them wrong.
    for (int s = 0; s < 76; ++s) {
        input.keyed.push_back({"1", "1"});
        input.expected.push_back({s < 3 ? "2" : "1", s < 3 ? "2" : "1"});
    }
    input.keyed.back() = {"", ""};
    input.elapsed = 300;
    const ScoreResult r = Score(input);
    ASSERT_EQ(r.keystrokes, 300);
    ASSERT_EQ(r.errors, 6);
    EXPECT_DOUBLE_EQ(r.minutes, 5.0);
    EXPECT_DOUBLE_EQ(r.kph, 3600.0);
    EXPECT_DOUBLE_EQ(r.accuracy, 98.0);
    EXPECT_DOUBLE_EQ(r.nkph, 3528.0);
}

TEST(Scoring, NoElapsedTimeGivesNoRateRatherThanADivision) {
    ScoreInput input;
    input.rules = kAlpha;
    input.keyed = {{"JOHN", "", ""}};
    input.expected = {kJohn};
    for (double elapsed : {0.0, -5.0}) {
        input.elapsed = elapsed;
        const ScoreResult r = Score(input);
        EXPECT_EQ(r.keystrokes, 5);
        EXPECT_EQ(r.kph, 0);
        EXPECT_EQ(r.nkph, 0);
        EXPECT_EQ(r.accuracy, 100);
    }
}

TEST(Scoring, TheLogListsTheLastScreenFirstAndFieldsDescending) {
    ScoreInput input;
    input.rules = kAlpha;
    input.keyed = {{"JOHN", "SMITH", "BOSTIN"}, {"JOHX", "  SMYTH ", " "}};
    input.expected = {kJohn, kJohn};
    input.elapsed = 60;
    const ScoreResult r = Score(input);
    const std::vector<std::string> expected = {
        "Record no.: 2, Field no.: 2, 1 errors. (Last field keyed)",
        "Keyed    >SMYTH",
        "On Record>SMITH",
        "",
        "Record no.: 2, Field no.: 1, 1 errors.",
        "Keyed    >JOHX",
        "On Record>JOHN",
        "",
        "Record no.: 1, Field no.: 3, 1 errors.",
        "Keyed    >BOSTIN",
        "On Record>BOSTON",
        "",
    };
    EXPECT_EQ(r.log, expected);
}

TEST(Scoring, TheLogStopsOnceMoreThanFiftyFieldsAreInError) {
    // Three wrong fields on the last screen (21), then 60 on screens 20 down to 1.
    ScoreInput input;
    input.rules = kAlpha;
    for (int s = 1; s <= 21; ++s) {
        input.keyed.push_back({"X", "X", "X"});
        input.expected.push_back({"Y", "Y", "Y"});
    }
    const ScoreResult r = Score(input);
    EXPECT_EQ(r.fielderrors, 63);
    EXPECT_EQ(r.errors, 63);
    // All 3 of the last screen, 48 earlier ones, the stop line.
    ASSERT_EQ(r.log.size(), 3u * 4 + 48u * 4 + 1);
    EXPECT_EQ(r.log[0], "Record no.: 21, Field no.: 3, 1 errors. (Last field keyed)");
    EXPECT_EQ(r.log[4], "Record no.: 21, Field no.: 2, 1 errors.");
    EXPECT_EQ(r.log[12], "Record no.: 20, Field no.: 3, 1 errors.");
    EXPECT_EQ(r.log[r.log.size() - 5], "Record no.: 5, Field no.: 1, 1 errors.");
    EXPECT_EQ(r.log.back(), "Field errors in excess of 50. Logging stopped...");
}

TEST(Scoring, TheLastScreensLinesAreLoggedWhateverTheCount) {
    // 26 wrong numbers on the last screen alone stay in the log, and logging the earlier ones stops after one.
    ScoreInput input;
    input.rules = ScoreRules{TestKind::numeric, 26, 0, 0};
    input.keyed = {std::vector<std::string>(26, "1"), std::vector<std::string>(26, "1")};
    input.expected = {std::vector<std::string>(26, "2"), std::vector<std::string>(26, "2")};
    const ScoreResult r = Score(input);
    EXPECT_EQ(r.fielderrors, 52);
    ASSERT_EQ(r.log.size(), 26u * 4 + 25u * 4 + 1);
    EXPECT_EQ(r.log.back(), "Field errors in excess of 50. Logging stopped...");
}

TEST(Scoring, RowsOfTheWrongShapeAreRefused) {
    ScoreInput input;
    input.rules = kAlpha;
    input.keyed = {{"JOHN", "SMITH"}};
    input.expected = {kJohn};
    EXPECT_THROW(Score(input), std::invalid_argument);
    input.keyed = {kJohn};
    input.expected = {};
    EXPECT_THROW(Score(input), std::invalid_argument);
}

}  // namespace
}  // namespace app
