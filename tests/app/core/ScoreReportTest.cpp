#include "app/core/ScoreReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"

namespace app {
namespace {

// The program's short date format, in force while a report is made.
rtl::FormatSettings ProgramFormats() {
    rtl::FormatSettings settings;
    settings.ShortDateFormat = "mm/dd/yy";
    return settings;
}

ScoreResult SampleScore() {
    ScoreResult score;
    score.keystrokes = 300;
    score.errors = 6;
    score.fields = 40;
    score.fielderrors = 2;
    score.minutes = 5;
    score.kph = 3600;
    score.accuracy = 98;
    score.nkph = 3528;
    score.log = {"Record no.: 2, Field no.: 1, 6 errors. (Last field keyed)", "Keyed    >JOHX", "On Record>JOHN", ""};
    return score;
}

TEST(ScoreReport, LinesOfEachTypeInRealAndPracticeMode) {
    rtl::FormatSettingsGuard formats(ProgramFormats());
    struct Case {
        TestKind kind;
        bool realmode;
        const char* typeLine;
    };
    const Case cases[] = {
        {TestKind::alpha, true, "Test type: Alpha, real mode"},
        {TestKind::alpha, false, "Test type: Alpha, practice mode"},
        {TestKind::alphanumeric, true, "Test type: Alphanumeric, real mode"},
        {TestKind::alphanumeric, false, "Test type: Alphanumeric, practice mode"},
        {TestKind::numeric, true, "Test type: Numeric, real mode"},
        {TestKind::numeric, false, "Test type: Numeric, practice mode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typeLine);
        const ReportContext context{c.kind, c.realmode, "  Smith ", "Ann", rtl::EncodeDateTime(2024, 1, 15, 9, 30, 0, 0)};
        std::vector<std::string> expected = {"Test Results", "", "Test date: 01/15/24"};
        if (c.realmode) expected.push_back("Testee name: Smith, Ann");
        const std::vector<std::string> rest = {
            c.typeLine,
            "",
            "Gross keystrokes per hour: 3600.00",
            "Net keystrokes per hour: 3528.00",
            "Accuracy: 98.00",
            "Duration (minutes): 5.00",
            "Total keystrokes: 300",
            "Keystroke errors: 6",
            "Total fields: 40",
            "Total field errors: 2",
            "",
            "Error logging:",
            "==============",
            "",
            "Record no.: 2, Field no.: 1, 6 errors. (Last field keyed)",
            "Keyed    >JOHX",
            "On Record>JOHN",
            "",
        };
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(ReportLines(SampleScore(), context), expected);
        EXPECT_EQ(expected.size(), (c.realmode ? 18u : 17u) + 4u);
    }
}

TEST(ScoreReport, RatesRoundToTwoDecimalsAndCountsMayBeNegative) {
    rtl::FormatSettingsGuard formats(ProgramFormats());
    ScoreResult score;
    score.keystrokes = -2;
    score.errors = 16;
    score.minutes = 1.0 / 3;
    score.kph = -360;
    score.accuracy = 0;
    score.nkph = 0;
    const auto lines = ReportLines(score, {TestKind::alphanumeric, false, "", "", rtl::EncodeDate(2023, 12, 31)});
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[2], "Test date: 12/31/23");
    EXPECT_EQ(lines[5], "Gross keystrokes per hour: -360.00");
    EXPECT_EQ(lines[6], "Net keystrokes per hour: 0.00");
    EXPECT_EQ(lines[7], "Accuracy: 0.00");
    EXPECT_EQ(lines[8], "Duration (minutes): 0.33");
    EXPECT_EQ(lines[9], "Total keystrokes: -2");
}

TEST(ScoreReport, ADateTheFormatCannotWriteLeavesItsLineOut) {
    rtl::FormatSettingsGuard formats(ProgramFormats());
    const auto lines = ReportLines(SampleScore(), {TestKind::alpha, true, "Smith", "Ann", rtl::MaxDateTime + 10});
    ASSERT_EQ(lines.size(), 17u + 4u);
    EXPECT_EQ(lines[2], "Testee name: Smith, Ann");
}

TEST(ScoreReport, TheRecordsValuesInTheirOrder) {
    ScoreResult score = SampleScore();
    score.log.push_back("last");
    const rtl::TDateTime endtime = rtl::EncodeTime(9, 35, 1, 250);
    const auto values =
        ResultRecord(score, {TestKind::numeric, true, " Smith ", "Ann", rtl::EncodeDateTime(2024, 1, 15, 9, 35, 2, 0)},
                     endtime);
    std::vector<std::string> names;
    for (const ResultValue& v : values) names.emplace_back(v.field);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME", "NKPH", "KPH", "TOTERRS", "FLDERRS", "TESTTIME", "TESTDATE",
                                               "TIME", "TOTALFLDS", "TOTALKS", "ACCURACY", "TESTTYPE", "ERRORS"}));
    EXPECT_EQ(rtl::VarToStr(values[0].value), "Smith, Ann");
    EXPECT_EQ(rtl::VarToReal(values[1].value), 3528);
    EXPECT_EQ(rtl::VarToReal(values[2].value), 3600);
    EXPECT_EQ(rtl::VarToInt(values[3].value), 6);
    EXPECT_EQ(rtl::VarToInt(values[4].value), 2);
    EXPECT_EQ(rtl::VarToDateTime(values[5].value), endtime);
    EXPECT_EQ(rtl::VarToDateTime(values[6].value), rtl::EncodeDate(2024, 1, 15));
    EXPECT_EQ(rtl::VarToReal(values[7].value), 5);
    EXPECT_EQ(rtl::VarToInt(values[8].value), 40);
    EXPECT_EQ(rtl::VarToInt(values[9].value), 300);
    EXPECT_EQ(rtl::VarToReal(values[10].value), 98);
    EXPECT_EQ(rtl::VarToStr(values[11].value), "numeric");
    EXPECT_EQ(rtl::VarToStr(values[12].value),
              "Record no.: 2, Field no.: 1, 6 errors. (Last field keyed)\r\nKeyed    >JOHX\r\nOn Record>JOHN\r\n\r\nlast");
}

TEST(ScoreReport, AnEmptyLogIsAnEmptyText) {
    EXPECT_EQ(JoinLog({}), "");
    EXPECT_EQ(JoinLog({""}), "");
    EXPECT_EQ(JoinLog({"a", ""}), "a\r\n");
}

}  // namespace
}  // namespace app
