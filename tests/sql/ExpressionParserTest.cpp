#include "sql/ExpressionParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/EngineStrings.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"
#include "tests/rtl/CommaSettings.h"
#include "tests/sql/ParseSupport.h"

namespace {

using namespace sql;
using engine::TExprNode;
using sqltest::AllFlags;
using sqltest::ParseAll;
using sqltest::ParseError;
using sqltest::Shape;

struct ShapeCase {
    std::string text;
    std::string tree;
};

// Shorthands for the leaves the shapes are made of.
std::string Col(const std::string& name) {
    return "(Field/0/0 \"" + name + "\")";
}
std::string Int(const std::string& digits) {
    return "(Constant/0/6 \"" + digits + "\")";
}

TEST(ExpressionParser, ShapeTable) {
    const std::string a = Col("a"), b = Col("b"), c = Col("c");
    const std::string null = "(Constant/0/0 \"NULL\" null)";
    const std::vector<ShapeCase> cases = {
        // Arithmetic groups from the left; || stands on the level of + and -.
        {"10 - 5 - 2",
         "(Binary/18/6 \"-\" (Binary/18/6 \"-\" " + Int("10") + " " + Int("5") + ") " + Int("2") + ")"},
        {"8 / 4 / 2",
         "(Binary/20/6 \"/\" (Binary/20/6 \"/\" " + Int("8") + " " + Int("4") + ") " + Int("2") + ")"},
        {"1 - 2 * 3",
         "(Binary/18/6 \"-\" " + Int("1") + " (Binary/19/6 \"*\" " + Int("2") + " " + Int("3") + "))"},
        {"a || b + c", "(Binary/17/0 \"+\" (Binary/17/0 \"||\" " + a + " " + b + ") " + c + ")"},
        {"'x' | | a", "(Binary/17/1 \"||\" (Constant/0/1 \"x\") " + a + ")"},
        {"-5 * a", "(Binary/19/6 \"*\" (Unary/15/6 \"-\" " + Int("5") + ") " + a + ")"},
        {"+a", "(Unary/16/0 \"+\" " + a + ")"},
        // AND binds tighter than OR; each groups to the right; NOT takes a whole comparison.
        {"x = 1 AND y = 2 OR z = 3", "(Binary/11/4 \"OR\" (Binary/10/4 \"AND\" (Binary/3/4 \"=\" " +
                                         Col("x") + " " + Int("1") + ") (Binary/3/4 \"=\" " + Col("y") + " " +
                                         Int("2") + ")) (Binary/3/4 \"=\" " + Col("z") + " " + Int("3") +
                                         "))"},
        {"a or b and c", "(Binary/11/4 \"or\" " + a + " (Binary/10/4 \"and\" " + b + " " + c + "))"},
        {"a AND b AND c", "(Binary/10/4 \"AND\" " + a + " (Binary/10/4 \"AND\" " + b + " " + c + "))"},
        {"NOT a = b", "(Unary/9/4 \"NOT\" (Binary/3/4 \"=\" " + a + " " + b + "))"},
        {"NOT x IS NULL", "(Unary/9/4 \"NOT\" (Binary/3/4 \"IS NULL\" " + Col("x") + " " + null + "))"},
        {"Not not a AND b",
         "(Binary/10/4 \"AND\" (Unary/9/4 \"Not\" (Unary/9/4 \"not\" " + a + ")) " + b + ")"},
        {"(a OR b) AND c", "(Binary/10/4 \"AND\" (Binary/11/4 \"OR\" " + a + " " + b + ") " + c + ")"},
        // Inside an operand NOT still takes a primary, and a comparison's right side is a comparison.
        {"a = NOT b", "(Binary/3/4 \"=\" " + a + " (Unary/9/4 \"NOT\" " + b + "))"},
        {"a = b = c", "(Binary/3/4 \"=\" " + a + " (Binary/3/4 \"=\" " + b + " " + c + "))"},
        // Two-character comparisons are two tokens; the text shows them with one blank.
        {"a < /* c */ > b", "(Binary/4/4 \"< >\" " + a + " " + b + ")"},
        {"a<=b", "(Binary/8/4 \"< =\" " + a + " " + b + ")"},
        {"a > = b", "(Binary/7/4 \"> =\" " + a + " " + b + ")"},
        {"a < b", "(Binary/6/4 \"<\" " + a + " " + b + ")"},
        // IS NULL is = NULL, IS NOT NULL is <> NULL, with the keywords as written.
        {"a = NULL", "(Binary/3/4 \"=\" " + a + " " + null + ")"},
        {"a is not Null", "(Binary/4/4 \"is not Null\" " + a + " (Constant/0/0 \"Null\" null))"},
        // Predicates: items in Items; the NOT forms of LIKE and IN carry only LIKE and IN.
        {"a NOT LIKE 'x%'", "(Predicate/41/4 \"LIKE\" " + a + " (Constant/0/1 \"x%\"))"},
        {"a not between 1 and 2 AND b", "(Binary/10/4 \"AND\" (Predicate/40/4 \"not between\" " + a + " [" +
                                            Int("1") + " " + Int("2") + "]) " + b + ")"},
        {"a NOT IN (1)", "(Predicate/42/4 \"IN\" " + a + " [" + Int("1") + "])"},
        {"x IN (a + 1, 2)", "(Predicate/32/4 \"IN\" " + Col("x") + " [(Binary/17/0 \"+\" " + a + " " +
                                Int("1") + ") " + Int("2") + "])"},
        // Functions.
        {"substring(s FROM 2 FOR 3)",
         "(Function/43/1 \"substring\" " + Col("s") + " [" + Int("2") + " " + Int("3") + "])"},
        {"SUBSTRING(s FROM 2)", "(Function/43/1 \"SUBSTRING\" " + Col("s") + " [" + Int("2") + "])"},
        {"TRIM(LEADING 'x' FROM s || 'y')", "(Function/44/1 \"TRIM\" (Binary/17/0 \"||\" " + Col("s") +
                                                " (Constant/0/1 \"y\")) (Constant/0/1 \"x\"))"},
        {"TRIM(trailing 'x' FROM s)", "(Function/45/1 \"TRIM\" " + Col("s") + " (Constant/0/1 \"x\"))"},
        {"EXTRACT(DAY FROM d)", "(Function/50/6 \"EXTRACT\" " + Col("d") + ")"},
        {"UPPER(a) = lower(b)",
         "(Binary/3/4 \"=\" (Function/34/1 \"UPPER\" " + a + ") (Function/35/1 \"lower\" " + b + "))"},
        {"COUNT(*) + Avg(a)",
         "(Binary/17/0 \"+\" (Function/24/0 \"COUNT\" (Field/0/0 \"*\")) (Function/27/0 \"Avg\" " + a + "))"},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(Shape(c.text), c.tree) << c.text;
}

// The engine's evaluator computes the parsed trees as grouped.
TEST(ExpressionParser, ArithmeticEvaluatesAsGrouped) {
    struct Case {
        std::string text;
        std::int32_t value;
    };
    for (const Case& c :
         std::vector<Case>{{"10 - 5 - 2", 3}, {"2 * 3 - 1", 5}, {"1 - 2 * 3", -5}, {"-(1 - 4)", 3}}) {
        const auto tree = ParseAll(c.text);
        engine::ExprValue result = tree->Value;
        engine::EvaluateExpr(*tree, nullptr, nullptr, nullptr, 0, 0, result);
        EXPECT_EQ(result.GetInt32(), c.value) << c.text;
    }
}

// The four clauses of a statement, by their flags and context texts.
struct Clause {
    ParseFlags flags;
    std::string context;
};
const Clause kSelectList{pfAggregates | pfAllColumns, "source columns"};
const Clause kTargets{0, "table columns"};
const Clause kValues{pfParameters, "values"};
const Clause kWhere{pfPredicates | pfParameters, "WHERE or JOIN clause"};

TEST(ExpressionParser, ContextFlagMatrix) {
    struct Case {
        std::string text;
        std::string refusal;  // the message without its context
        std::vector<const Clause*> allowedIn;
    };
    const std::vector<Case> cases = {
        {"COUNT(a)", "Aggregate functions are not allowed in ", {&kSelectList}},
        {"*", "* (all columns) symbol is not allowed in ", {&kSelectList}},
        {"t.*", "* (all columns) symbol is not allowed in ", {&kSelectList}},
        {"a LIKE 'x'",
         "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in ",
         {&kWhere}},
        {"a IS NULL",
         "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in ",
         {&kWhere}},
        {"?", "Parameters are not allowed in ", {&kValues, &kWhere}},
    };
    for (const Case& c : cases) {
        for (const Clause* clause : {&kSelectList, &kTargets, &kValues, &kWhere}) {
            const bool allowed =
                std::find(c.allowedIn.begin(), c.allowedIn.end(), clause) != c.allowedIn.end();
            if (allowed) {
                EXPECT_NE(ParseAll(c.text, clause->flags, clause->context), nullptr) << c.text;
            } else {
                EXPECT_EQ(ParseError(c.text, clause->flags, clause->context), c.refusal + clause->context)
                    << c.text;
            }
        }
    }
}

TEST(ExpressionParser, ErrorTable) {
    struct Case {
        std::string text;
        std::string message;  // the context "WHERE or JOIN clause" follows
        ParseFlags flags = AllFlags;
    };
    const std::vector<Case> cases = {
        // After NOT in a comparison the message reads " in ", everywhere else " found in ".
        {"a NOT = b", "Unknown or unexpected symbol '=' in "},
        {"a IS 1", "Unknown or unexpected symbol '1' found in "},
        {"a IS NOT 1", "Unknown or unexpected symbol '1' found in "},
        {"a IN ()", "Unknown or unexpected symbol ')' found in "},
        {"- - 5", "Unknown or unexpected symbol '-' found in "},
        {"a =", "Unknown or unexpected symbol '' found in "},
        {"a BETWEEN 1 OR 2", "Expected AND operator in BETWEEN operator, instead found 'OR' in "},
        {"a NOT IN 1", "Expected left parentheses for IN operator, instead found '1' in "},
        {"a IN 1", "Expected left parentheses after IN operator, instead found '1' in "},
        {"a IN (1, 2", "Expected right parentheses after IN operator, instead found '' in "},
        {"a | b",
         "Second concatenation symbol '|' expected after first concatentation symbol, instead found 'b' in "},
        {"SUM(a)", "Aggregate functions are not allowed in ", pfPredicates},
        {"count a", "Left parentheses expectedafter aggregate function 'count', instead found 'a' in "},
        {"Sum(a", "Right parentheses expected after aggregate Sum function argument, instead found '' in "},
        {"LOWER a", "Left parentheses expectedafter LOWER keyword, instead found 'a' in "},
        {"UPPER a", "Left parentheses expectedafter UPPER keyword, instead found 'a' in "},
        {"LOWER(x", "Right parentheses expected after LOWER function argument, instead found '' in "},
        {"upper(a b)", "Right parentheses expected after UPPER function argument, instead found 'b' in "},
        {"SUBSTRING a", "Left parentheses expected after SUBSTRING keyword, instead found 'a' in "},
        {"SUBSTRING(a, 1)",
         "FROM keyword expected after first SUBSTRING function argument, instead found ',' in "},
        {"SUBSTRING(a FROM 1 FOR 2",
         "Right parentheses expected after SUBSTRING function arguments, instead found '' in "},
        {"TRIM a", "Left parentheses expected after TRIM keyword, instead found 'a' in "},
        {"TRIM(a)", "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found 'a' in "},
        {"TRIM(BOTH 'x' IN a)",
         "FROM keyword expected after second TRIM function argument, instead found 'IN' in "},
        {"TRIM(BOTH 'x' FROM a",
         "Right parentheses expected after TRIM function arguments, instead found '' in "},
        {"EXTRACT a", "Left parentheses expected after EXTRACT keyword, instead found 'a' in "},
        {"EXTRACT(HOUR FROM d)",
         "YEAR, MONTH, or DAY keyword expected after EXTRACT keyword, instead found 'HOUR' in "},
        {"EXTRACT(YEAR d)",
         "FROM keyword expected after second EXTRACT function argument, instead found 'd' in "},
        {"EXTRACT(YEAR FROM d",
         "Right parentheses expected after EXTRACT function arguments, instead found '' in "},
        {"foo(1)", "Unknown or unexpected function 'foo' found in "},
        {"t.1",
         "Symbol or string expression expected after table correlation name separator '.', instead found '1' "
         "in "},
        {"(a = 1", "Right parentheses expected, instead found '' in "},
        {"*", "* (all columns) symbol is not allowed in ", pfPredicates},
        {"?", "Parameters are not allowed in ", pfPredicates},
        {"a LIKE b", "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in ", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseError(c.text, c.flags), c.message + "WHERE or JOIN clause") << c.text;
    }
}

// A column whose name is a word the parser knows must be bracketed.
TEST(ExpressionParser, WordsThatStartFunctionsOrConstants) {
    EXPECT_EQ(Shape("[DATE] = [count]"), "(Binary/3/4 \"=\" " + Col("DATE") + " " + Col("count") + ")");
    EXPECT_EQ(ParseError("COUNT", pfPredicates),
              "Aggregate functions are not allowed in WHERE or JOIN clause");
    EXPECT_EQ(ParseError("COUNT"),
              "Left parentheses expectedafter aggregate function 'COUNT', instead found '' in WHERE or JOIN "
              "clause");
    EXPECT_EQ(Shape("NULL"), "(Constant/0/0 \"NULL\" null)");
}

TEST(ExpressionParser, QuotedTextConstants) {
    const auto quotedTrue = ParseAll("'TRUE'");
    EXPECT_EQ(sqltest::PrintTree(quotedTrue.get()), "(Constant/0/4 \"TRUE\")");
    EXPECT_EQ(quotedTrue->Value.Size, 2);
    EXPECT_EQ(quotedTrue->Value.GetUInt16(), 1);
    const auto quotedFalse = ParseAll("\"false\"");
    EXPECT_EQ(quotedFalse->Value.FieldType, engine::FieldTypeBoolean);
    EXPECT_EQ(quotedFalse->Value.GetUInt16(), 0);
    EXPECT_EQ(quotedFalse->Text, "false");

    const auto empty = ParseAll("''");
    EXPECT_EQ(sqltest::PrintTree(empty.get()), "(Constant/0/1 \"\" null)");
    EXPECT_EQ(empty->Value.Size, 1);

    // A doubled quote is one character of the constant; the quote is remembered for the type checker.
    const auto single = ParseAll("'it''s'");
    EXPECT_EQ(single->Text, "it's");
    EXPECT_EQ(single->Value.GetText(), "it's");
    EXPECT_EQ(single->Value.Size, 5);
    EXPECT_EQ(single->Value.IsNull, 0);
    EXPECT_EQ(single->Quote, '\'');
    const auto twice = ParseAll("\"Last \"\"Name\"\"\"");
    EXPECT_EQ(twice->Value.GetText(), "Last \"Name\"");
    EXPECT_EQ(twice->Quote, '"');
    EXPECT_EQ(ParseAll("[b]")->Quote, 0);
    EXPECT_EQ(ParseAll("TRUE")->Quote, 0);
}

TEST(ExpressionParser, KeywordConstants) {
    const auto yes = ParseAll("True");
    EXPECT_EQ(sqltest::PrintTree(yes.get()), "(Constant/0/4 \"True\")");
    EXPECT_EQ(yes->Value.GetUInt16(), 1);
    EXPECT_EQ(yes->Value.Size, 2);
    EXPECT_EQ(ParseAll("FALSE")->Value.GetUInt16(), 0);
    const auto parameter = ParseAll("?");
    EXPECT_EQ(sqltest::PrintTree(parameter.get()), "(Constant/0/0 \"?\" param)");

    // The clock is read when the statement is parsed.
    rtl::FixedClock clock(rtl::EncodeDateTime(2000, 2, 29, 23, 59, 59, 999));
    const auto today = ParseAll("date");
    EXPECT_EQ(sqltest::PrintTree(today.get()), "(Constant/0/2 \"date\")");
    EXPECT_EQ(today->Value.Size, 4);
    EXPECT_EQ(today->Value.GetInt32(), 730179);
    const auto now = ParseAll("NOW");
    EXPECT_EQ(now->Value.FieldType, engine::FieldTypeDateTime);
    EXPECT_EQ(now->Value.Size, 8);
    EXPECT_EQ(now->Value.GetDouble(), 730179.0 * 86400000.0 + 86399999.0);
}

TEST(ExpressionParser, Numbers) {
    const auto largest = ParseAll("2147483647");
    EXPECT_EQ(largest->Value.GetInt32(), 2147483647);
    EXPECT_EQ(largest->Value.Size, 4);
    EXPECT_THROW(ParseAll("2147483648"), rtl::EConvertError);
    EXPECT_THROW(ParseAll("1.2.3"), rtl::EConvertError);
    EXPECT_THROW(ParseAll("1E"), rtl::EConvertError);
    EXPECT_THROW(ParseAll("1e999"), rtl::EConvertError);

    const auto half = ParseAll("1.5");
    EXPECT_EQ(sqltest::PrintTree(half.get()), "(Constant/0/7 \"1.5\")");
    EXPECT_EQ(half->Value.Size, 8);
    EXPECT_EQ(half->Value.GetDouble(), 1.5);
    EXPECT_EQ(ParseAll("3.")->Value.GetDouble(), 3.0);
    EXPECT_EQ(ParseAll("2.5e-4")->Value.GetDouble(), 2.5e-4);

    // A number converts from its whole text; the node's text is a short string.
    const std::string zeros(300, '0');
    const auto padded = ParseAll(zeros + "7");
    EXPECT_EQ(padded->Value.GetInt32(), 7);
    EXPECT_EQ(padded->Text, zeros.substr(0, 255));
    EXPECT_EQ(ParseAll("0." + zeros + "15")->Value.GetDouble(), 1.5e-301);
}

TEST(ExpressionParser, NumbersReadUnderTheSettingsInForce) {
    rtl::FormatSettingsGuard comma(rtl_test::CommaSettings());
    // The statement parser installs the US settings, as ParseAll does.
    EXPECT_EQ(ParseAll("1.5")->Value.GetDouble(), 1.5);
    TExpressionParser parser(nullptr);
    parser.SetStatement("1.5");
    parser.NextToken();
    EXPECT_THROW(parser.ParseCondition(AllFlags, "values"), rtl::EConvertError);
}

TEST(ExpressionParser, Correlations) {
    struct Case {
        std::string text;
        std::string nodeText;
        std::string correlation;
        std::string column;
    };
    const std::vector<Case> cases = {
        {"t.*", "t.*", "t", "*"},
        {"[dir/cust.dat].name", "dir/cust.dat.name", "cust", "name"},
        {"[c:\\data\\cust.dat].[Last Name]", "c:\\data\\cust.dat.Last Name", "cust", "Last Name"},
        {"\"t\".col", "t.col", "t", "col"},
        {"'t'.\"it\"\"s\"", "t.it\"s", "t", "it\"s"},
        {"[c].[name]", "c.name", "c", "name"},
        {"t.date", "t.date", "t", "date"},
    };
    for (const Case& c : cases) {
        const auto column = ParseAll(c.text);
        EXPECT_EQ(column->NodeClass, engine::ncField) << c.text;
        EXPECT_EQ(column->Text, c.nodeText) << c.text;
        EXPECT_EQ(column->Correlation, c.correlation) << c.text;
        EXPECT_EQ(column->ColumnName, c.column) << c.text;
    }
    const std::string expected =
        "Symbol or string expression expected after table correlation name separator '.', "
        "instead found 'name' in WHERE or JOIN clause";
    EXPECT_EQ(ParseError("c.[name]"), expected);
    EXPECT_EQ(ParseError("'c'.[name]"), expected);
    // Long names qualify each other in full; the node's text is cut to a short string.
    const std::string n(255, 'n'), m(255, 'm');
    const auto longest = ParseAll("[" + n + "].[" + m + "]");
    EXPECT_EQ(longest->Correlation, n);
    EXPECT_EQ(longest->ColumnName, m);
    EXPECT_EQ(longest->Text, engine::ShortString(n + "." + m));
}

// Each level reads its construct and leaves the token after it current for the caller.
TEST(ExpressionParser, EachLevelStopsAfterItsConstruct) {
    using Level = std::unique_ptr<TExprNode> (TExpressionParser::*)(ParseFlags, std::string_view);
    struct Case {
        Level level;
        std::string text;
        std::string tree;
        std::string next;
    };
    const std::vector<Case> cases = {
        {&TExpressionParser::ParseCondition, "a OR b)",
         "(Binary/11/4 \"OR\" " + Col("a") + " " + Col("b") + ")", ")"},
        {&TExpressionParser::ParseComparison, "a = b AND c",
         "(Binary/3/4 \"=\" " + Col("a") + " " + Col("b") + ")", "AND"},
        {&TExpressionParser::ParseSum, "a - b = c", "(Binary/18/0 \"-\" " + Col("a") + " " + Col("b") + ")",
         "="},
        {&TExpressionParser::ParseTerm, "a * b + c", "(Binary/19/0 \"*\" " + Col("a") + " " + Col("b") + ")",
         "+"},
        {&TExpressionParser::ParseUnary, "-a * b", "(Unary/15/0 \"-\" " + Col("a") + ")", "*"},
        {&TExpressionParser::ParsePrimary, "[a] = 1", Col("a"), "="},
    };
    for (const Case& c : cases) {
        TExpressionParser parser(nullptr);
        parser.SetStatement(c.text);
        parser.NextToken();
        EXPECT_EQ(sqltest::PrintTree((parser.*c.level)(AllFlags, "values").get()), c.tree) << c.text;
        EXPECT_EQ(parser.TokenText(), c.next) << c.text;
    }
}

}  // namespace
