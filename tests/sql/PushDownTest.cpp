#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/table/Filter.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"

namespace {

using sqltest::Bound;

// One row of N and M: ID, I integer, S smallint, F float, NAME string 10.
struct Row {
    std::int32_t id;
    std::int32_t i;
    std::int16_t s;
    double f;
    std::string name;
};

const std::vector<std::string> kNames = {"SMITH", "SMALL", "SAM", "SM", "JONES", "S%M", "SMX", "BROWN"};

std::vector<Row> MakeRows() {
    std::vector<Row> rows;
    for (std::int32_t id = 1; id <= 40; ++id)
        rows.push_back({id, id % 7, static_cast<std::int16_t>(id % 5), id * 0.5, kNames[id % kNames.size()]});
    return rows;
}

// N has indexes on I, S and NAME; M holds the same rows without secondary indexes.
class PushDown : public enginetest::TableTest {
protected:
    void SetUp() override {
        for (const bool indexed : {true, false}) {
            const std::string name = indexed ? "N" : "M";
            std::vector<engine::TFieldDesc> fields = {
                sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                sqltest::FieldDef(2, "I", engine::FieldTypeInteger),
                sqltest::FieldDef(3, "S", engine::FieldTypeSmallInt),
                sqltest::FieldDef(4, "F", engine::FieldTypeFloat),
                sqltest::FieldDef(5, "NAME", engine::FieldTypeString, 10)};
            std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
            if (indexed) {
                indexes.push_back(enginetest::IndexDef("ByI", {2}));
                indexes.push_back(enginetest::IndexDef("ByS", {3}));
                indexes.push_back(enginetest::IndexDef("ByName", {5}));
            }
            enginetest::CreateTable(name, fields, indexes);
            std::vector<std::vector<sqltest::Cell>> cells;
            for (const Row& row : rows)
                cells.push_back({sqltest::Int(row.id), sqltest::Int(row.i), sqltest::Small(row.s),
                                 sqltest::Real(row.f), sqltest::Text(row.name)});
            sqltest::InsertRows(name, cells);
        }
    }

    // The IDs the single-table statement gives after the run's push-down: visible records that pass the
    // residual condition.
    std::vector<std::int32_t> Run(const std::string& text, bool live = false) {
        auto query = Bound(text, live);
        if (!query->Sources.empty() && !query->Sources[0]->Table->IsOpen()) return {};
        query->CheckWhereCondition();
        query->CloseAllSourceFilters();
        query->ApplyWhereToSources();
        return sqltest::VisibleIds(*query, 0, true);
    }

    std::vector<std::int32_t> Expected(const std::function<bool(const Row&)>& keep) const {
        std::vector<std::int32_t> ids;
        for (const Row& row : rows)
            if (keep(row)) ids.push_back(row.id);
        return ids;
    }

    const std::vector<Row> rows = MakeRows();
};

// A random condition over one row, as text and as the truth it must have.
struct Condition {
    std::string text;
    std::function<bool(const Row&)> holds;
};

Condition RandomCondition(std::mt19937& random, int depth) {
    const int pick = static_cast<int>(random() % (depth > 0 ? 9 : 6));
    const std::int32_t c = static_cast<std::int32_t>(random() % 8);
    switch (pick) {
        case 0:
            return {"I = " + std::to_string(c), [c](const Row& r) { return r.i == c; }};
        case 1:
            return {std::to_string(c) + " < I", [c](const Row& r) { return r.i > c; }};
        case 2:
            return {"S <= " + std::to_string(c % 5), [c](const Row& r) { return r.s <= c % 5; }};
        case 3:
            return {"F >= " + std::to_string(c) + ".5", [c](const Row& r) { return r.f >= c + 0.5; }};
        case 4: {
            const std::string& name = kNames[c];
            return {"NAME = '" + name + "'", [name](const Row& r) { return r.name == name; }};
        }
        case 5:
            return {"I BETWEEN 2 AND " + std::to_string(c),
                    [c](const Row& r) { return r.i >= 2 && r.i <= c; }};
        case 6: {
            Condition a = RandomCondition(random, depth - 1);
            Condition b = RandomCondition(random, depth - 1);
            return {"(" + a.text + " AND " + b.text + ")",
                    [a, b](const Row& r) { return a.holds(r) && b.holds(r); }};
        }
        case 7: {
            Condition a = RandomCondition(random, depth - 1);
            Condition b = RandomCondition(random, depth - 1);
            return {"(" + a.text + " OR " + b.text + ")",
                    [a, b](const Row& r) { return a.holds(r) || b.holds(r); }};
        }
        default: {
            Condition a = RandomCondition(random, depth - 1);
            return {"NOT (" + a.text + ")", [a](const Row& r) { return !a.holds(r); }};
        }
    }
}

TEST_F(PushDown, FiltersAndResidualGiveWhatAScanGives) {
    std::mt19937 random(4711);
    for (int round = 0; round < 60; ++round) {
        const Condition condition = RandomCondition(random, 2);
        const std::vector<std::int32_t> expected = Expected(condition.holds);
        for (const char* table : {"N", "M"})
            for (const bool live : {false, true}) {
                const std::string text = std::string("SELECT ID FROM ") + table + " WHERE " + condition.text;
                EXPECT_EQ(Run(text, live), expected) << text << (live ? " live" : "");
            }
    }
}

// Conditions the Part's push-down left alone, and constants that do not fit the column.
TEST_F(PushDown, EveryConditionFiltersAndConstantsConvertOnlyWhenExact) {
    struct Case {
        std::string where;
        std::function<bool(const Row&)> keep;
    };
    const std::vector<Case> cases = {
        {"I = 1 + 2", [](const Row& r) { return r.i == 3; }},
        {"NAME = UPPER('sam')", [](const Row& r) { return r.name == "SAM"; }},
        {"FALSE", [](const Row&) { return false; }},
        // An OR one of whose operands names no table is one condition, not two.
        {"I = 1 OR 2 = 2", [](const Row&) { return true; }},
        {"I = 1 OR 2 = 3", [](const Row& r) { return r.i == 1; }},
        {"1 = 1", [](const Row&) { return true; }},
        {"I = 1.5", [](const Row&) { return false; }},
        {"I >= 1.5", [](const Row& r) { return r.i >= 2; }},
        {"I < 1.5", [](const Row& r) { return r.i <= 1; }},
        {"I IN (1.5, 2)", [](const Row& r) { return r.i == 2; }},
        {"I BETWEEN 0.5 AND 1.5", [](const Row& r) { return r.i == 1; }},
        {"S = 70000", [](const Row&) { return false; }},
        {"S < 70000", [](const Row&) { return true; }},
        {"F = 2", [](const Row& r) { return r.f == 2.0; }},
    };
    for (const Case& c : cases)
        for (const char* table : {"N", "M"})
            for (const bool live : {false, true}) {
                const std::string text = std::string("SELECT ID FROM ") + table + " WHERE " + c.where;
                EXPECT_EQ(Run(text, live), Expected(c.keep)) << text << (live ? " live" : "");
            }
}

TEST_F(PushDown, LeadingPartPatternsBecomePrefixCompares) {
    struct Case {
        std::string where;
        std::string filter;
        std::function<bool(const Row&)> keep;
    };
    const std::vector<Case> cases = {
        {"NAME = 'SM*'", "(N.NAME =[2] 'SM*')", [](const Row& r) { return r.name.rfind("SM", 0) == 0; }},
        {"NAME LIKE 'SM%'", "(N.NAME =[2] 'SM%')", [](const Row& r) { return r.name.rfind("SM", 0) == 0; }},
        {"NAME NOT LIKE 'SM%'", "(N.NAME <>[2] 'SM%')",
         [](const Row& r) { return r.name.rfind("SM", 0) != 0; }},
        {"NAME LIKE 'S%M'", "(N.NAME LIKE 'S%M')",
         [](const Row& r) { return r.name.size() >= 2 && r.name.front() == 'S' && r.name.back() == 'M'; }},
        {"NAME LIKE 'SM_'", "(N.NAME LIKE 'SM_')",
         [](const Row& r) { return r.name.size() == 3 && r.name.rfind("SM", 0) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const auto query = Bound("SELECT ID FROM N WHERE " + c.where, true);
        query->CheckWhereCondition();
        EXPECT_EQ(sqltest::Sql(query->RewriteForFilter(*query->WhereCondition).get()), c.filter);
        for (const char* table : {"N", "M"})
            EXPECT_EQ(Run(std::string("SELECT ID FROM ") + table + " WHERE " + c.where), Expected(c.keep))
                << table;
    }
}

// Without RequestLive a single-table condition no index serves is evaluated on each row; live, or served
// by an index, it is a filter.
TEST_F(PushDown, UnservedConditionsOfACopiedResultGoToTheResidual) {
    struct Case {
        std::string text;
        bool live;
        std::string residual;
        int filters;
    };
    const std::vector<Case> cases = {
        {"SELECT ID FROM M WHERE I = 3", false, "(M.I = 3)", 0},
        {"SELECT ID FROM M WHERE I = 3", true, "-", 1},
        {"SELECT ID FROM N WHERE I = 3", false, "-", 1},
        {"SELECT ID FROM N WHERE I = 3 AND F > 2", false, "(N.F > 2f)", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto query = Bound(c.text, c.live);
        query->CheckWhereCondition();
        query->CloseAllSourceFilters();
        query->ApplyWhereToSources();
        EXPECT_EQ(sqltest::Sql(query->ResidualCondition.get()), c.residual);
        EXPECT_EQ(query->HasResidual, c.residual != "-");
        EXPECT_EQ(query->Sources[0]->Table->Bitmaps().GetFilterCount(), c.filters);
        EXPECT_EQ(query->HasWhere, c.filters > 0);
    }
}

// Gives the statement's parameters these integers, in order.
void SetIntegers(sql::TDataQuery& query, const std::vector<std::int32_t>& values) {
    std::vector<engine::TFieldDesc> descriptors;
    std::vector<std::uint8_t> buffer;
    for (const std::int32_t value : values) {
        engine::TFieldDesc descriptor;
        descriptor.FieldType = engine::FieldTypeInteger;
        descriptor.StoredSize = 4;
        descriptor.Offset = static_cast<std::uint16_t>(buffer.size());
        descriptors.push_back(descriptor);
        buffer.push_back(1);  // not NULL
        buffer.resize(buffer.size() + 4);
        std::memcpy(buffer.data() + buffer.size() - 4, &value, 4);
    }
    ASSERT_EQ(query.SetParams(descriptors, buffer), 0);
}

// Each run filters with the values set for it; the statement's own parameter nodes stay where they were.
TEST_F(PushDown, EveryRunUsesTheCurrentParameters) {
    for (const char* table : {"M", "N"}) {
        SCOPED_TRACE(table);
        auto query = Bound(std::string("SELECT ID FROM ") + table + " WHERE I = ?");
        ASSERT_EQ(query->Params.size(), 1U);
        for (const std::int32_t value : {3, 5, 3}) {
            SetIntegers(*query, {value});
            query->CheckWhereCondition();
            query->CloseAllSourceFilters();
            query->ApplyWhereToSources();
            EXPECT_EQ(sqltest::VisibleIds(*query, 0, true),
                      Expected([value](const Row& r) { return r.i == value; }))
                << value;
        }
    }
}

// A parameter in any position is planned as the value it stands for: served by an index where the written
// value would be, on each row where it would not.
TEST_F(PushDown, ParametersArePlannedAsTheirValues) {
    struct Case {
        std::string withParams;
        std::vector<std::int32_t> values;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"I = ?", {3}, "I = 3"},
        {"I > ?", {4}, "I > 4"},
        {"? < I", {4}, "4 < I"},
        {"? = I", {2}, "2 = I"},
        {"I BETWEEN ? AND ?", {2, 4}, "I BETWEEN 2 AND 4"},
        {"I IN (?, ?)", {1, 5}, "I IN (1, 5)"},
        {"I >= ? AND F < ?", {3, 12}, "I >= 3 AND F < 12"},
    };
    struct Plan {
        bool residual;
        int filters;
        std::vector<std::int32_t> ids;
    };
    const auto planned = [](sql::TDataQuery& query) {
        query.CheckWhereCondition();
        query.CloseAllSourceFilters();
        query.ApplyWhereToSources();
        return Plan{query.HasResidual, query.Sources[0]->Table->Bitmaps().GetFilterCount(),
                    sqltest::VisibleIds(query, 0, true)};
    };
    for (const Case& c : cases) {
        for (const char* table : {"N", "M"}) {
            for (const bool live : {false, true}) {
                SCOPED_TRACE(c.withParams + " on " + table + (live ? " live" : ""));
                const std::string select = std::string("SELECT ID FROM ") + table + " WHERE ";
                auto withParams = Bound(select + c.withParams, live);
                SetIntegers(*withParams, c.values);
                const Plan got = planned(*withParams);
                auto written = Bound(select + c.written, live);
                const Plan want = planned(*written);
                EXPECT_EQ(got.residual, want.residual);
                EXPECT_EQ(got.filters, want.filters);
                EXPECT_EQ(got.ids, want.ids);
            }
        }
    }
}

}  // namespace
