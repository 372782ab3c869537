#include "app/generators/rewritean.h"

#include <QProgressBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "rtl/DateTimeFormat.h"
#include "rtl/FormatSettings.h"
#include "tests/app/generators/GeneratorRuns.h"
#include "tests/support/AppFixture.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::Record;
using testsupport::SeededRandomSource;

const Box kCreated{BoxKind::Information, "Keyvale", "New test has been created."};

// The records were made long before the fake today, so that every renewed date differs from its old one.
const rtl::TDateTime kMadeOn = rtl::EncodeDate(2019, 6, 1);

class RewriteanTest : public testsupport::AppFixture {
protected:
    std::string Dir() { return State().progdir; }
    std::string Invsort() { return testsupport::ProgramTable(Dir(), "invsort"); }

    void Run(RandomSource& source) {
        form = std::make_unique<Trewritean>(State(), messages, source, time);
        form->show();
        ASSERT_TRUE(testsupport::waitUntil([this] { return !form->isVisible(); }, 30000)) << "the run never ended";
    }
    QProgressBar& Gauge() { return *form->findChild<QProgressBar*>("Gauge1"); }

    // The dates a renewed record may have: 0 to 699 days before the fake today, as "mm/dd/yy".
    std::set<std::string> RenewedDates() {
        rtl::FormatSettings settings;
        settings.ShortDateFormat = "mm/dd/yy";
        const rtl::TDateTime today = rtl::EncodeDate(2024, 1, 15);
        std::set<std::string> dates;
        for (int days = 0; days < 700; ++days) dates.insert(rtl::DateToStr(today - days, settings));
        return dates;
    }

    // The record IDs in the order of the index idxkey.
    std::vector<std::string> IdxkeyOrder() {
        components::TTARNISTable table;
        table.SetTableName(Invsort());
        table.SetIndexName("idxkey");
        table.Open();
        std::vector<std::string> order;
        for (table.First(); !table.Eof(); table.Next()) order.push_back(table.FieldByName("recordid").AsString());
        return order;
    }

    std::unique_ptr<Trewritean> form;
};

bool Digits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// 0 .. 99998 without leading zeros.
bool IsKey(const std::string& text) {
    return Digits(text) && text.size() <= 5 && (text == "0" || text[0] != '0') && std::stoi(text) <= 99998;
}

// "dddd.dd" with a first digit from 1 to 9.
bool IsAmount(const std::string& text) {
    return text.size() == 7 && text[4] == '.' && Digits(text.substr(0, 4)) && Digits(text.substr(5)) && text[0] != '0';
}

bool Renewed(const Record& record, const std::set<std::string>& dates) {
    return dates.count(record.at("date")) == 1;
}

TEST_F(RewriteanTest, RenewsKeyDateInvoiceAndAmountOfEveryRecordAndKeepsTheNames) {
    testsupport::CreateInvsort(Dir(), 2000, kMadeOn);
    const std::vector<Record> before = testsupport::ReadRecords(Invsort());
    // Showing sets the short date format the dates are written in.
    rtl::CurrentFormatSettings().ShortDateFormat = "d/m/yyyy";
    SeededRandomSource random(17);
    Run(random);
    EXPECT_EQ(messages.Boxes(), std::vector<Box>{kCreated});
    EXPECT_EQ(random.RandomizeCalls(), 2);
    EXPECT_EQ(rtl::CurrentFormatSettings().ShortDateFormat, "mm/dd/yy");
    EXPECT_EQ(Gauge().maximum(), 2000);
    EXPECT_EQ(Gauge().value(), 2000);
    EXPECT_EQ(Gauge().palette().color(QPalette::Highlight), QColor(Qt::black));  // a black bar
    EXPECT_FALSE(form->cancelled);
    EXPECT_FALSE(form->inv.Active());

    const std::vector<Record> after = testsupport::ReadRecords(Invsort());
    ASSERT_EQ(after.size(), before.size());
    const std::set<std::string> dates = RenewedDates();
    for (std::size_t i = 0; i < after.size(); ++i) {
        const Record& old = before[i];
        const Record& renewed = after[i];
        ASSERT_EQ(renewed.at("recordid"), old.at("recordid"));
        for (const char* kept : {"FIRST", "LAST", "STREET", "CITY"}) EXPECT_EQ(renewed.at(kept), old.at(kept));
        EXPECT_TRUE(Renewed(renewed, dates)) << renewed.at("date");
        EXPECT_TRUE(IsKey(renewed.at("idxkey"))) << renewed.at("idxkey");
        const int invoice = std::stoi(renewed.at("invoice"));
        EXPECT_TRUE(invoice >= 10000000 && invoice <= 99999998) << invoice;
        EXPECT_TRUE(IsAmount(renewed.at("amount"))) << renewed.at("amount");
    }
    EXPECT_EQ(testsupport::CheckFindings(Invsort()), "");
}

TEST_F(RewriteanTest, TwoSeedsGiveTwoOrdersAndDuplicateKeysPost) {
    testsupport::CreateInvsort(Dir(), 2000, kMadeOn);
    std::vector<std::vector<std::string>> orders;
    bool duplicates = false;
    for (const std::uint64_t seed : {101u, 202u}) {
        SeededRandomSource random(seed);
        Run(random);
        EXPECT_EQ(messages.Boxes(), std::vector<Box>{kCreated});
        messages.Clear();
        orders.push_back(IdxkeyOrder());
        std::set<std::string> keys;
        for (const Record& record : testsupport::ReadRecords(Invsort())) {
            if (!keys.insert(record.at("idxkey")).second) duplicates = true;
        }
    }
    EXPECT_TRUE(duplicates) << "the seeds drew no key twice; the case is not tested";
    ASSERT_EQ(orders[0].size(), 2000u);
    EXPECT_NE(orders[0], orders[1]);
}

// A failure part-way: one message from the application's handler, no success message, the form closed and
// the table free; the records renewed before the failure keep their new values, the rest their old ones.
TEST_F(RewriteanTest, AFailureDuringTheRunClosesTheFormAndFreesTheTable) {
    testsupport::CreateInvsort(Dir(), 300, kMadeOn);
    SeededRandomSource random(9, 600);
    Run(random);
    const auto stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].text, "the random source failed on purpose.");
    EXPECT_EQ(messages.Boxes().size(), 1u);
    EXPECT_TRUE(form->cancelled);
    EXPECT_TRUE(testsupport::OpensExclusively(Invsort()));
    const std::vector<Record> after = testsupport::ReadRecords(Invsort());
    ASSERT_EQ(after.size(), 300u);
    const std::set<std::string> dates = RenewedDates();
    const auto firstOld = std::find_if(after.begin(), after.end(), [&](const Record& r) { return !Renewed(r, dates); });
    EXPECT_GT(firstOld - after.begin(), 100);
    EXPECT_TRUE(std::none_of(firstOld, after.end(), [&](const Record& r) { return Renewed(r, dates); }));
    EXPECT_EQ(testsupport::CheckFindings(Invsort()), "");
}

TEST_F(RewriteanTest, RecordIdsAboveTheRecordCountKeepTheGaugeInItsRange) {
    testsupport::CreateInvsort(Dir(), 10, kMadeOn);
    {
        components::TTARNISTable table;
        table.SetTableName(Invsort());
        table.SetExclusive(true);
        table.Open();
        table.First();
        for (int i = 0; i < 6; ++i) table.Delete();
    }
    SeededRandomSource random(4);
    Run(random);
    EXPECT_EQ(messages.Boxes(), std::vector<Box>{kCreated});
    EXPECT_EQ(Gauge().maximum(), 4);
    EXPECT_EQ(Gauge().value(), 4);
}

}  // namespace
}  // namespace app
