#include "engine/expr/ExprNode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/expr/ExprEvaluator.h"
#include "tests/engine/support/ExprBuilders.h"

namespace {

using namespace engine;
using namespace exprtest;

std::vector<std::uint8_t> Leading(const ExprValue& value, std::size_t count) {
    return {value.Bytes.begin(), value.Bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}

TEST(ExprNode, ValueAccessorsAreLittleEndian) {
    ExprValue value;
    value.SetInt32(-2);
    EXPECT_EQ(Leading(value, 4), (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(value.GetInt32(), -2);
    EXPECT_EQ(value.GetUInt32(), 0xFFFFFFFEU);
    value.SetInt16(0x1234);
    EXPECT_EQ(Leading(value, 2), (std::vector<std::uint8_t>{0x34, 0x12}));
    EXPECT_EQ(value.GetUInt16(), 0x1234);
    value.SetInt64(0x0102030405060708);
    EXPECT_EQ(Leading(value, 8), (std::vector<std::uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(value.GetInt64(), 0x0102030405060708);
    value.SetDouble(1.0);  // 3FF0 0000 0000 0000
    EXPECT_EQ(Leading(value, 8), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_EQ(value.GetDouble(), 1.0);
    value.SetTruth(true);
    EXPECT_EQ(value.GetUInt16(), TruthTrue);
    EXPECT_TRUE(value.IsTrue());
    value.SetTruth(false);
    EXPECT_FALSE(value.IsTrue());
}

TEST(ExprNode, TextAlwaysKeepsItsTerminator) {
    ExprValue value;
    value.Bytes.fill('#');
    value.SetText(std::string(300, 'a'));
    EXPECT_EQ(value.GetText(), std::string(MaxExprTextLength, 'a'));
    EXPECT_EQ(value.Bytes[MaxExprTextLength], 0);
    value.SetText("ab");
    EXPECT_EQ(value.GetText(), "ab");
    EXPECT_EQ(value.Bytes[3], 'a');  // only the text and its zero are written
    // Bytes stored without a zero (a column procedure's raw copy) still read as at most 254 characters.
    const std::string raw(ExprValueSize, 'r');
    value.SetBytes(reinterpret_cast<const std::uint8_t*>(raw.data()), 400);
    EXPECT_EQ(value.GetText().size(), MaxExprTextLength);
}

// IN over a column, with a BETWEEN and a SUBSTRING inside; every node tagged by its text.
NodePtr SampleTree() {
    NodePtr substring = Function(opSubstring, Column(2, Text("")));
    substring->Items.push_back(Const(Int(2)));
    substring->Items.push_back(Const(Int(3)));
    NodePtr between = WithItems(Predicate(opBetween, Column(1)), List(Const(Int(1)), Const(Int(9))));
    NodePtr in =
        WithItems(Predicate(opIn, std::move(substring)), List(Const(Text("xyz")), Const(Text("bcd"))));
    NodePtr tree = Binary(opAnd, std::move(between), std::move(in), FieldTypeBoolean);
    tree->Text = "AND";
    tree->ColumnName = "c";
    tree->OptLevel = 1;
    tree->JoinKind = 2;
    tree->ClausePosition = 3;
    tree->Value.Scale = 3;
    return tree;
}

void CheckParents(const TExprNode& node, const TExprNode* parent) {
    EXPECT_EQ(node.Parent, parent);
    if (node.Left) CheckParents(*node.Left, &node);
    if (node.Right) CheckParents(*node.Right, &node);
    for (const auto& item : node.Items) CheckParents(*item, &node);
}

TEST(ExprNode, CopyStandsAloneAfterTheSourceIsFreed) {
    NodePtr source = SampleTree();
    source->Left->Parent = source.get();  // as the planner links them
    source->Parent = source->Left.get();  // and a parent the copy must not keep
    Row row{{Int(4), Text("abcdef")}, {}};
    const ExprValue expected = Evaluate(*source, &row);
    ASSERT_EQ(expected.GetUInt16(), 1);

    NodePtr copy = CopyExprTree(source.get());
    FreeExprTree(source);
    EXPECT_EQ(source, nullptr);
    CheckParents(*copy, nullptr);
    EXPECT_EQ(copy->Text, "AND");
    EXPECT_EQ(copy->ColumnName, "c");
    EXPECT_EQ(copy->OptLevel, 1);
    EXPECT_EQ(copy->JoinKind, 2);
    EXPECT_EQ(copy->ClausePosition, 3);
    EXPECT_EQ(copy->Value.Scale, 3);
    EXPECT_EQ(copy->Right->Items.size(), 2U);
    EXPECT_EQ(copy->Right->Left->Items.size(), 2U);
    row.reads.clear();
    const ExprValue again = Evaluate(*copy, &row);
    EXPECT_EQ(again.GetUInt16(), expected.GetUInt16());
    EXPECT_EQ(row.reads, (std::vector<int>{2, 1}));
    EXPECT_EQ(CopyExprTree(nullptr), nullptr);
}

TEST(ExprNode, CopyNodeAndConstantNode) {
    const NodePtr tree = SampleTree();
    const NodePtr alone = CopyExprNode(*tree);
    EXPECT_EQ(alone->Text, "AND");
    EXPECT_EQ(alone->Operator, opAnd);
    EXPECT_EQ(alone->Left, nullptr);
    EXPECT_EQ(alone->Right, nullptr);
    EXPECT_EQ(alone->Parent, nullptr);
    const NodePtr constant = MakeConstantNode(*tree->Left->Left, Int(12));
    EXPECT_EQ(constant->NodeClass, ncConstant);
    EXPECT_EQ(constant->FieldNo, 1);  // the model's other fields stay
    EXPECT_EQ(constant->Value.GetInt32(), 12);
    EXPECT_EQ(Evaluate(*constant).GetInt32(), 12);
}

// A chain of `levels` nodes: unary minus over unary minus ... over the integer constant 5.
NodePtr Chain(int levels) {
    NodePtr node = Const(Int(5));
    for (int i = 1; i < levels; ++i)
        node = Node(ncUnary, opNegate, std::move(node), nullptr, FieldTypeInteger);
    return node;
}

TEST(ExprNode, TreesOfTheDeepestAllowedLevelWork) {
    NodePtr chain = Chain(MaxExprDepth);
    EXPECT_EQ(ExprTreeDepth(chain.get()), MaxExprDepth);
    EXPECT_EQ(Evaluate(*chain).GetInt32(), (MaxExprDepth - 1) % 2 == 0 ? 5 : -5);
    NodePtr copy = CopyExprTree(chain.get());
    FreeExprTree(chain);
    EXPECT_EQ(ExprTreeDepth(copy.get()), MaxExprDepth);
    EXPECT_EQ(Evaluate(*copy).GetInt32(), (MaxExprDepth - 1) % 2 == 0 ? 5 : -5);
    // A binary tree leaning right, as the planner's AND chains grow: each AND over a comparison of two
    // constants.
    NodePtr conjunction = Const(Bool(1));
    for (int i = 2; i < MaxExprDepth; ++i) {
        conjunction = Binary(opAnd, Binary(opEqual, Const(Int(i)), Const(Int(i))), std::move(conjunction));
    }
    EXPECT_EQ(ExprTreeDepth(conjunction.get()), MaxExprDepth);
    EXPECT_EQ(Evaluate(*conjunction).GetUInt16(), TruthTrue);
}

TEST(ExprNode, DepthCountsItemsOneLevelBelowTheirNode) {
    EXPECT_EQ(ExprTreeDepth(nullptr), 0);
    EXPECT_EQ(ExprTreeDepth(Const(Int(1)).get()), 1);
    std::vector<NodePtr> items;
    for (int i = 0; i < 1000; ++i) items.push_back(Const(Int(i)));
    const NodePtr in = WithItems(Predicate(opIn, Column(1)), std::move(items));
    EXPECT_EQ(ExprTreeDepth(in.get()), 2);
    EXPECT_EQ(ExprTreeDepth(SampleTree().get()), 4);
}

TEST(ExprNode, MirrorComparison) {
    EXPECT_EQ(MirrorComparison(opGreater), opLess);
    EXPECT_EQ(MirrorComparison(opLess), opGreater);
    EXPECT_EQ(MirrorComparison(opGreaterEqual), opLessEqual);
    EXPECT_EQ(MirrorComparison(opLessEqual), opGreaterEqual);
    EXPECT_EQ(MirrorComparison(opEqual), opEqual);
    EXPECT_EQ(MirrorComparison(opNotEqual), opNotEqual);
    EXPECT_EQ(MirrorComparison(opAnd), opAnd);
}

}  // namespace
