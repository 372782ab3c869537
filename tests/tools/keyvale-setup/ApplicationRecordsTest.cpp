#include "tools/keyvale-setup/ApplicationRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/core/RandomSource.h"
#include "db/Field.h"
#include "engine/table/DataFile.h"
#include "rtl/DateTime.h"
#include "rtl/DateTimeParse.h"
#include "rtl/FormatSettings.h"
#include "rtl/Random.h"
#include "tests/app/core/support/ScriptedRandomSource.h"
#include "tests/tools/keyvale-setup/SetupFixture.h"
#include "tests/tools/keyvale-setup/SetupTables.h"
#include "tests/tools/keyvale-setup/WordChecks.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace setuptest {
namespace {

using namespace keyvalesetup;

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

class RecordsTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        runtime_.DefaultSession().SetActive(true);
        std::filesystem::create_directory(Program());
    }

    // Creates the table in the program directory and fills it through the table component.
    void CreateAndFill(const char* name, const std::function<void(db::TDataSet&)>& fill) {
        const TableSpec& table = *FindApplicationTable(name);
        CreateApplicationTable(Program().string(), table);
        WithExclusiveTable(TablePath(Program().string(), table), fill);
    }

    void DeleteTableFiles(const char* name) {
        engine::TDataFile file;
        file.SetFileName(TablePath(Program().string(), *FindApplicationTable(name)));
        file.DeleteFiles();
    }
};

TEST_F(RecordsTest, InvsortRecordsHoldWordsAndValuesInTheirForms) {
    rtl::FormatSettings settings = rtl::CurrentFormatSettings();
    settings.ShortDateFormat = "mm/dd/yy";
    const rtl::FormatSettingsGuard guard(settings);
    const rtl::TDateTime today = rtl::EncodeDate(2026, 12, 11);
    app::SystemRandomSource random;
    rtl::SetRandSeed(35);
    CreateAndFill("invsort", [&](db::TDataSet& table) { WriteInvsortRecords(table, random, 250, today); });

    auto invsort = OpenTable(InProgram("invsort.dat"));
    ASSERT_EQ(invsort->RecordCount(), 250);
    int recordId = 0;
    for (invsort->First(); !invsort->Eof(); invsort->Next()) {
        SCOPED_TRACE(testing::Message() << "record " << recordId + 1);
        EXPECT_EQ(invsort->FieldByName("recordid").AsInteger(), ++recordId);
        const std::string key = invsort->FieldByName("idxkey").AsString();
        EXPECT_TRUE(AllDigits(key) && (key == "0" || key[0] != '0') && std::stoi(key) <= 99998) << key;
        const std::string date = invsort->FieldByName("date").AsString();
        rtl::TDateTime day = 0;
        ASSERT_TRUE(date.size() == 8 && rtl::TryStrToDate(date, day)) << date;
        EXPECT_TRUE(day <= today && day >= today - 699) << date;
        const std::int32_t invoice = invsort->FieldByName("invoice").AsInteger();
        EXPECT_TRUE(invoice >= 10000000 && invoice <= 99999998) << invoice;
        const std::string amount = invsort->FieldByName("amount").AsString();
        EXPECT_TRUE(amount.size() == 7 && amount[4] == '.' && AllDigits(amount.substr(0, 4)) &&
                    AllDigits(amount.substr(5)) && amount[0] != '0')
            << amount;
        EXPECT_TRUE(IsFieldWord(invsort->FieldByName("FIRST").AsString(), 20));
        EXPECT_TRUE(IsFieldWord(invsort->FieldByName("LAST").AsString(), 20));
        EXPECT_TRUE(IsFieldWord(invsort->FieldByName("STREET").AsString(), 30));
        EXPECT_TRUE(IsFieldWord(invsort->FieldByName("CITY").AsString(), 20));
    }
}

TEST_F(RecordsTest, InvsortKeepsRecordsWhoseKeysCollide) {
    testsupport::ScriptedRandomSource random;
    for (int i = 0; i < 2; ++i) {
        // Key 777 twice: date, invoice, amount, then first, last, house, street, suffix, town.
        random.Push({777, 0, 12345678, 1234567, 0, 0, 0, 0, 0, 0});
    }
    CreateAndFill("invsort",
                  [&](db::TDataSet& table) { WriteInvsortRecords(table, random, 2, rtl::Date()); });
    EXPECT_EQ(random.Left(), 0u);
    auto invsort = OpenTable(InProgram("invsort.dat"), "idxkey");
    EXPECT_EQ(Column(*invsort, "idxkey"), (std::vector<std::string>{"777", "777"}));
}

TEST_F(RecordsTest, NumericValuesFollowTheWidth) {
    const struct {
        std::int32_t width;
        std::int32_t lowest, highest;  // of n
        int minDigits, maxDigits;      // before the point of nd
    } cases[] = {{4, 1001, 9998, 1, 1}, {0, 2, 99999998, 1, 5}};
    app::SystemRandomSource random;
    rtl::SetRandSeed(42);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width);
        CreateAndFill("numeric", [&](db::TDataSet& table) { WriteNumericRecords(table, random, c.width); });
        {
            auto numeric = OpenTable(InProgram("numeric.dat"));
            ASSERT_EQ(numeric->RecordCount(), 200);
            for (numeric->First(); !numeric->Eof(); numeric->Next()) {
                for (int position = 1; position <= kNumericPositions; ++position) {
                    const std::string suffix = std::to_string(position);
                    const std::int32_t n = numeric->FieldByName("n" + suffix).AsInteger();
                    ASSERT_TRUE(n >= c.lowest && n <= c.highest) << n;
                    const std::string nd = numeric->FieldByName("nd" + suffix).AsString();
                    const std::size_t point = nd.find('.');
                    const std::size_t before = point == std::string::npos ? nd.size() : point;
                    ASSERT_TRUE(AllDigits(nd.substr(0, before)) && before >= std::size_t(c.minDigits) &&
                                before <= std::size_t(c.maxDigits))
                        << nd;
                    ASSERT_LE(nd.size() - before, 3u) << nd;
                }
            }
        }
        DeleteTableFiles("numeric");
    }
}

}  // namespace
}  // namespace setuptest
