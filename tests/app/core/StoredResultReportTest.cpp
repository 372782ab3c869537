#include "app/core/StoredResultReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/TARNISTable.h"
#include "rtl/FormatSettings.h"
#include "tests/app/core/support/ResultRecords.h"
#include "tests/components/support/SessionFixture.h"

namespace app {
namespace {

class StoredResultReportTest : public componenttest::SessionTest {
protected:
    std::string Directory() const { return directory_.Path().string() + "/"; }

    std::vector<std::string> LinesOf(const testsupport::StoredResult& result) {
        keyvalesetup::CreateApplicationTable(Directory(), testsupport::ResultsSpec());
        testsupport::AddResults(Directory(), {result});
        components::TTARNISTable table;
        table.SetTableName(Directory() + "results.dat");
        table.Open();
        return StoredResultLines(table);
    }
};

// A result stored on an earlier day: its own date, the values in their own text, then the log's lines.
TEST_F(StoredResultReportTest, TheEighteenLinesThenTheLog) {
    rtl::FormatSettings settings = rtl::CurrentFormatSettings();
    settings.ShortDateFormat = "mm/dd/yy";
    rtl::FormatSettingsGuard format(settings);
    testsupport::StoredResult result;
    result.name = "Lee, Ann";
    result.testtype = "numeric";
    result.testdate = rtl::EncodeDate(2023, 11, 3);
    result.errors = "Record no.: 1, Field no.: 2, 1 errors.\r\nKeyed    >12\r\nOn Record>13\r\n";
    const std::vector<std::string> expected = {
        "Test Results",
        "",
        "Testee: Lee, Ann",
        "Test date: 11/03/23",
        "Real mode, test type: numeric",
        "",
        "Gross keystrokes per hour: 3600",
        "Net keystrokes per hour: 3528",
        "Accuracy: 98",
        "Duration (minutes): 5",
        "Total keystrokes: 300",
        "Keystroke errors: 6",
        "Total fields: 40",
        "Total field errors: 2",
        "",
        "Error logging:",
        "==============",
        "",
        "Record no.: 1, Field no.: 2, 1 errors.",
        "Keyed    >12",
        "On Record>13",
        "",
    };
    EXPECT_EQ(LinesOf(result), expected);
}

TEST_F(StoredResultReportTest, AnEmptyLogAddsNoLine) {
    testsupport::StoredResult result;
    result.name = "Lee, Ann";
    EXPECT_EQ(LinesOf(result).size(), 18u);
}

}  // namespace
}  // namespace app
