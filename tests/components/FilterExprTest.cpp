#include "components/FilterExpr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "engine/expr/ExprNode.h"
#include "rtl/DateTime.h"
#include "tests/components/support/BlobShape.h"
#include "tests/components/support/FilterDataSet.h"
#include "tests/db/support/MessageOf.h"

namespace {

using components::nkConstant;
using components::nkField;
using components::nkOperator;
using components::TFilterExpr;
using components::TFilterParseNode;
using componenttest::Blob;
using componenttest::EngineReads;
using componenttest::FilterDataSet;
using componenttest::Shape;
using db_test::MessageOf;

// The locate and lookup filters: no partial compare from a trailing "*".
constexpr db::TFilterOptions LookupOptions = db::foNoPartialCompare;

std::string ShapeOf(TFilterExpr& expr, const TFilterParseNode& root) {
    const auto blob = expr.BuildBlob(root);
    EXPECT_TRUE(EngineReads(blob));
    return Shape(blob);
}

TEST(FilterExpr, FieldComparesTakeTheirValuesAsVariants) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, LookupOptions);
    const rtl::TDateTime day = rtl::EncodeDate(1999, 12, 31);
    const auto compare = [&](const char* field, const rtl::Variant& value) {
        return expr.NewFieldCompare(dataset.FieldByName(field), engine::opEqual, value);
    };
    EXPECT_EQ(ShapeOf(expr, *compare("NUM", std::int32_t{7})), "(NUM = i32:7)");
    EXPECT_EQ(ShapeOf(expr, *compare("D", rtl::Variant::FromDateTime(day))), "(D = date:730119)");
    EXPECT_EQ(ShapeOf(expr, *compare("X", rtl::Variant::Null())), "IsNull(X)");
    EXPECT_EQ(componenttest::NodeAt(expr.Blob(), 0).NodeClass, engine::ncUnary);
    EXPECT_EQ(ShapeOf(expr, *compare("NAME", "Sm*")), "(NAME = 'Sm*')");
    EXPECT_EQ(ShapeOf(expr, *compare("ACTIVE", true)), "(ACTIVE = bool:1)");
    EXPECT_EQ(ShapeOf(expr, *compare("TESTTYPE", std::int32_t{12})), "(TESTTYPE = '12')");
}

TEST(FilterExpr, SeveralComparesJoinLeftToRightAndTheLastMayBePartial) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, LookupOptions);
    TFilterParseNode* first =
        expr.NewFieldCompare(dataset.FieldByName("NUM"), engine::opEqual, std::int32_t{1});
    TFilterParseNode* second =
        expr.NewFieldCompare(dataset.FieldByName("A"), engine::opEqual, std::int32_t{2});
    TFilterParseNode* third = expr.NewFieldCompare(dataset.FieldByName("NAME"), engine::opEqual, "Smith");
    TFilterParseNode* root = expr.NewNode(nkOperator, engine::opAnd, {},
                                          expr.NewNode(nkOperator, engine::opAnd, {}, first, second), third);
    EXPECT_EQ(ShapeOf(expr, *root), "(((NUM = i32:1) AND (A = i32:2)) AND (NAME = 'Smith'))");
    third->Partial = 1;
    EXPECT_EQ(ShapeOf(expr, *root), "(((NUM = i32:1) AND (A = i32:2)) AND (NAME = 'Smith' ci0 len5))");

    // A long value is cut, and its partial length with it.
    TFilterParseNode* longer =
        expr.NewFieldCompare(dataset.FieldByName("NAME"), engine::opEqual, std::string(300, 'q'));
    longer->Partial = 1;
    EXPECT_EQ(ShapeOf(expr, *longer), "(NAME = '" + std::string(254, 'q') + "' ci0 len254)");
}

TEST(FilterExpr, CaseInsensitiveLookupsWriteStringCompares) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, db::foCaseInsensitive | db::foNoPartialCompare);
    TFilterParseNode* node = expr.NewFieldCompare(dataset.FieldByName("NAME"), engine::opEqual, "Sm*");
    EXPECT_EQ(ShapeOf(expr, *node), "(NAME = 'Sm*' ci1 len0)");
    node->Partial = 1;
    EXPECT_EQ(ShapeOf(expr, *node), "(NAME = 'Sm*' ci1 len3)");
}

TEST(FilterExpr, EachBlobIsWrittenAfresh) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, 0);
    TFilterParseNode* node = expr.NewFieldCompare(dataset.FieldByName("TESTTYPE"), engine::opEqual, "alpha");
    const auto blob = expr.BuildBlob(*node);
    const Blob first(blob.begin(), blob.end());
    expr.BuildBlob(*node);
    EXPECT_EQ(first.size(), 63u);
    EXPECT_EQ(expr.BufferSize(), 63u);
    EXPECT_EQ(Blob(expr.Blob().begin(), expr.Blob().end()), first);
}

TEST(FilterExpr, ANameTooLongForTheEngineCannotBeFiltered) {
    FilterDataSet dataset;
    dataset.translate = [](std::string_view s) { return std::string(s) + std::string(300, '_'); };
    TFilterExpr expr(dataset, 0);
    TFilterParseNode* node =
        expr.NewFieldCompare(dataset.FieldByName("NUM"), engine::opEqual, std::int32_t{1});
    EXPECT_EQ(MessageOf([&] { expr.BuildBlob(*node); }), "Field 'NUM' cannot be used in a filter expression");
}

TEST(FilterExpr, NodesWithoutTheirOperandsAreNoCondition) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, 0);
    TFilterParseNode* field = expr.NewNode(nkField, 0, "A");
    for (TFilterParseNode* node :
         {expr.NewNode(nkOperator, engine::opEqual, {}, field),
          expr.NewNode(nkOperator, engine::opAnd, {}, field), expr.NewNode(nkOperator, engine::opNot, {}),
          expr.NewNode(nkConstant, 0, std::int32_t{1})}) {
        EXPECT_EQ(MessageOf([&] { expr.BuildBlob(*node); }), components::kBadFilterExpression);
    }
}

TEST(FilterExpr, AVeryLongChainIsRefusedAndFreedWithoutDeepRecursion) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, 0);
    TFilterParseNode* root = expr.NewNode(nkField, 0, "ACTIVE");
    for (int i = 0; i < 200000; ++i) root = expr.NewNode(nkOperator, engine::opNot, {}, root);
    EXPECT_EQ(MessageOf([&] { expr.BuildBlob(*root); }), components::kFilterTooComplex);
}

TEST(FilterExpr, ABlobBeyondItsSizeIsRefusedBeforeAnyOffsetWraps) {
    FilterDataSet dataset;
    TFilterExpr expr(dataset, 0);
    // 254-character strings make 298-byte comparisons: a balanced tree of 256 of them passes 65535 bytes.
    std::vector<TFilterParseNode*> level;
    for (int i = 0; i < 256; ++i)
        level.push_back(
            expr.NewFieldCompare(dataset.FieldByName("NAME"), engine::opEqual, std::string(254, 'n')));
    const auto join = [&](std::size_t count) {
        std::vector<TFilterParseNode*> nodes(level.begin(),
                                             level.begin() + static_cast<std::ptrdiff_t>(count));
        while (nodes.size() > 1) {
            std::vector<TFilterParseNode*> up;
            for (std::size_t i = 0; i + 1 < nodes.size(); i += 2)
                up.push_back(expr.NewNode(nkOperator, engine::opOr, {}, nodes[i], nodes[i + 1]));
            nodes = up;
        }
        return nodes.front();
    };
    const auto fits = expr.BuildBlob(*join(128));
    EXPECT_EQ(fits.size(), 10 + 128 * (12 + 12 + 5 + 14 + 255) + 127 * 12);
    EXPECT_TRUE(EngineReads(fits));
    EXPECT_EQ(MessageOf([&] { expr.BuildBlob(*join(256)); }), components::kFilterTooLarge);
}

}  // namespace
