#include "sql/JoinKeyTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/expr/ExprOperators.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"
#include "tests/sql/RowReader.h"

namespace {

using sqltest::Int;
using sqltest::Null;
using sqltest::Real;
using sqltest::Text;
using Kind = sql::TJoinKeyTable::KeyKind;

engine::ExprValue Value(std::uint8_t type, const std::function<void(engine::ExprValue&)>& set) {
    engine::ExprValue value;
    value.FieldType = type;
    set(value);
    return value;
}

// Two values of one kind share a key exactly when the engine's "=" holds for them; a value of a kind without
// a key (NaN) equals nothing.
TEST(JoinKeys, KeysStandForTheEnginesEquality) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<engine::ExprValue> values = {
        Value(engine::FieldTypeInteger, [](auto& v) { v.SetInt32(3); }),
        Value(engine::FieldTypeSmallInt, [](auto& v) { v.SetInt16(3); }),
        Value(engine::FieldTypeWord, [](auto& v) { v.SetUInt16(3); }),
        Value(engine::FieldTypeInteger, [](auto& v) { v.SetInt32(-1); }),
        Value(engine::FieldTypeLongWord, [](auto& v) { v.SetUInt32(0xFFFFFFFFu); }),
        Value(engine::FieldTypeFloat, [](auto& v) { v.SetDouble(0.0); }),
        Value(engine::FieldTypeFloat, [](auto& v) { v.SetDouble(-0.0); }),
        Value(engine::FieldTypeFloat, [](auto& v) { v.SetDouble(3.0); }),
        Value(engine::FieldTypeFloat, [&](auto& v) { v.SetDouble(nan); }),
        Value(engine::FieldTypeDateTime, [](auto& v) { v.SetDouble(3.0); }),
        Value(engine::FieldTypeDate, [](auto& v) { v.SetInt32(3); }),
        Value(engine::FieldTypeTime, [](auto& v) { v.SetInt32(3); }),
        Value(engine::FieldTypeString, [](auto& v) { v.SetText("ab"); }),
        Value(engine::FieldTypeString, [](auto& v) { v.SetText("AB"); }),
        Value(engine::FieldTypeString, [](auto& v) { v.SetText("ab "); }),
        Value(engine::FieldTypeString, [](auto& v) { v.SetText(""); }),
        Value(engine::FieldTypeBoolean, [](auto& v) { v.SetTruth(true); }),
        Value(engine::FieldTypeBoolean, [](auto& v) { v.SetTruth(false); }),
    };
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t j = 0; j < values.size(); ++j) {
            SCOPED_TRACE(testing::Message() << i << " = " << j);
            engine::ExprValue truth;
            truth.FieldType = engine::FieldTypeBoolean;
            engine::EvalBinaryOp(engine::opEqual, values[i], values[j], 0, 0, truth);
            Kind a = Kind::None;
            Kind b = Kind::None;
            std::string keyA;
            std::string keyB;
            const bool keyedA = sql::TJoinKeyTable::MakeKey(values[i], true, a, keyA);
            const bool keyedB = sql::TJoinKeyTable::MakeKey(values[j], true, b, keyB);
            ASSERT_NE(a, Kind::None);
            if (!keyedA || !keyedB) {
                EXPECT_FALSE(truth.IsTrue());
            } else if (a == b) {
                EXPECT_EQ(keyA == keyB, truth.IsTrue());
            }
        }
    // Decimals compare by their scaled values and strings under another collation by its order: no key.
    Kind kind = Kind::None;
    std::string key;
    EXPECT_FALSE(sql::TJoinKeyTable::MakeKey(Value(engine::FieldTypeBcd, [](auto& v) { v.SetInt64(1); }), true,
                                             kind, key));
    EXPECT_FALSE(sql::TJoinKeyTable::MakeKey(Value(engine::FieldTypeString, [](auto& v) { v.SetText("a"); }),
                                             false, kind, key));
}

// O: ID, X integer, S string, F float, with twelve rows (more than the filters an indexed inner table gets
// before its key table). I and J: ID, X integer, S string, the same ten rows in another order than their IDs;
// J has indexes on X and on S, I none. E is I without rows.
class KeyTableJoins : public enginetest::TableTest {
protected:
    struct OuterRow {
        std::int32_t id;
        std::optional<std::int32_t> x;
        std::optional<std::string> s;
        double f;
    };
    struct InnerRow {
        std::int32_t id;
        std::optional<std::int32_t> x;
        std::optional<std::string> s;
    };

    void SetUp() override {
        std::vector<engine::TFieldDesc> outer = {
            sqltest::FieldDef(1, "ID", engine::FieldTypeInteger), sqltest::FieldDef(2, "X", engine::FieldTypeInteger),
            sqltest::FieldDef(3, "S", engine::FieldTypeString, 10), sqltest::FieldDef(4, "F", engine::FieldTypeFloat)};
        std::vector<engine::TIndexDescriptor> outerIndexes = {enginetest::IndexDef("", {1})};
        enginetest::CreateTable("O", outer, outerIndexes);
        std::vector<std::vector<sqltest::Cell>> rows;
        for (const OuterRow& row : outer_)
            rows.push_back({Int(row.id), row.x ? Int(*row.x) : Null(), row.s ? Text(*row.s) : Null(), Real(row.f)});
        sqltest::InsertRows("O", rows);

        for (const char* name : {"I", "J", "E"}) {
            std::vector<engine::TFieldDesc> inner = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                                     sqltest::FieldDef(2, "X", engine::FieldTypeInteger),
                                                     sqltest::FieldDef(3, "S", engine::FieldTypeString, 10)};
            std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
            if (std::string(name) == "J") {
                indexes.push_back(enginetest::IndexDef("ByX", {2}));
                indexes.push_back(enginetest::IndexDef("ByS", {3}));
            }
            enginetest::CreateTable(name, inner, indexes);
        }
        rows.clear();
        for (const InnerRow& row : inner_)
            rows.push_back({Int(row.id), row.x ? Int(*row.x) : Null(), row.s ? Text(*row.s) : Null()});
        sqltest::InsertRows("I", rows);
        sqltest::InsertRows("J", rows);
    }

    // What the nested loop gives: per outer row in order, the matching inner rows in order, or with a left
    // join one row without an inner ID.
    std::vector<sqltest::Row> Expected(const std::function<bool(const OuterRow&, const InnerRow&)>& match,
                                       bool left, bool empty = false) const {
        std::vector<sqltest::Row> rows;
        for (const OuterRow& o : outer_) {
            bool matched = false;
            if (!empty)
                for (const InnerRow& i : inner_)
                    if (match(o, i)) {
                        rows.push_back({std::to_string(o.id), std::to_string(i.id)});
                        matched = true;
                    }
            if (left && !matched) rows.push_back({std::to_string(o.id), "-"});
        }
        return rows;
    }

    const std::vector<OuterRow> outer_ = {
        {1, 3, "ab", 3.0},       {2, std::nullopt, "AB", 1.5}, {3, 1, "x", 1.0},
        {4, 4, std::nullopt, 4.0}, {5, 3, "ab", 2.5},           {6, 2, "Ab", 2.0},
        {7, std::nullopt, "x", 7.0}, {8, 9, "zz", 9.0},         {9, 1, "AB", 1.0},
        {10, 3, std::nullopt, 3.0}, {11, 0, "q", 0.0},          {12, 2, "ab", -2.0},
    };
    // Duplicates, NULLs and letter case; the IDs out of order, so that the order of the records shows.
    const std::vector<InnerRow> inner_ = {
        {7, 2, "ab"},           {3, 3, "AB"}, {10, std::nullopt, "ab"}, {1, 1, std::nullopt}, {5, 3, "x"},
        {9, 4, "Ab"},           {2, 2, "ab"}, {8, std::nullopt, "zz"},  {4, 3, std::nullopt}, {6, 1, "ab"},
    };
};

TEST_F(KeyTableJoins, GiveTheNestedLoopsRowsInItsOrder) {
    using Match = std::function<bool(const OuterRow&, const InnerRow&)>;
    struct Case {
        const char* text;  // "?" stands for the inner table
        Match match;
        bool left;
    };
    // NULL = NULL holds; strings compare case-sensitively; a float equals an integer of its value.
    const std::vector<Case> cases = {
        {"SELECT O.ID, ?.ID FROM O JOIN ? ON O.X = ?.X", [](auto& o, auto& i) { return o.x == i.x; }, false},
        {"SELECT O.ID, ?.ID FROM O LEFT JOIN ? ON O.X = ?.X", [](auto& o, auto& i) { return o.x == i.x; }, true},
        {"SELECT O.ID, ?.ID FROM O JOIN ? ON O.S = ?.S", [](auto& o, auto& i) { return o.s == i.s; }, false},
        {"SELECT O.ID, ?.ID FROM O LEFT JOIN ? ON O.X = ?.X AND O.ID < ?.ID",
         [](auto& o, auto& i) { return o.x == i.x && o.id < i.id; }, true},
        {"SELECT O.ID, ?.ID FROM O JOIN ? ON O.F = ?.X",
         [](auto& o, auto& i) { return i.x && static_cast<double>(*i.x) == o.f; }, false},
        {"SELECT O.ID, ?.ID FROM O, ? WHERE ?.X = O.X + 1",
         [](auto& o, auto& i) { return (!o.x && !i.x) || (o.x && i.x && *i.x == *o.x + 1); }, false},
    };
    for (const Case& item : cases) {
        for (const std::string inner : {"I", "J"}) {
            std::string text = item.text;
            for (std::size_t at = text.find('?'); at != std::string::npos; at = text.find('?'))
                text.replace(at, 1, inner);
            SCOPED_TRACE(text);
            const auto query = sqltest::Bound(text);
            // A second run gathers the inner rows again.
            for (int run = 0; run < 2; ++run) {
                engine::TDataFile* result = nullptr;
                ASSERT_EQ(query->Execute(result), 0);
                ASSERT_NE(result, nullptr);
                EXPECT_EQ(sqltest::ReadAll(*result), Expected(item.match, item.left));
                // The rows came from the key table: the inner table keeps no link filter.
                EXPECT_EQ(query->Sources[1]->Table->Bitmaps().GetFilterCount(), 0);
            }
        }
    }
}

TEST_F(KeyTableJoins, AnEmptyInnerTableLeavesEveryOuterRowUnmatched) {
    const auto query = sqltest::Bound("SELECT O.ID, E.ID FROM O LEFT JOIN E ON O.X = E.X");
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    EXPECT_EQ(sqltest::ReadAll(*result), Expected([](auto&, auto&) { return false; }, true, true));
    const auto inner = sqltest::Bound("SELECT O.ID, E.ID FROM O JOIN E ON O.X = E.X");
    ASSERT_EQ(inner->Execute(result), 0);
    EXPECT_TRUE(sqltest::ReadAll(*result).empty());
}

// The inner table's own conditions narrow what the key table holds.
TEST_F(KeyTableJoins, HoldOnlyWhatTheInnerTablesFiltersPass) {
    for (const std::string inner : {"I", "J"}) {
        const auto query = sqltest::Bound("SELECT O.ID, " + inner + ".ID FROM O JOIN " + inner + " ON O.X = " +
                                          inner + ".X WHERE " + inner + ".ID > 4");
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(query->Execute(result), 0);
        EXPECT_EQ(sqltest::ReadAll(*result),
                  Expected([](auto& o, auto& i) { return o.x == i.x && i.id > 4; }, false));
    }
}

}  // namespace
