#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/blob/BlobBuffer.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"
#include "tests/sql/RowReader.h"

namespace {

using sqltest::Bound;
using sqltest::ReadAll;
using sqltest::Row;

using sqltest::Sorted;
std::string Cell(std::optional<std::int32_t> v) {
    return v ? std::to_string(*v) : "-";
}

// A: ID, V. B: ID, AID (to A), W. C: ID, BID (to B). D: ID, AID. Rows kept here too, for the plain scans
// that give the expected joins.
struct ARow {
    std::int32_t id, v;
};
struct BRow {
    std::int32_t id, aid, w;
};
struct CRow {
    std::int32_t id, bid;
};

const std::vector<ARow> kA = {{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 50}};
// A.ID 1 and 4 have no B, 2 and 5 one, 3 two.
const std::vector<BRow> kB = {{1, 2, 7}, {2, 3, 8}, {3, 3, 9}, {4, 5, 7}, {5, 9, 1}};
// B 2 and 4 have a C, B 3 has two.
const std::vector<CRow> kC = {{1, 2}, {2, 3}, {3, 3}, {4, 4}};

class Execute : public enginetest::TableTest {
protected:
    void SetUp() override {
        Create("A", {"ID", "V"}, true, [](auto& rows) {
            for (const ARow& r : kA) rows.push_back({sqltest::Int(r.id), sqltest::Int(r.v)});
        });
        Create("B", {"ID", "AID", "W"}, true, [](auto& rows) {
            for (const BRow& r : kB)
                rows.push_back({sqltest::Int(r.id), sqltest::Int(r.aid), sqltest::Int(r.w)});
        });
        // C's link column has no index: its link filter is built by evaluating every record.
        Create("C", {"ID", "BID"}, false, [](auto& rows) {
            for (const CRow& r : kC) rows.push_back({sqltest::Int(r.id), sqltest::Int(r.bid)});
        });
    }

    static void Create(const std::string& name, const std::vector<std::string>& fields, bool indexed,
                       const std::function<void(std::vector<std::vector<sqltest::Cell>>&)>& fill) {
        std::vector<engine::TFieldDesc> defs;
        for (std::size_t i = 0; i < fields.size(); ++i)
            defs.push_back(
                sqltest::FieldDef(static_cast<std::uint16_t>(i + 1), fields[i], engine::FieldTypeInteger));
        std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
        if (indexed && fields.size() > 2) indexes.push_back(enginetest::IndexDef("By2", {2}));
        enginetest::CreateTable(name, defs, indexes);
        std::vector<std::vector<sqltest::Cell>> rows;
        fill(rows);
        sqltest::InsertRows(name, rows);
    }

    // The rows of the statement's result, sorted.
    static std::vector<Row> Rows(const std::string& text, bool live = false) {
        auto query = Bound(text, live);
        engine::TDataFile* result = nullptr;
        EXPECT_EQ(query->Execute(result), 0) << text;
        if (result == nullptr) return {};
        EXPECT_TRUE(result->QueryOwned());
        return Sorted(ReadAll(*result));
    }
};

TEST_F(Execute, ALiveSelectIsTheFilteredSourceTable) {
    auto query = Bound("SELECT * FROM A WHERE V >= 20 AND V < 50", true);
    ASSERT_TRUE(query->LiveResult);
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    EXPECT_EQ(result, query->Sources.front()->Table.get());
    EXPECT_TRUE(result->QueryOwned());
    std::vector<Row> expected;
    for (const ARow& r : kA)
        if (r.v >= 20 && r.v < 50) expected.push_back({Cell(r.id), Cell(r.v)});
    EXPECT_EQ(ReadAll(*result), expected);
    EXPECT_TRUE(query->Executed);
}

TEST_F(Execute, ACopiedSelectGivesWhatAPlainScanGives) {
    struct Case {
        std::string text;
        std::function<bool(const BRow&)> keep;
    };
    const std::vector<Case> cases = {
        {"SELECT ID, AID, W FROM B", [](const BRow&) { return true; }},
        {"SELECT ID, AID, W FROM B WHERE AID = 3", [](const BRow& r) { return r.aid == 3; }},
        {"SELECT ID, AID, W FROM B WHERE W > 7 OR ID = 1",
         [](const BRow& r) { return r.w > 7 || r.id == 1; }},
        {"SELECT ID, AID, W FROM B WHERE AID > 100", [](const BRow&) { return false; }},
    };
    for (const Case& c : cases) {
        std::vector<Row> expected;
        for (const BRow& r : kB)
            if (c.keep(r)) expected.push_back({Cell(r.id), Cell(r.aid), Cell(r.w)});
        EXPECT_EQ(Rows(c.text), Sorted(expected)) << c.text;
    }
}

TEST_F(Execute, ARunTwiceGivesItsRowsOnce) {
    auto query = Bound("SELECT ID FROM B WHERE W = 7");
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    ASSERT_EQ(query->Execute(result), 0);
    EXPECT_EQ(Sorted(ReadAll(*result)), (std::vector<Row>{{"1"}, {"4"}}));
}

TEST_F(Execute, AnExpressionWithoutAValueIsStoredAsNull) {
    EXPECT_EQ(Rows("SELECT ID, W / (AID - 3) AS Q FROM B WHERE ID <= 2"),
              (std::vector<Row>{{"1", "-7"}, {"2", "-"}}));
}

// Inner and left joins over 0, 1 and 2 matches, against nested loops over the rows.
TEST_F(Execute, JoinsGiveWhatNestedScansGive) {
    for (const bool left : {false, true}) {
        std::vector<Row> expected;
        for (const ARow& a : kA) {
            bool matched = false;
            for (const BRow& b : kB)
                if (b.aid == a.id) {
                    expected.push_back({Cell(a.id), Cell(b.id), Cell(b.w)});
                    matched = true;
                }
            if (left && !matched) expected.push_back({Cell(a.id), "-", "-"});
        }
        const std::string text = std::string("SELECT A.ID, B.ID, B.W FROM A ") +
                                 (left ? "LEFT JOIN" : "INNER JOIN") + " B ON A.ID = B.AID";
        EXPECT_EQ(Rows(text), Sorted(expected)) << text;
    }
    std::vector<Row> comma;
    for (const ARow& a : kA)
        for (const BRow& b : kB)
            if (b.aid == a.id && b.w > 7) comma.push_back({Cell(a.id), Cell(b.id)});
    EXPECT_EQ(Rows("SELECT A.ID, B.ID FROM A, B WHERE A.ID = B.AID AND B.W > 7"), Sorted(comma));
}

// A -> B -> C with B and C on the null side of a right join: an A row without a complete chain is
// NULL for both, not what they last held, also when B has rows but none that reaches a C.
TEST_F(Execute, AnUnmatchedRowInAChainIsNullBelowIt) {
    std::vector<Row> outer;
    std::vector<Row> inner;
    for (const ARow& a : kA) {
        bool matched = false;
        for (const BRow& b : kB)
            for (const CRow& c : kC)
                if (b.aid == a.id && c.bid == b.id) {
                    inner.push_back({Cell(a.id), Cell(b.id), Cell(c.id)});
                    matched = true;
                }
        if (!matched) outer.push_back({Cell(a.id), "-", "-"});
    }
    outer.insert(outer.end(), inner.begin(), inner.end());
    // A.ID 1 and 4 have no B, A.ID 2's one B has no C: three unmatched rows, the rows between them matched.
    ASSERT_EQ(outer.size() - inner.size(), 3u);
    EXPECT_EQ(Rows("SELECT A.ID, B.ID, C.ID FROM B JOIN C ON B.ID = C.BID RIGHT JOIN A ON A.ID = B.AID"),
              Sorted(outer));
    EXPECT_EQ(Rows("SELECT A.ID, B.ID, C.ID FROM A JOIN B ON A.ID = B.AID JOIN C ON B.ID = C.BID"),
              Sorted(inner));
}

// Three links from A give every combination of their matches, in nested order: the first link outermost.
TEST_F(Execute, LinksFromOneTableGiveEveryCombinationInNestedOrder) {
    auto query = Bound(
        "SELECT A.ID, B.ID, C.ID, X.ID FROM A JOIN B ON A.ID = B.AID JOIN C ON A.ID = C.BID "
        "JOIN B X ON A.ID = X.AID");
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    std::vector<Row> expected;
    for (const ARow& a : kA)
        for (const BRow& b : kB)
            for (const CRow& c : kC)
                for (const BRow& x : kB)
                    if (b.aid == a.id && c.bid == a.id && x.aid == a.id)
                        expected.push_back({Cell(a.id), Cell(b.id), Cell(c.id), Cell(x.id)});
    EXPECT_EQ(ReadAll(*result), expected);
}

TEST_F(Execute, ProgressCountsOuterRowsAndAnAbortKeepsTheRowsSoFar) {
    std::vector<std::vector<sqltest::Cell>> rows;
    for (std::int32_t id = 6; id <= 10; ++id) rows.push_back({sqltest::Int(id), sqltest::Int(id * 10)});
    sqltest::InsertRows("A", rows);
    for (const int abortAt : {0, 4}) {
        auto query = Bound("SELECT ID FROM A");
        std::vector<std::pair<std::int32_t, std::int32_t>> calls;
        query->SetProgressCallback([&](std::int32_t current, std::int32_t percent, bool& abort) {
            calls.emplace_back(current, percent);
            abort = current == abortAt;
        });
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(query->Execute(result), 0);
        std::vector<std::pair<std::int32_t, std::int32_t>> expected;
        for (std::int32_t n = 2; n <= (abortAt == 0 ? 10 : abortAt); ++n) expected.emplace_back(n, n * 10);
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(ReadAll(*result).size(), abortAt == 0 ? 10u : 4u);
    }
}

using ExecuteBlobs = enginetest::TableTest;

// A large-object column is copied byte for byte, an empty one stays NULL, and the source rows get their
// references back: a second run copies the same values.
TEST_F(ExecuteBlobs, ALargeObjectColumnCopiesByteForByte) {
    std::vector<engine::TFieldDesc> fields = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                              sqltest::FieldDef(2, "M", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("L", fields, indexes);
    std::vector<std::string> values = {std::string(), std::string(10, 'a'), std::string()};
    for (int i = 0; i < 3000; ++i) values[2].push_back(static_cast<char>(i * 7 % 251));
    {
        engine::TDataFile table;
        table.SetFileName("L");
        table.Open();
        std::vector<std::uint8_t> image(table.GetRecordBufferSize());
        for (std::size_t i = 0; i < values.size(); ++i) {
            table.InitRecord(image);
            const auto id = static_cast<std::int32_t>(i + 1);
            table.SetField(false, 1, image, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&id), 4));
            if (!values[i].empty()) {
                ASSERT_EQ(table.OpenBlob(false, 2, engine::BlobOpenReadWrite, image), 0);
                const std::vector<std::uint8_t> bytes(values[i].begin(), values[i].end());
                ASSERT_EQ(table.WriteBlob(false, 2, bytes, static_cast<std::int32_t>(bytes.size()), 0, image), 0);
            }
            table.InsertRecord(image, true);
            table.FreeBlobs();
        }
    }
    // Each row's M as the result holds it, "" for NULL.
    const auto readValues = [](engine::TDataFile& result) {
        std::vector<std::string> read;
        std::vector<std::uint8_t> image(result.GetRecordBufferSize());
        result.SetToBegin();
        while (result.GetNextRecord(image) == 0) {
            if (result.GetField(true, 2, image)) {
                read.emplace_back();
                continue;
            }
            EXPECT_EQ(result.OpenBlob(true, 2, engine::BlobOpenRead, image), 0);
            std::int32_t size = 0;
            EXPECT_EQ(result.GetBlobSize(true, 2, size, image), 0);
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
            std::int32_t got = 0;
            EXPECT_EQ(result.ReadBlob(true, 2, got, size, bytes, 0, image), 0);
            read.emplace_back(bytes.begin(), bytes.end());
            result.FreeBlobs();
        }
        return read;
    };
    auto query = Bound("SELECT ID, M FROM L");
    for (int run = 0; run < 2; ++run) {
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(query->Execute(result), 0);
        EXPECT_EQ(readValues(*result), values);
    }
    // As the inner table of a join, whose later outer rows read L's rows from the join's key table.
    std::vector<engine::TFieldDesc> outer = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                             sqltest::FieldDef(2, "N", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> outerIndexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("K", outer, outerIndexes);
    std::vector<std::vector<sqltest::Cell>> rows;
    std::vector<std::string> joined;
    for (std::int32_t id = 1; id <= 12; ++id) {
        rows.push_back({sqltest::Int(id), sqltest::Int(id % 3 + 1)});
        joined.push_back(values[static_cast<std::size_t>(id % 3)]);
    }
    sqltest::InsertRows("K", rows);
    auto join = Bound("SELECT K.ID, L.M FROM K JOIN L ON K.N = L.ID");
    for (int run = 0; run < 2; ++run) {
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(join->Execute(result), 0);
        EXPECT_EQ(readValues(*result), joined);
    }
}

// WITH LOCKS holds another program's writer off the source tables for the whole run, and lets it in again
// afterwards; without it the writer gets in between rows.
TEST_F(Execute, WithLocksHoldsAnotherWriterOffDuringTheRun) {
    enginetest::HolderProcess holder(enginetest::HolderProcess::TableMode{}, "A");
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    ASSERT_EQ(holder.Send("retries 0 0"), "ok");
    for (const bool locks : {true, false}) {
        auto query = Bound(std::string("SELECT ID FROM A WHERE V > 0") + (locks ? " WITH LOCKS" : ""));
        std::vector<std::string> replies;
        query->SetProgressCallback([&](std::int32_t current, std::int32_t, bool&) {
            if (current != 3) return;
            const std::string reply = holder.Send("beginwrite");
            if (reply == "ok") holder.Send("endwrite");
            replies.push_back(reply);
        });
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(query->Execute(result), 0);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies.front() != "ok", locks) << replies.front();
        EXPECT_EQ(holder.Send("beginwrite"), "ok");
        EXPECT_EQ(holder.Send("endwrite"), "ok");
    }
}

}  // namespace
