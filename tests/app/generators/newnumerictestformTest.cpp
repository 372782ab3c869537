#include "app/generators/newnumerictestform.h"

#include <QProgressBar>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "engine/os/PosixFile.h"
#include "tests/app/generators/GeneratorRuns.h"
#include "tests/support/AppFixture.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::SeededRandomSource;

const Box kCreated{BoxKind::Information, "Keyvale", "New numeric test created successfully."};

// The draws of one record: 25 integers, then 25 decimals, each one draw when the value is not redrawn.
constexpr long kDrawsPerRecordAtWidth0 = 50;

class NewNumericTestFormTest : public testsupport::AppFixture {
protected:
    NewNumericTestFormTest() { State().width = 5; }

    std::string Dir() { return State().progdir; }
    std::string Numeric() { return testsupport::ProgramTable(Dir(), "numeric"); }

    // Shows the form over `source` and waits until the run has closed it.
    void Run(RandomSource& source) {
        form = std::make_unique<Tnewnumerictestform>(State(), messages, source);
        form->show();
        ASSERT_TRUE(testsupport::waitUntil([this] { return !form->isVisible(); }, 20000)) << "the run never ended";
    }
    QProgressBar& Gauge() { return *form->findChild<QProgressBar*>("Gauge1"); }

    std::unique_ptr<Tnewnumerictestform> form;
};

// The whole and fractional parts of a decimal's text, and whether it has at most two decimals.
struct DecimalText {
    std::string whole;
    bool twoDecimalsAtMost;
};
DecimalText Split(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
    return {whole, decimals <= 2};
}

TEST_F(NewNumericTestFormTest, RefillsTheTableWithTwoHundredRecordsOfTheConfiguredWidth) {
    testsupport::CreateNumeric(Dir(), 5);
    State().width = 4;
    SeededRandomSource random(42);
    Run(random);
    EXPECT_EQ(messages.Boxes(), std::vector<Box>{kCreated});
    EXPECT_EQ(random.RandomizeCalls(), 1);
    EXPECT_EQ(Gauge().value(), Gauge().maximum());
    EXPECT_EQ(Gauge().maximum(), 200);
    const auto records = testsupport::ReadRecords(Numeric());
    ASSERT_EQ(records.size(), 200u);
    for (const auto& record : records) {
        for (int position = 1; position <= 25; ++position) {
            const int n = std::stoi(record.at("n" + std::to_string(position)));
            EXPECT_TRUE(n >= 1001 && n <= 9998) << n;
            const std::string text = record.at("nd" + std::to_string(position));
            const double nd = std::stod(text);
            EXPECT_TRUE(nd >= 1.0 && nd <= 9.99) << text;
            EXPECT_TRUE(Split(text).twoDecimalsAtMost) << text;
        }
    }
    EXPECT_TRUE(testsupport::OpensExclusively(Numeric()));
    EXPECT_FALSE(form->numericdb.Active());
    EXPECT_FALSE(form->numericdb.Exclusive());
    EXPECT_EQ(testsupport::CheckFindings(Numeric()), "");
}

TEST_F(NewNumericTestFormTest, WidthZeroGivesOneToEightDigitsAndDecimalsOfOneToFiveBeforeThePoint) {
    testsupport::CreateNumeric(Dir(), 5);
    State().width = 0;
    SeededRandomSource random(7);
    Run(random);
    EXPECT_EQ(messages.Boxes(), std::vector<Box>{kCreated});
    std::size_t shortestInteger = 99, longestInteger = 0, shortestWhole = 99, longestWhole = 0;
    for (const auto& record : testsupport::ReadRecords(Numeric())) {
        for (int position = 1; position <= 25; ++position) {
            const std::string n = record.at("n" + std::to_string(position));
            shortestInteger = std::min(shortestInteger, n.size());
            longestInteger = std::max(longestInteger, n.size());
            const DecimalText nd = Split(record.at("nd" + std::to_string(position)));
            shortestWhole = std::min(shortestWhole, nd.whole.size());
            longestWhole = std::max(longestWhole, nd.whole.size());
            EXPECT_TRUE(nd.twoDecimalsAtMost);
        }
    }
    EXPECT_GE(shortestInteger, 1u);
    EXPECT_EQ(longestInteger, 8u);
    EXPECT_GE(shortestWhole, 1u);
    EXPECT_EQ(longestWhole, 5u);
}

// A failure part-way: the application's handler says so once, the form closes without its success
// message, and the table is free and sound with what was written before.
TEST_F(NewNumericTestFormTest, AFailureDuringTheRunClosesTheFormAndFreesTheTable) {
    testsupport::CreateNumeric(Dir(), 5);
    State().width = 0;  // every draw of width 0 stands: 50 draws a record
    SeededRandomSource random(5, 120 * kDrawsPerRecordAtWidth0 + 7);
    Run(random);
    const auto stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].text, "the random source failed on purpose.");
    EXPECT_EQ(messages.Boxes().size(), 1u);  // no success message
    EXPECT_FALSE(form->numericdb.Active());
    EXPECT_FALSE(form->numericdb.Exclusive());
    EXPECT_TRUE(testsupport::OpensExclusively(Numeric()));
    EXPECT_EQ(testsupport::ReadRecords(Numeric()).size(), 120u);
    EXPECT_EQ(testsupport::CheckFindings(Numeric()), "");
}

// A write the disk refuses fails the run too: emptying writes the emptied header at once (write 1), and the
// table opened exclusively writes its records (write 2) and its header (write 3) when the run closes it.
// What stays is a sound table: the old records when the emptying failed, else an empty table (a slot written
// past the emptied header is an append cut short, which tarnis-check only warns of).
TEST_F(NewNumericTestFormTest, AWriteTheDiskRefusesClosesTheFormAndFreesTheTable) {
    const struct {
        int nth;
        std::size_t records;
    } cases[] = {{1, 200}, {2, 0}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nth);
        testsupport::RemoveTable(Dir(), "numeric");
        testsupport::CreateNumeric(Dir(), 5);
        messages.Clear();
        ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, Dir() + "numeric.DAT", c.nth, ENOSPC));
        SeededRandomSource random(5);
        Run(random);
        const bool fired = engine::IoFaultFired();
        engine::DisarmIoFault();
        EXPECT_TRUE(fired);
        const auto stops = TakeStops();
        ASSERT_EQ(stops.size(), 1u);
        EXPECT_EQ(stops[0].text.rfind("TARNIS Engine Error # 9218 ", 0), 0u) << stops[0].text;
        EXPECT_EQ(messages.Boxes().size(), 1u);  // no success message
        EXPECT_FALSE(form->numericdb.Active());
        EXPECT_FALSE(form->numericdb.Exclusive());
        EXPECT_TRUE(testsupport::OpensExclusively(Numeric()));
        EXPECT_EQ(testsupport::ReadRecords(Numeric()).size(), c.records);
        EXPECT_EQ(testsupport::CheckErrors(Numeric()), "");
    }
}

}  // namespace
}  // namespace app
