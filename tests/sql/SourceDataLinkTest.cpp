#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/table/Filter.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"

namespace {

using sqltest::Bound;
using sqltest::Int;
using sqltest::Null;

// O (outer): ID, X integer, K integer, F float. I (inner): ID, X integer indexed, Z integer.
class LinkFilters : public enginetest::TableTest {
protected:
    void SetUp() override {
        std::vector<engine::TFieldDesc> outer = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                                 sqltest::FieldDef(2, "X", engine::FieldTypeInteger),
                                                 sqltest::FieldDef(3, "K", engine::FieldTypeInteger),
                                                 sqltest::FieldDef(4, "F", engine::FieldTypeFloat)};
        std::vector<engine::TIndexDescriptor> outerIndexes = {enginetest::IndexDef("", {1})};
        enginetest::CreateTable("O", outer, outerIndexes);
        std::vector<engine::TFieldDesc> inner = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                                 sqltest::FieldDef(2, "X", engine::FieldTypeInteger),
                                                 sqltest::FieldDef(3, "Z", engine::FieldTypeInteger)};
        std::vector<engine::TIndexDescriptor> innerIndexes = {enginetest::IndexDef("", {1}),
                                                              enginetest::IndexDef("ByX", {2})};
        enginetest::CreateTable("I", inner, innerIndexes);
        sqltest::InsertRows("O", {{Int(1), Int(7), Int(1), sqltest::Real(1.5)},
                                  {Int(2), Null(), Int(0), sqltest::Real(2.0)},
                                  {Int(3), Int(2), Int(1), sqltest::Real(-1)}});
        std::vector<std::vector<sqltest::Cell>> rows;
        for (std::int32_t id = 1; id <= 12; ++id)
            rows.push_back({Int(id), id % 4 == 0 ? Null() : Int(id % 8), Int(id % 3)});
        sqltest::InsertRows("I", rows);
    }

    // The inner rows a scan gives for an outer X: equal X (NULL matching NULL), Z = 1 when asked.
    static std::vector<std::int32_t> Scan(std::optional<std::int32_t> x, bool onlyZ1) {
        std::vector<std::int32_t> ids;
        for (std::int32_t id = 1; id <= 12; ++id) {
            const std::optional<std::int32_t> ix = id % 4 == 0 ? std::nullopt : std::optional(id % 8);
            if (ix == x && (!onlyZ1 || id % 3 == 1)) ids.push_back(id);
        }
        return ids;
    }

    // Moves the outer table to its n-th record (1-based) and copies it into its row.
    static void OuterRow(sql::TDataQuery& query, int n) {
        sql::TSourceDataFile& outer = *query.Sources[0];
        outer.Table->SetToBegin();
        for (int i = 0; i < n; ++i) ASSERT_EQ(outer.Table->GetNextRecord(outer.RecordBuffer), 0);
    }
};

TEST_F(LinkFilters, EachOuterRowGivesTheInnerRowsAScanGives) {
    for (const bool narrowed : {false, true}) {
        SCOPED_TRACE(narrowed);
        const std::string text =
            std::string("SELECT O.ID FROM O, I WHERE I.X = O.X") + (narrowed ? " AND I.Z = 1" : "");
        const auto query = Bound(text);
        ASSERT_EQ(sqltest::Links(*query), "O>I inner (O.X = I.X)");
        query->CheckWhereCondition();
        query->CloseAllSourceFilters();
        query->ApplyWhereToSources();
        sql::TSourceDataLink& link = *query->Sources[0]->Links[0];
        const std::vector<std::optional<std::int32_t>> outerX = {7, std::nullopt, 2};
        for (int round = 0; round < 2; ++round)
            for (int n = 1; n <= 3; ++n) {
                OuterRow(*query, n);
                link.SetFilter();
                EXPECT_EQ(sqltest::VisibleIds(*query, 1), Scan(outerX[n - 1], narrowed)) << n;
            }
        // A second run drops the link's filter with the rest, its handle cleared first.
        query->CloseAllSourceFilters();
        EXPECT_EQ(link.FilterHandle, nullptr);
        EXPECT_EQ(query->Sources[1]->Table->Bitmaps().GetFilterCount(), 0);
        query->ApplyWhereToSources();
        OuterRow(*query, 1);
        link.SetFilter();
        EXPECT_EQ(sqltest::VisibleIds(*query, 1), Scan(7, narrowed));
    }
}

// A condition on the preserved side of an outer join holds or fails for the outer row as a whole.
TEST_F(LinkFilters, AFalsePreservedSideConditionLeavesNoInnerRow) {
    const auto query = Bound("SELECT O.ID FROM O LEFT JOIN I ON O.X = I.X AND O.K = 1");
    ASSERT_EQ(sqltest::Links(*query), "O>I left ((O.X = I.X) AND (O.K = 1))");
    query->CloseAllSourceFilters();
    query->ApplyWhereToSources();
    sql::TSourceDataLink& link = *query->Sources[0]->Links[0];
    OuterRow(*query, 1);  // K = 1
    link.SetFilter();
    EXPECT_EQ(sqltest::VisibleIds(*query, 1), Scan(7, false));
    OuterRow(*query, 2);  // K = 0
    link.SetFilter();
    EXPECT_TRUE(sqltest::VisibleIds(*query, 1).empty());
}

// An outer value of another type becomes the inner column's type only when exact; then an index serves it.
TEST_F(LinkFilters, OuterValuesConvertOnlyWhenExact) {
    const auto query = Bound("SELECT O.ID FROM O, I WHERE O.F = I.X");
    query->CloseAllSourceFilters();
    query->ApplyWhereToSources();
    sql::TSourceDataLink& link = *query->Sources[0]->Links[0];
    OuterRow(*query, 1);  // 1.5
    link.SetFilter();
    EXPECT_TRUE(sqltest::VisibleIds(*query, 1).empty());
    OuterRow(*query, 2);  // 2.0
    link.SetFilter();
    EXPECT_EQ(sqltest::VisibleIds(*query, 1), Scan(2, false));
    ASSERT_NE(link.FilterHandle, nullptr);
    EXPECT_EQ(link.FilterHandle->OptLevel(), 0);
}

}  // namespace
