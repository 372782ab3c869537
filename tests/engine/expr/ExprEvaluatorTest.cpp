#include "engine/expr/ExprEvaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rtl/DateTime.h"
#include "tests/engine/support/ExprBuilders.h"

namespace {

using namespace engine;
using namespace exprtest;

using Reads = std::vector<int>;

TEST(ExprEvaluator, ConstantsAndColumns) {
    // A constant is its own value; a column without a procedure keeps its node's value.
    const NodePtr constant = Const(Int(42));
    EXPECT_EQ(Evaluate(*constant).GetInt32(), 42);
    NodePtr column = Column(1);
    column->Value.SetInt32(9);
    EXPECT_EQ(Evaluate(*column).GetInt32(), 9);
    Row row{{Null(Int(0))}, {}};
    const ExprValue read = Evaluate(*column, &row);
    EXPECT_EQ(read.IsNull, 1);
    EXPECT_EQ(read.FieldType, FieldTypeInteger);
    EXPECT_EQ(row.reads, Reads{1});
}

// A step that wraps is told even when a later step brings the value back into range; the value is what
// the dialect computes, asked or not.
TEST(ExprEvaluator, AStepPastItsRangeIsToldWhenAsked) {
    const NodePtr back = Binary(opSubtract, Binary(opAdd, Column(1), Const(Int(1)), FieldTypeInteger),
                                Const(Int(1)), FieldTypeInteger);
    const NodePtr within = Binary(opAdd, Column(1), Const(Int(-1)), FieldTypeInteger);
    Row row{{Int(INT32_MAX)}, {}};
    for (const auto& [tree, expected] : {std::pair{back.get(), true}, std::pair{within.get(), false}}) {
        ExprValue result;
        bool overflowed = false;
        EvaluateExpr(*tree, &row, nullptr, ReadRowColumn, 0, 0, result, &overflowed);
        EXPECT_EQ(overflowed, expected);
        EXPECT_EQ(result.GetInt32(), Evaluate(*tree, &row).GetInt32());
    }
    EXPECT_EQ(Evaluate(*back, &row).GetInt32(), INT32_MAX);
}

TEST(ExprEvaluator, ColumnProcedureGetsOwnerDataAndNode) {
    struct Seen {
        void* owner = nullptr;
        void* data = nullptr;
        std::string name;
        std::uint8_t size = 0;
    } seen;
    const auto proc = [](void* owner, void* data, const TExprNode& column, ExprValue& value) {
        auto& s = *static_cast<Seen*>(data);
        s.owner = owner;
        s.data = data;
        s.name = column.ColumnName;
        s.size = value.Size;
        value.SetText("filled");
        value.IsNull = 0;
    };
    NodePtr column = Column(3, Text("...."));
    column->ColumnName = "NAME";
    int owner = 0;
    ExprValue result;
    EvaluateExpr(*column, &seen, &owner, proc, 0, 0, result);
    EXPECT_EQ(seen.owner, &owner);
    EXPECT_EQ(seen.data, &seen);
    EXPECT_EQ(seen.name, "NAME");
    EXPECT_EQ(seen.size, 5);
    EXPECT_EQ(result.GetText(), "filled");
}

TEST(ExprEvaluator, AndOrShortCutOnTheRightOperand) {
    // x AND y with y false, and x OR y with y true: x is never read, and the result is y's whole value.
    struct Case {
        ExprOperator op;
        ExprValue right;
    };
    const Case cases[] = {{opAnd, Null(Bool(0))}, {opOr, Null(Bool(TruthTrue))}, {opAnd, Int(0)}};
    for (const Case& c : cases) {
        Row row{{Bool(1), c.right}, {}};
        const NodePtr tree = Binary(c.op, Column(1, Bool(0)), Column(2, c.right), FieldTypeBoolean);
        const ExprValue result = Evaluate(*tree, &row);
        EXPECT_EQ(row.reads, Reads{2});
        EXPECT_EQ(result.IsNull, c.right.IsNull);
        EXPECT_EQ(result.FieldType, c.right.FieldType);
        EXPECT_EQ(result.GetUInt16(), c.right.GetUInt16());
    }
    // Without the short cut both are read, right first.
    Row row{{Bool(1), Bool(1)}, {}};
    const NodePtr tree = Binary(opAnd, Column(1, Bool(0)), Column(2, Bool(0)));
    EXPECT_EQ(Evaluate(*tree, &row).GetUInt16(), TruthTrue);
    EXPECT_EQ(row.reads, (Reads{2, 1}));
}

TEST(ExprEvaluator, BinaryEvaluatesRightFirst) {
    Row row{{Int(1), Int(2)}, {}};
    const NodePtr tree = Binary(opLess, Column(1), Column(2));
    EXPECT_EQ(Evaluate(*tree, &row).GetUInt16(), TruthTrue);
    EXPECT_EQ(row.reads, (Reads{2, 1}));
}

TEST(ExprEvaluator, InStopsAtTheFirstMatch) {
    Row row{{Int(5), Int(4), Int(5), Int(6)}, {}};
    const NodePtr in = WithItems(Predicate(opIn, Column(1)), List(Column(2), Column(3), Column(4)));
    EXPECT_EQ(Evaluate(*in, &row).GetUInt16(), 1);
    EXPECT_EQ(row.reads, (Reads{1, 2, 3}));
    row.reads.clear();
    const NodePtr notIn = WithItems(Predicate(opNotIn, Column(1)), List(Column(2), Column(4)));
    EXPECT_EQ(Evaluate(*notIn, &row).GetUInt16(), 1);
    EXPECT_EQ(row.reads, (Reads{1, 2, 4}));
}

TEST(ExprEvaluator, BetweenSkipsTheHighBoundWhenTheLowFails) {
    Row row{{Int(5), Int(6), Int(9)}, {}};
    const NodePtr between = WithItems(Predicate(opBetween, Column(1)), List(Column(2), Column(3)));
    EXPECT_EQ(Evaluate(*between, &row).GetUInt16(), 0);
    EXPECT_EQ(row.reads, (Reads{1, 2}));
    row.fields[1] = Int(5);
    row.reads.clear();
    EXPECT_EQ(Evaluate(*between, &row).GetUInt16(), 1);
    EXPECT_EQ(row.reads, (Reads{1, 2, 3}));
    const NodePtr notBetween = WithItems(Predicate(opNotBetween, Column(1)), List(Column(2), Column(3)));
    EXPECT_EQ(Evaluate(*notBetween, &row).GetUInt16(), 0);
    // A null tested value is in no interval.
    row.fields[0] = Null(Int(5));
    EXPECT_EQ(Evaluate(*between, &row).GetUInt16(), 0);
    EXPECT_EQ(Evaluate(*notBetween, &row).GetUInt16(), 1);
}

TEST(ExprEvaluator, PredicatesAndNulls) {
    const auto in = [](ExprValue tested, ExprValue item) {
        return WithItems(Predicate(opIn, Const(tested)), List(Const(item)));
    };
    EXPECT_EQ(Evaluate(*in(Null(Untyped()), Null(Untyped()))).GetUInt16(), 1);
    EXPECT_EQ(Evaluate(*in(Null(Int(5)), Int(5))).GetUInt16(), 0);
    EXPECT_EQ(Evaluate(*in(Int(5), Float(5.0))).GetUInt16(), 1);
    // The pattern or the text null: LIKE false, NOT LIKE true.
    const auto like = [](ExprOperator op, ExprValue text, ExprValue pattern) {
        return Evaluate(*Predicate(op, Const(text), Const(pattern))).GetUInt16();
    };
    EXPECT_EQ(like(opLike, Null(Text("abc")), Text("a%")), 0);
    EXPECT_EQ(like(opLike, Text("abc"), Null(Text("%"))), 0);
    EXPECT_EQ(like(opNotLike, Null(Text("abc")), Text("a%")), 1);
    EXPECT_EQ(like(opLike, Text("abc"), Text("a_c")), 1);
    EXPECT_EQ(like(opNotLike, Text("abc"), Text("a%")), 0);
    // Predicates give 1 or 0 even when their node carries no type.
    NodePtr untyped = Predicate(opLike, Const(Text("x")), Const(Text("x")));
    untyped->Value.FieldType = FieldTypeNone;
    EXPECT_EQ(Evaluate(*untyped).GetUInt16(), 1);
}

TEST(ExprEvaluator, ComparisonsThroughTheTree) {
    // X < 5 is false for a null X whatever its stored bytes say, as the index path has it.
    Row row{{Null(Int(1))}, {}};
    const NodePtr less = Binary(opLess, Column(1), Const(Int(5)));
    EXPECT_EQ(Evaluate(*less, &row).GetUInt16(), 0);
    const NodePtr notEqual = Binary(opNotEqual, Column(1), Const(Int(5)), FieldTypeBoolean);
    EXPECT_EQ(Evaluate(*notEqual, &row).GetUInt16(), 1);
    // A filter's string comparison: leading part, letter case ignored.
    NodePtr compare = Node(ncCompare, opEqual, Column(1, Text("")), Const(Text("SM")));
    compare->PartialLen = 2;
    compare->CaseInsensitive = 1;
    row.fields[0] = Text("smith");
    EXPECT_EQ(Evaluate(*compare, &row).GetUInt16(), TruthTrue);
    // NOT over a comparison, typed.
    const NodePtr negated = Node(ncUnary, opNot, Binary(opEqual, Column(1, Text("")), Const(Text("smith"))),
                                 nullptr, FieldTypeBoolean);
    EXPECT_EQ(Evaluate(*negated, &row).GetUInt16(), 0);
}

TEST(ExprEvaluator, ArithmeticWithANullColumnIsNull) {
    Row row{{Null(Int(3))}, {}};
    for (const ExprOperator op : {opAdd, opSubtract, opMultiply, opDivide}) {
        const NodePtr tree = Binary(op, Column(1), Const(Int(1)), FieldTypeInteger);
        EXPECT_EQ(Evaluate(*tree, &row).IsNull, 1);
    }
    EXPECT_EQ(Evaluate(*Unary(opNegate, Column(1)), &row).IsNull, 1);
    EXPECT_EQ(Evaluate(*Unary(opPlus, Column(1)), &row).IsNull, 1);
    // 1 + 2 * 3 evaluates as written.
    const NodePtr sum =
        Binary(opAdd, Const(Int(1)), Binary(opMultiply, Const(Int(2)), Const(Int(3)), FieldTypeInteger),
               FieldTypeInteger);
    EXPECT_EQ(Evaluate(*sum).GetInt32(), 7);
    // An operand whose node carries no type takes part in no arithmetic.
    const NodePtr untyped = Binary(opAdd, Const(Int(1)), Binary(opMultiply, Const(Int(2)), Const(Int(3))));
    EXPECT_EQ(Evaluate(*untyped).GetInt32(), 0);
}

NodePtr Substring(std::string_view text, std::int32_t start, const std::int32_t* length = nullptr) {
    NodePtr node = Function(opSubstring, Const(Text(text)));
    node->Value.FieldType = FieldTypeString;
    node->Items.push_back(Const(Int(start)));
    if (length != nullptr) node->Items.push_back(Const(Int(*length)));
    return node;
}

TEST(ExprEvaluator, Substring) {
    struct Case {
        std::int32_t start;
        bool hasLength;
        std::int32_t length;
        const char* expected;
    };
    const Case cases[] = {
        {2, true, 3, "bcd"},
        {0, true, 2, "ab"},
        {-5, true, 2, "ab"},
        {7, false, 0, ""},
        {6, false, 0, "f"},
        {3, false, 0, "cdef"},
        {2, true, -1, ""},
        {2, true, 0, ""},
        {4, true, 99, "def"},
        {INT32_MAX, true, INT32_MAX, ""},
        {1, true, INT32_MAX, "abcdef"},
        {INT32_MIN, true, INT32_MAX, "abcdef"},
    };
    for (const Case& c : cases) {
        const NodePtr node = Substring("abcdef", c.start, c.hasLength ? &c.length : nullptr);
        EXPECT_EQ(Evaluate(*node).GetText(), c.expected) << c.start << " " << c.length;
    }
    // The start and length are read from their nodes, not evaluated: a column there is never read.
    Row row{{Text("abcdef")}, {}};
    NodePtr fromColumn = Function(opSubstring, Column(1, Text("")));
    fromColumn->Items.push_back(Column(1, Int(0)));
    fromColumn->Items[0]->Value.SetInt32(5);
    EXPECT_EQ(Evaluate(*fromColumn, &row).GetText(), "ef");
    EXPECT_EQ(row.reads, Reads{1});
    row.fields[0] = Null(Text("abc"));
    EXPECT_EQ(Evaluate(*fromColumn, &row).IsNull, 1);
}

TEST(ExprEvaluator, Trim) {
    const auto trim = [](ExprOperator op, std::string_view text) {
        ExprValue character = Text("x");
        return std::string(Evaluate(*Function(op, Const(Text(text)), Const(character))).GetText());
    };
    EXPECT_EQ(trim(opTrimLeading, "xxaxx"), "axx");
    EXPECT_EQ(trim(opTrimTrailing, "xxaxx"), "xxa");
    EXPECT_EQ(trim(opTrimBoth, "xxaxx"), "a");
    EXPECT_EQ(trim(opTrimBoth, "xxxx"), "");
    EXPECT_EQ(trim(opTrimLeading, ""), "");
    EXPECT_EQ(trim(opTrimBoth, "axa"), "axa");
    const NodePtr nullText = Function(opTrimBoth, Const(Null(Text("xx"))), Const(Text("x")));
    EXPECT_EQ(Evaluate(*nullText).IsNull, 1);
}

TEST(ExprEvaluator, UpperAndLower) {
    const std::string longest = std::string(253, 'a') + "z";
    ASSERT_EQ(longest.size(), MaxExprTextLength);
    EXPECT_EQ(Evaluate(*Function(opUpper, Const(Text(longest)))).GetText(), std::string(253, 'A') + "Z");
    EXPECT_EQ(Evaluate(*Function(opLower, Const(Text("MiXeD 1\xC4")))).GetText(), "mixed 1\xC4");
    const ExprValue upperNull = Evaluate(*Function(opUpper, Const(Null(Text("")))));
    EXPECT_EQ(upperNull.IsNull, 1);
    const ExprValue lowerNull = Evaluate(*Function(opLower, Const(Null(Untyped()))));
    EXPECT_EQ(lowerNull.IsNull, 1);
}

TEST(ExprEvaluator, Extract) {
    const auto extract = [](ExprOperator op, const ExprValue& argument) {
        NodePtr node = Function(op, Const(argument));
        node->Value.FieldType = FieldTypeInteger;
        node->Value.Size = 4;
        return Evaluate(*node);
    };
    const std::int32_t leapDay = rtl::DateToDayNumber(2000, 2, 29);
    const double lateEvening = static_cast<double>(leapDay) * rtl::MSecsPerDay + (23 * 60 + 59) * 60000.0;
    EXPECT_EQ(extract(opExtractYear, Date(leapDay)).GetUInt32(), 2000U);
    EXPECT_EQ(extract(opExtractMonth, Date(leapDay)).GetUInt32(), 2U);
    EXPECT_EQ(extract(opExtractDay, Date(leapDay)).GetUInt32(), 29U);
    EXPECT_EQ(extract(opExtractMonth, DateTime(lateEvening)).GetUInt32(), 2U);
    EXPECT_EQ(extract(opExtractDay, DateTime(lateEvening)).GetUInt32(), 29U);
    // 0.4 ms before midnight rounds to the next day.
    const double almostMarch = static_cast<double>(leapDay + 1) * rtl::MSecsPerDay - 0.4;
    EXPECT_EQ(extract(opExtractMonth, DateTime(almostMarch)).GetUInt32(), 3U);
    EXPECT_EQ(extract(opExtractDay, DateTime(almostMarch)).GetUInt32(), 1U);
    const ExprValue fromDate = extract(opExtractYear, Date(leapDay));
    EXPECT_EQ(fromDate.IsNull, 0);
    EXPECT_EQ(fromDate.FieldType, FieldTypeInteger);
    // NULL for a null argument, for one that is no date, and for a day number that names no date.
    for (const ExprValue& argument :
         {Null(Date(leapDay)), Int(leapDay), Text("2000-02-29"), Date(0), DateTime(std::nan(""))}) {
        const ExprValue result = extract(opExtractYear, argument);
        EXPECT_EQ(result.IsNull, 1);
    }
}

TEST(ExprEvaluator, AggregatesPassTheirArgument) {
    Row row{{Float(2.5)}, {}};
    for (const ExprOperator op : {opSum, opCount, opMin, opMax, opAvg}) {
        const ExprValue result = Evaluate(*Function(op, Column(1, Float(0))), &row);
        EXPECT_EQ(result.FieldType, FieldTypeFloat);
        EXPECT_EQ(result.GetDouble(), 2.5);
    }
}

TEST(ExprEvaluator, NodesWithoutTheirOperandsKeepTheirValue) {
    for (const ExprNodeClass nodeClass : {ncUnary, ncBinary, ncCompare, ncFunction, ncPredicate}) {
        for (const ExprOperator op :
             {opNot, opAnd, opEqual, opUpper, opExtractDay, opIn, opBetween, opLike}) {
            TExprNode node;
            node.NodeClass = nodeClass;
            node.Operator = op;
            node.Value.SetInt32(77);
            EXPECT_EQ(Evaluate(node).GetInt32(), 77);
        }
    }
    TExprNode unknown;
    unknown.NodeClass = static_cast<ExprNodeClass>(99);
    unknown.Left = Const(Int(1));
    unknown.Value.SetInt32(5);
    EXPECT_EQ(Evaluate(unknown).GetInt32(), 5);
}

TEST(ExprEvaluator, ExceptionFromTheColumnProcedurePassesThrough) {
    // Two reads succeed, the third throws deep inside the tree; the sanitizers report any leak.
    int reads = 0;
    const auto proc = [](void* /*owner*/, void* data, const TExprNode&, ExprValue& value) {
        if (++*static_cast<int*>(data) == 3) throw std::runtime_error("column unavailable");
        value.SetInt32(1);
    };
    const NodePtr tree = Binary(
        opOr, WithItems(Predicate(opIn, Column(1)), List(Column(2), Column(3))),
        Binary(opAnd, Binary(opEqual, Column(4), Const(Int(2))), Binary(opEqual, Column(5), Const(Int(1)))));
    ExprValue result;
    EXPECT_THROW(EvaluateExpr(*tree, &reads, nullptr, proc, 0, 0, result), std::runtime_error);
    EXPECT_EQ(reads, 3);
    // The tree is intact and evaluates again.
    reads = -100;
    EvaluateExpr(*tree, &reads, nullptr, proc, 0, 0, result);
    EXPECT_EQ(result.GetUInt16(), TruthTrue);
}

}  // namespace
