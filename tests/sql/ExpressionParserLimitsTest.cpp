// The parser's size and depth limits: over-long names, constants and texts, deep nesting and long chains are
// refused with an error, and trees up to the limits parse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "sql/ExpressionParser.h"
#include "tests/sql/ParseSupport.h"

namespace {

using engine::ExprTreeDepth;
using engine::MaxExprDepth;
using sqltest::ParseAll;
using sqltest::ParseError;

const std::string kTooComplex = "Expression too complex in WHERE or JOIN clause";

std::string Repeat(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += part;
    return text;
}

TEST(ExpressionParserLimits, StringConstantsAndNames) {
    const auto constant = ParseAll("'" + std::string(254, 'c') + "'");
    EXPECT_EQ(constant->Value.GetText(), std::string(254, 'c'));
    EXPECT_EQ(constant->Value.Size, 255);
    const std::string tooLong = "String constant exceeds maximum length of 254 characters in SQL statement";
    EXPECT_EQ(ParseError("a = '" + std::string(255, 'c') + "'"), tooLong);
    EXPECT_EQ(ParseError("a IN (\"" + std::string(300, 'c') + "\")"), tooLong);

    EXPECT_EQ(ParseAll(std::string(255, 'n'))->ColumnName, std::string(255, 'n'));
    const std::string nameTooLong = "Name exceeds maximum length of 255 characters in SQL statement";
    for (const std::string& text :
         {std::string(256, 'n'), "[" + std::string(256, 'n') + "]", "t." + std::string(256, 'n'),
          "'" + std::string(256, 'n') + "'.c", std::string(256, 'n') + "(1)"}) {
        EXPECT_EQ(ParseError(text), nameTooLong) << text.substr(0, 3);
    }
}

TEST(ExpressionParserLimits, DeepestTreeParses) {
    // One level stays free for the type checker.
    const int levels = MaxExprDepth - 1;
    for (const std::string& text : {
             Repeat("NOT ", levels - 1) + "a",                          // nested to the right
             "1" + Repeat(" + 1", levels - 1),                          // a chain grouped to the left
             Repeat("a = ", levels - 1) + "b",                          // comparisons to the right
             Repeat("a OR ", levels - 1) + "b",                         // a chain of ORs
             Repeat("-(", levels - 1) + "a" + Repeat(")", levels - 1),  // unary operands
             Repeat("UPPER(", levels - 1) + "a" + Repeat(")", levels - 1),
         }) {
        EXPECT_EQ(ExprTreeDepth(ParseAll(text).get()), levels) << text.substr(0, 12);
    }
    // The items of a list stand one level below it however many there are.
    std::string list = "a IN (0";
    for (int i = 1; i < 5000; ++i) list += ", " + std::to_string(i);
    const auto in = ParseAll(list + ")");
    EXPECT_EQ(in->Items.size(), 5000u);
    EXPECT_EQ(ExprTreeDepth(in.get()), 2);
}

TEST(ExpressionParserLimits, OneLevelMoreIsRefused) {
    const int levels = MaxExprDepth;
    for (const std::string& text : {
             Repeat("NOT ", levels - 1) + "a",
             "1" + Repeat(" + 1", levels - 1),
             "1" + Repeat(" * 1", levels - 1) + " = 1",
             Repeat("a = ", levels - 1) + "b",
             Repeat("a AND ", levels - 1) + "b",
             Repeat("-(", levels - 1) + "a" + Repeat(")", levels - 1),
             Repeat("LOWER(", levels - 1) + "a" + Repeat(")", levels - 1),
             Repeat("a NOT IN (", levels - 1) + "a" + Repeat(")", levels - 1),
             "a = " + Repeat("(1 + ", levels - 2) + "1" + Repeat(")", levels - 2),
             // Far beyond.
             Repeat("NOT ", 300) + "a",
             "1" + Repeat(" + 1", 299),
             Repeat("SUBSTRING(", 300) + "a",
         }) {
        EXPECT_EQ(ParseError(text), kTooComplex) << text.substr(0, 12);
    }
}

TEST(ExpressionParserLimits, ParenthesesNestAtMostTheDepthLimit) {
    const int deepest = MaxExprDepth;
    EXPECT_EQ(ParseAll(Repeat("(", deepest) + "a" + Repeat(")", deepest))->Text, "a");
    EXPECT_EQ(ParseError(Repeat("(", deepest + 1) + "a" + Repeat(")", deepest + 1)), kTooComplex);
    EXPECT_EQ(ParseError(Repeat("(", 10000)), kTooComplex);
    // The deepest parentheses around the deepest tree: the parser's own recursion at its limit.
    const int levels = MaxExprDepth - 1;
    const std::string deepest_both =
        Repeat("(", deepest - (levels - 1)) + Repeat("-(", levels - 1) + "a" + Repeat(")", deepest);
    EXPECT_EQ(ExprTreeDepth(ParseAll(deepest_both).get()), levels);
}

}  // namespace
