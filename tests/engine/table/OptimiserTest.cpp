#include "engine/table/Optimiser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/index/IndexFile.h"
#include "engine/index/KeyInterval.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/table/ReadGuard.h"
#include "engine/table/Record.h"
#include "engine/values/InstalledLocales.h"
#include "tests/engine/support/ExprBuilders.h"
#include "tests/engine/support/LocaleDoubles.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using namespace exprtest;
using engine::SlotNumber;
using engine::TDataFile;
using engine::TFilter;
using Records = std::vector<std::uint32_t>;

// "o": ID (primary), NAME (5 characters, case-sensitive index), CNAME (case-insensitive index only), FLAG
// (boolean), UNS (32-bit unsigned), MONEY (BCD at scale 2), OWN (its index descending on its own field only),
// P1 and P2 (one index on both), REAL (float, wholly descending index).
enum Field : std::uint16_t { ID = 1, NAME, CNAME, FLAG, UNS, MONEY, OWN, P1, P2, REAL };

void CreateO(bool primary, const TableOptions& locale = {}) {
    using namespace engine;
    std::vector<TFieldDesc> fields = {
        FieldDef(ID, "ID", FieldTypeInteger),          FieldDef(NAME, "NAME", FieldTypeString, 5),
        FieldDef(CNAME, "CNAME", FieldTypeString, 10), FieldDef(FLAG, "FLAG", FieldTypeBoolean),
        FieldDef(UNS, "UNS", FieldTypeLongWord),       FieldDef(MONEY, "MONEY", FieldTypeBcd, 0, 2),
        FieldDef(OWN, "OWN", FieldTypeSmallInt),       FieldDef(P1, "P1", FieldTypeInteger),
        FieldDef(P2, "P2", FieldTypeInteger),          FieldDef(REAL, "REAL", FieldTypeFloat)};
    TIndexDescriptor caseless = IndexDef("ByCName", {CNAME});
    caseless.CaseInsensitive = 1;
    TIndexDescriptor own = IndexDef("ByOwn", {OWN});
    own.FieldDescending[0] = 1;
    TIndexDescriptor down = IndexDef("ByReal", {REAL});
    down.Descending = 1;
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {ID}, true),
                                             IndexDef("ByName", {NAME}),
                                             caseless,
                                             IndexDef("ByFlag", {FLAG}),
                                             IndexDef("ByUns", {UNS}),
                                             IndexDef("ByMoney", {MONEY}),
                                             own,
                                             IndexDef("ByPair", {P1, P2}),
                                             down};
    TableOptions options = locale;
    if (!primary) {
        indexes[0] = IndexDef("", {});
        options.allowNoPrimary = true;
    }
    CreateTable("o", fields, indexes, options);
}

NodePtr Col(std::uint16_t field) {
    switch (field) {
        case NAME:
            return Column(field, Typed(engine::FieldTypeString, 6));
        case CNAME:
            return Column(field, Typed(engine::FieldTypeString, 11));
        case FLAG:
            return Column(field, Bool(0));
        case UNS:
            return Column(field, LongWord(0));
        case MONEY:
            return Column(field, Bcd(0, 2));
        case OWN:
            return Column(field, SmallInt(0));
        case REAL:
            return Column(field, Float(0));
        default:
            return Column(field, Int(0));
    }
}
NodePtr Cmp(engine::ExprOperator op, std::uint16_t field, const ExprValue& value) {
    return Binary(op, Col(field), Const(value));
}
NodePtr StringCompare(engine::ExprOperator op, NodePtr column, const ExprValue& value, std::uint8_t partial,
                      bool caseless) {
    NodePtr node = Node(engine::ncCompare, op, std::move(column), Const(value));
    node->PartialLen = partial;
    node->CaseInsensitive = caseless ? 1 : 0;
    return node;
}
NodePtr Upper(std::uint16_t field) {
    return Function(engine::opUpper, Col(field));
}

Records SetBits(std::span<const std::uint8_t> bits, std::uint32_t highest) {
    Records records;
    for (std::uint32_t r = 1; r <= highest && (r - 1) / 8 < bits.size(); ++r)
        if (engine::BitmapTestBit(r, bits.data())) records.push_back(r);
    return records;
}

class OptimiserTest : public TableTest {
protected:
    // The check of the files wants them closed.
    void TearDown() override {
        a.Close();
        b.Close();
        TableTest::TearDown();
    }
    // ID 1 .. n with values drawn from the seed: duplicates and nulls in every other field; about a tenth of
    // the slots deleted.
    void OpenSeeded(std::uint32_t seed, int records, const TableOptions& locale = {}) {
        CreateO(true, locale);
        a.SetFileName("o");
        a.SetExclusive(true);
        a.Open();
        std::mt19937 random(seed);
        const auto pick = [&random](const std::vector<Bytes>& values) {
            return values[random() % values.size()];
        };
        const std::vector<Bytes> names = {Str(""),   Str("a"),  Str("A"),      Str("ab"),     Str("n1"),
                                          Str("n3"), Str("zz"), Str("\xe4pf"), Str("\xc4PF"), Str("Z")};
        const std::vector<Bytes> cnames = {Str("smith"),     Str("Smith"), Str("SMITH"), Str("\xe9t\xe9"),
                                           Str("\xc9T\xc9"), Str("apfel"), Str("Zebra"), Str("")};
        for (int id = 1; id <= records; ++id) {
            FieldValues values = {{ID, I32(id)}, {P2, I32(id)}};
            const auto maybe = [&](std::uint16_t field, Bytes value) {
                if (random() % 7 != 0) values.push_back({field, std::move(value)});
            };
            maybe(NAME, pick(names));
            maybe(CNAME, pick(cnames));
            maybe(MONEY, Stored(Bcd((static_cast<std::int64_t>(random() % 9) - 4) * 2500, 2)));
            maybe(OWN, I16(static_cast<std::int16_t>(random() % 7) - 3));
            maybe(P1, I32(static_cast<std::int32_t>(random() % 11) - 5));
            maybe(REAL, pick({F64(-2.5), F64(-0.0), F64(0.0), F64(1.0), F64(2.5), F64(3.0)}));
            Insert(a, values);
        }
        for (int id = 1; id <= records; ++id)
            if (random() % 10 == 0) DeleteSlot(a, SlotNumber(static_cast<std::uint32_t>(id)));
    }
    static Bytes Stored(const ExprValue& value) {
        return Bytes(value.Bytes.begin(), value.Bytes.begin() + 8);
    }
    void Open(bool primary, int records, bool exclusive = true) {
        CreateO(primary);
        a.SetFileName("o");
        a.SetExclusive(exclusive);
        a.Open();
        // ID 1 .. n; NAME "n" + ID mod 7 with every tenth record null; CNAME likewise in mixed case.
        for (int id = 1; id <= records; ++id) {
            FieldValues values = {{ID, I32(id)}, {P1, I32(id % 3)}, {P2, I32(id)}, {REAL, F64(id % 9 - 4.0)}};
            if (id % 10 != 0) {
                values.push_back({NAME, Str("n" + std::to_string(id % 7))});
                values.push_back({CNAME, Str(id % 2 == 0 ? "Smith" : "SMITH")});
            }
            Insert(a, values);
        }
    }
    std::uint8_t Rate(NodePtr& tree, bool selectivity = false, engine::ExprOperator parent = engine::opNone) {
        return engine::AnalyseOptimization(a.IndexFile(), parent, tree.get(), selectivity);
    }
    // The filter's records, checked against the evaluator over every live record, and its level.
    std::uint8_t FilterLevel(NodePtr tree) {
        TFilter* filter = nullptr;
        const engine::TExprNode* condition = tree.get();
        EXPECT_EQ(a.AddFilter(nullptr, {}, filter, false, nullptr, true, tree.release()), 0);
        EXPECT_EQ(a.ActivateFilter(filter), 0);
        Records expected;
        {
            engine::TReadGuard read(a);
            read.Begin();
            for (std::uint32_t slot = 1; slot <= a.GetPhysicalRecordCount(); ++slot) {
                engine::RecordPin record;
                EXPECT_TRUE(a.GetRecord(SlotNumber(slot), false, false, 1, record));
                if (record->Status() == 0 &&
                    engine::EvaluateRecord(a, record->Image(), SlotNumber(slot), {condition}))
                    expected.push_back(slot);
            }
            read.End();
        }
        EXPECT_EQ(SetBits(filter->GetBitmap(), a.GetPhysicalRecordCount()), expected);
        const std::uint8_t level = filter->OptLevel();
        EXPECT_EQ(a.DropFilter(filter), 0);
        return level;
    }
    TDataFile a;
    TDataFile b;
};

struct RatingCase {
    const char* what;
    std::function<NodePtr()> tree;
    std::uint8_t level;
};

TEST_F(OptimiserTest, RatingsFollowTheServingRules) {
    Open(true, 20);
    using namespace engine;
    const std::vector<RatingCase> cases = {
        {"NAME = 'n1' through its index", [] { return Cmp(opEqual, NAME, Text("n1")); }, 0},
        {"NAME <> 'n1' marks = and inverts", [] { return Cmp(opNotEqual, NAME, Text("n1")); }, 0},
        {"every order comparison", [] { return Cmp(opGreaterEqual, ID, Int(5)); }, 0},
        {"a string longer than the field", [] { return Cmp(opEqual, NAME, Text("n1xxxx")); }, 2},
        {"case-insensitive compare without such an index",
         [] { return StringCompare(opEqual, Col(NAME), Text("N1"), 0, true); }, 2},
        {"case-insensitive compare with one",
         [] { return StringCompare(opEqual, Col(CNAME), Text("smith"), 0, true); }, 0},
        {"a partial length within the field",
         [] { return StringCompare(opEqual, Col(NAME), Text("n1"), 2, false); }, 0},
        {"a partial length beyond the field",
         [] { return StringCompare(opEqual, Col(NAME), Text("n1"), 6, false); }, 2},
        {"a string compare other than = and <>",
         [] { return StringCompare(opLess, Col(NAME), Text("n1"), 0, false); }, 2},
        {"class 3 <> NULL is IS NOT NULL",
         [] { return StringCompare(opNotEqual, Col(NAME), Null(Text("")), 0, false); }, 0},
        {"the second field of an index", [] { return Cmp(opEqual, P2, Int(3)); }, 2},
        {"a boolean alone", [] { return Cmp(opEqual, FLAG, Bool(TruthTrue)); }, 0},
        {"an order comparison on a boolean", [] { return Cmp(opGreater, FLAG, Bool(0)); }, 2},
        {"BETWEEN on a boolean",
         [] { return WithItems(Predicate(opBetween, Col(FLAG)), List(Const(Bool(0)), Const(Bool(1)))); }, 2},
        {"UPPER(column) with an upper-case constant",
         [] { return Binary(opEqual, Upper(CNAME), Const(Text("SMITH"))); }, 0},
        {"UPPER(column) with a lower-case constant",
         [] { return Binary(opEqual, Upper(CNAME), Const(Text("smith"))); }, 2},
        {"UPPER of a number", [] { return Binary(opEqual, Function(opUpper, Col(ID)), Const(Int(1))); }, 2},
        {"a constant of another type", [] { return Cmp(opEqual, ID, Text("5")); }, 2},
        {"a float constant on an integer", [] { return Cmp(opEqual, ID, Float(5)); }, 2},
        {"= NULL of any type", [] { return Cmp(opEqual, ID, Null(Text(""))); }, 0},
        {"an order comparison with NULL", [] { return Cmp(opGreater, ID, Null(Int(0))); }, 2},
        {"a NULL BETWEEN bound",
         [] { return WithItems(Predicate(opBetween, Col(ID)), List(Const(Null(Int(0))), Const(Int(5)))); },
         2},
        {"IN with a NULL item",
         [] { return WithItems(Predicate(opIn, Col(ID)), List(Const(Int(2)), Const(Null(Int(0))))); }, 0},
        {"BCD at the column's scale", [] { return Cmp(opEqual, MONEY, Bcd(100, 2)); }, 0},
        {"BCD at another scale", [] { return Cmp(opEqual, MONEY, Bcd(100, 4)); }, 2},
        {"a 32-bit unsigned comparison", [] { return Cmp(opLess, UNS, LongWord(5)); }, 2},
        {"32-bit unsigned IN", [] { return WithItems(Predicate(opIn, Col(UNS)), List(Const(LongWord(5)))); },
         2},
        {"32-bit unsigned IS NULL", [] { return Unary(opIsNull, Col(UNS)); }, 0},
        {"a field descending on its own", [] { return Cmp(opEqual, OWN, SmallInt(1)); }, 2},
        {"IS NOT NULL on a field descending on its own", [] { return Unary(opIsNotNull, Col(OWN)); }, 2},
        {"a wholly descending index", [] { return Cmp(opLess, REAL, Float(0)); }, 0},
        {"unary minus over a comparison", [] { return Unary(opNegate, Cmp(opEqual, ID, Int(1))); }, 2},
        {"LIKE", [] { return Predicate(opLike, Col(NAME), Const(Text("n%"))); }, 2},
        {"NOT of an indexed comparison", [] { return Unary(opNot, Cmp(opEqual, ID, Int(1))); }, 0},
        {"AND of indexed and not",
         [] { return Binary(opAnd, Cmp(opEqual, P2, Int(1)), Cmp(opEqual, ID, Int(1))); }, 1},
        {"AND of two indexed",
         [] { return Binary(opAnd, Cmp(opLess, ID, Int(9)), Cmp(opEqual, NAME, Text("n1"))); }, 0},
        {"OR with one side not indexed",
         [] { return Binary(opOr, Cmp(opEqual, ID, Int(1)), Cmp(opEqual, P2, Int(1))); }, 2},
        {"OR of two indexed",
         [] { return Binary(opOr, Cmp(opEqual, ID, Int(1)), Cmp(opEqual, NAME, Text("n2"))); }, 0},
        {"the column on the right", [] { return Binary(opEqual, Const(Int(1)), Col(ID)); }, 2},
    };
    for (const RatingCase& c : cases) {
        NodePtr tree = c.tree();
        EXPECT_EQ(Rate(tree), c.level) << c.what;
        EXPECT_EQ(tree->OptLevel, c.level) << c.what;
        // The filter built on the same condition has the evaluator's records at that level.
        EXPECT_EQ(FilterLevel(c.tree()), c.level) << c.what;
    }
}

TEST_F(OptimiserTest, AndPutsTheBetterRatedOperandFirst) {
    Open(true, 5);
    NodePtr tree = Binary(engine::opAnd, Cmp(engine::opEqual, P2, Int(1)), Cmp(engine::opEqual, ID, Int(1)));
    EXPECT_EQ(Rate(tree), 1);
    EXPECT_EQ(tree->Left->Left->FieldNo, ID);
    EXPECT_EQ(tree->Left->OptLevel, 0);
    EXPECT_EQ(tree->Right->OptLevel, 2);
}

TEST_F(OptimiserTest, WithoutAPrimaryIndexNothingIsServed) {
    Open(false, 5);
    NodePtr tree = Cmp(engine::opEqual, NAME, Text("n1"));
    EXPECT_EQ(Rate(tree), 2);
    EXPECT_EQ(FilterLevel(Cmp(engine::opEqual, NAME, Text("n1"))), 2);
}

TEST_F(OptimiserTest, TheSelectivityRuleGivesUpAnIndexHoldingMoreThanNineTenths) {
    Open(true, 100);
    for (const auto& [limit, level] : {std::pair{95, 2}, std::pair{90, 0}}) {
        NodePtr tree = Binary(engine::opAnd, Cmp(engine::opLessEqual, ID, Int(limit)),
                              Cmp(engine::opEqual, NAME, Text("n1")));
        Rate(tree, true);
        EXPECT_EQ(tree->Left->Left->FieldNo == ID ? tree->Left->OptLevel : tree->Right->OptLevel, level)
            << limit;
        // At the root no rule applies.
        NodePtr alone = Cmp(engine::opLessEqual, ID, Int(limit));
        EXPECT_EQ(Rate(alone, true), 0) << limit;
    }
}

TEST_F(OptimiserTest, AnotherHandlesInsertDuringTheCountRatesByRecords) {
    Open(true, 40, false);
    b.SetFileName("o");
    b.Open();
    // A page read that begins after the other handle's insert finds its change.
    a.IndexFile().InvalidatePages();
    Insert(b, {{ID, I32(41)}, {NAME, Str("n1")}});
    NodePtr tree =
        Binary(engine::opAnd, Cmp(engine::opEqual, NAME, Text("n1")), Cmp(engine::opEqual, P2, Int(1)));
    Rate(tree, true);
    EXPECT_EQ(tree->OptLevel, 2);
    EXPECT_EQ(FilterLevel(Cmp(engine::opEqual, NAME, Text("n1"))), 0);
}

// The bounds of a column, one from each side in either order, from the same side, equal, crossed, beyond
// every value: the interval marked for the pair holds the evaluator's records.
struct RangeColumn {
    const char* what;
    std::function<NodePtr()> column;
    std::vector<ExprValue> bounds;
    std::uint8_t level;
};

std::vector<RangeColumn> RangeColumns() {
    using namespace engine;
    return {
        {"ID, the primary index", [] { return Col(ID); }, {Int(-1), Int(20), Int(21), Int(150)}, 0},
        {"NAME, a case-sensitive string",
         [] { return Col(NAME); },
         {Text(""), Text("A"), Text("ab"), Text("n2"), Text("\xc4PF")},
         0},
        {"UPPER(CNAME), a case-insensitive index",
         [] { return Upper(CNAME); },
         {Text(""), Text("APFEL"), Text("SMITH"), Text("\xc9T\xc9"), Text("ZZ")},
         0},
        {"MONEY, BCD", [] { return Col(MONEY); }, {Bcd(-10000, 2), Bcd(0, 2), Bcd(2500, 2), Bcd(9999, 2)}, 0},
        {"P1, the first field of two", [] { return Col(P1); }, {Int(-6), Int(-2), Int(0), Int(3)}, 0},
        {"REAL, a wholly descending index",
         [] { return Col(REAL); },
         {Float(-3), Float(-0.0), Float(0.0), Float(1.5), Float(2.5)},
         0},
        {"OWN, descending on its own (not served)", [] { return Col(OWN); }, {SmallInt(-1), SmallInt(2)}, 2},
    };
}

// With the parameter set, a table of a language whose order is not the bytes' (a < A < b < B ...).
class OptimiserRangeTest : public OptimiserTest, public ::testing::WithParamInterface<bool> {
protected:
    const DictionaryCollation collation_;
    const DefaultFormats formats_;
    // Installed until after the check of the files has seen the table.
    std::optional<engine::InstalledLocale> locale_;
};

TEST_P(OptimiserRangeTest, TwoBoundsOfAColumnMarkTheEvaluatorsRecords) {
    using namespace engine;
    TableOptions locale;
    if (GetParam()) {
        locale.languageId = 1031;
        locale.sortId = 1;
        locale_.emplace(locale.languageId, locale.sortId, collation_, formats_);
    }
    OpenSeeded(59, 160, locale);
    const ExprOperator orders[] = {opGreater, opGreaterEqual, opLess, opLessEqual};
    for (const RangeColumn& c : RangeColumns()) {
        for (const ExprValue& first : c.bounds) {
            for (const ExprValue& second : c.bounds) {
                for (const ExprOperator one : orders) {
                    for (const ExprOperator other : orders) {
                        NodePtr tree = Binary(opAnd, Binary(one, c.column(), Const(first)),
                                              Binary(other, c.column(), Const(second)));
                        EXPECT_EQ(FilterLevel(std::move(tree)), c.level)
                            << c.what << " op" << one << " and op" << other;
                    }
                }
            }
            if (HasFailure()) return;
        }
        // Both bounds in one predicate, the same pair inverted, and pairs below NOT and OR.
        const ExprValue& low = c.bounds[1];
        const ExprValue& high = c.bounds.back();
        for (const ExprOperator between : {opBetween, opNotBetween}) {
            for (const auto& [from, to] : {std::pair{low, high}, std::pair{high, low}, std::pair{low, low}}) {
                EXPECT_EQ(
                    FilterLevel(WithItems(Predicate(between, c.column()), List(Const(from), Const(to)))),
                    c.level)
                    << c.what << " op" << between;
            }
        }
        const auto range = [&c, &low, &high] {
            return Binary(opAnd, Binary(opLessEqual, c.column(), Const(high)),
                          Binary(opGreater, c.column(), Const(low)));
        };
        EXPECT_EQ(FilterLevel(Unary(opNot, range())), c.level) << c.what << " NOT";
        EXPECT_EQ(FilterLevel(Binary(opOr, range(), Binary(opLess, c.column(), Const(c.bounds[0])))), c.level)
            << c.what << " OR";
    }
}

TEST_F(OptimiserTest, TwoBoundsInsideACursorRangeAndBesideOtherColumns) {
    using namespace engine;
    OpenSeeded(7, 120);
    a.SetIndexNumber(0);
    const std::vector<std::uint8_t> start = NewImage(a, {{ID, I32(30)}});
    const std::vector<std::uint8_t> end = NewImage(a, {{ID, I32(90)}});
    a.SetRange(false, start, 1, end, 1);
    const auto range = [] {
        return Binary(opAnd, Cmp(opGreaterEqual, P1, Int(-2)), Cmp(opLess, P1, Int(4)));
    };
    // Within the cursor's range the filter keeps only its candidates.
    TFilter* filter = nullptr;
    ASSERT_EQ(a.AddFilter(nullptr, {}, filter, false, nullptr, true, range().release()), 0);
    ASSERT_EQ(a.ActivateFilter(filter), 0);
    EXPECT_EQ(filter->OptLevel(), 0);
    Records expected;
    {
        engine::TReadGuard read(a);
        read.Begin();
        const NodePtr condition = range();
        for (std::uint32_t slot = 30; slot <= 90; ++slot) {
            engine::RecordPin record;
            ASSERT_TRUE(a.GetRecord(SlotNumber(slot), false, false, 1, record));
            if (record->Status() == 0 &&
                engine::EvaluateRecord(a, record->Image(), SlotNumber(slot), {condition.get()}))
                expected.push_back(slot);
        }
        read.End();
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(SetBits(filter->GetBitmap(), a.GetPhysicalRecordCount()), expected);
    EXPECT_EQ(a.DropFilter(filter), 0);
    a.CancelRange();
    // A pair beside a comparison of another column, and bounds that test different columns or indexes.
    EXPECT_EQ(FilterLevel(Binary(opAnd, range(), Cmp(opEqual, NAME, Text("n1")))), 0);
    EXPECT_EQ(FilterLevel(Binary(opAnd, Cmp(opGreaterEqual, P1, Int(-2)), Cmp(opLess, ID, Int(60)))), 0);
    EXPECT_EQ(FilterLevel(Binary(opAnd, Binary(opGreater, Upper(CNAME), Const(Text("A"))),
                                 Binary(opLess, Col(NAME), Const(Text("n"))))),
              0);
}

INSTANTIATE_TEST_SUITE_P(Tables, OptimiserRangeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Locale") : std::string("Plain");
                         });

TEST_F(OptimiserTest, AComparisonHoldingMostRecordsMarksTheComplementAlike) {
    Open(true, 100);
    DeleteSlot(a, SlotNumber(7));
    engine::TIndexFile& file = a.IndexFile();
    const std::uint32_t highest = a.GetPhysicalRecordCount();
    NodePtr column = Col(ID);
    NodePtr constant = Const(Int(61));
    // ID < 61: 59 of 99 live records, more than half.
    std::vector<std::uint8_t> marked(highest / 8 + 1);
    bool changed = false;
    engine::MarkComparison(file, engine::opLess, *column, 0, constant.get(), changed, marked, highest);
    std::vector<std::uint8_t> direct(marked.size());
    const engine::TComparisonKeys keys = engine::BuildComparisonKeys(
        file, engine::opLess, *engine::ColumnField(file, *column), 0, &constant->Value);
    engine::MarkKeyInterval(file, keys.Interval, changed, direct, highest);
    EXPECT_FALSE(changed);
    // The complement holds the deleted slot, which the candidates remove.
    Records expected = SetBits(direct, highest);
    Records got = SetBits(marked, highest);
    std::erase(got, 7u);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(expected.size(), 59u);
}

TEST_F(OptimiserTest, NullsPassNotEqualAndNotInButNoOrderComparison) {
    Open(true, 30);
    using namespace engine;
    EXPECT_EQ(FilterLevel(Cmp(opNotEqual, NAME, Text("n1"))), 0);
    EXPECT_EQ(FilterLevel(Cmp(opGreater, NAME, Text("n1"))), 0);
    EXPECT_EQ(FilterLevel(Cmp(opLess, NAME, Text("n5"))), 0);
    EXPECT_EQ(
        FilterLevel(WithItems(Predicate(opIn, Col(NAME)), List(Const(Text("n1")), Const(Null(Text("")))))),
        0);
    EXPECT_EQ(
        FilterLevel(WithItems(Predicate(opNotIn, Col(NAME)), List(Const(Text("n1")), Const(Null(Text("")))))),
        0);
    EXPECT_EQ(
        FilterLevel(WithItems(Predicate(opNotBetween, Col(REAL)), List(Const(Float(-2)), Const(Float(2))))),
        0);
}

TEST_F(OptimiserTest, AnalysisAndEvaluationLeaveTheCursorAsItWas) {
    Open(true, 50, false);
    a.SetIndexName("ByName");
    const std::vector<std::uint8_t> start = NewImage(a, {{NAME, Str("n2")}});
    const std::vector<std::uint8_t> end = NewImage(a, {{NAME, Str("n5")}});
    a.SetRange(false, start, 1, end, 1);
    a.SetToBegin();
    a.GetNextRecord();
    a.GetNextRecord();
    engine::TIndexFile& file = a.IndexFile();
    const auto snapshot = [&file] {
        const engine::TIndexCursor& cursor = file.Cursor();
        return std::tuple(file.CurrentIndex(), cursor.Position.Ordinal, cursor.Position.BeforeFirst,
                          cursor.Position.AfterLast, cursor.Range.Active, cursor.Range.First,
                          cursor.Range.Last, file.CurrentPage().Get(), file.CurrentSettings().Name);
    };
    const auto before = snapshot();
    NodePtr tree = Binary(engine::opOr, Cmp(engine::opLess, ID, Int(10)),
                          Unary(engine::opNot, Cmp(engine::opEqual, REAL, Float(1))));
    EXPECT_EQ(Rate(tree, true, engine::opAnd), 0);
    EXPECT_EQ(snapshot(), before);
    TFilter* filter = nullptr;
    ASSERT_EQ(a.AddFilter(nullptr, {}, filter, false, nullptr, true, tree.release()), 0);
    std::vector<std::uint8_t> candidates(a.GetPhysicalRecordCount() / 8 + 1, 0xFF);
    bool changed = false;
    filter->Evaluate(candidates, changed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(filter->OptLevel(), 0);
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
