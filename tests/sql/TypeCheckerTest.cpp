#include "sql/TypeChecker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/LocaleSettings.h"
#include "rtl/FormatSettings.h"
#include "rtl/Text.h"
#include "tests/rtl/CommaSettings.h"
#include "tests/sql/ParseSupport.h"

namespace {

using engine::TExprNode;
using sql::RowAccess;
using sqltest::PrintTree;
using sqltest::WhereContext;
using NodePtr = std::unique_ptr<TExprNode>;

constexpr std::string_view SourceColumns = "source columns";
constexpr std::string_view UpdateValues = "update values";

// The columns of two tables, a and b, as a statement's resolver would find them.
struct TestColumn {
    std::string table;
    std::string name;
    std::uint8_t type;
    std::uint8_t subType;
    std::uint8_t size;
    std::uint8_t scale;
};

const std::vector<TestColumn> kColumns = {
    {"a", "Name", 1, 0, 21, 0},   {"a", "City", 1, 0, 21, 0}, {"a", "s", 1, 0, 11, 0},
    {"a", "s3", 1, 0, 3, 0},      {"a", "s4", 1, 0, 4, 0},    {"a", "long1", 1, 0, 200, 0},
    {"a", "long2", 1, 0, 200, 0}, {"a", "a", 6, 0, 4, 0},     {"a", "si", 5, 0, 2, 0},
    {"a", "w", 12, 0, 2, 0},      {"a", "f", 7, 0, 8, 0},     {"a", "money", 7, 21, 8, 0},
    {"a", "bcd", 8, 0, 8, 2},     {"a", "d", 2, 0, 4, 0},     {"a", "d2", 2, 0, 4, 0},
    {"a", "tm", 10, 0, 4, 0},     {"a", "tm2", 10, 0, 4, 0},  {"a", "dt", 11, 0, 8, 0},
    {"a", "dt2", 11, 0, 8, 0},    {"a", "flag", 4, 0, 2, 0},  {"a", "memo", 3, 0, 4, 0},
    {"a", "lw", 13, 0, 4, 0},     {"b", "x", 6, 0, 4, 0},
};

// Resolves as the statement object does: the first table with the column, or the named table's column.
bool ResolveTestColumn(TExprNode& node) {
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        const TestColumn& column = kColumns[i];
        if (!node.Correlation.empty() && !rtl::AnsiSameText(node.Correlation, column.table)) continue;
        if (!rtl::AnsiSameText(node.ColumnName, column.name)) continue;
        node.FieldNo = static_cast<std::uint16_t>(i + 1);
        node.Correlation = column.table;
        node.Value.FieldType = column.type;
        node.Value.SubType = column.subType;
        node.Value.Size = column.size;
        node.Value.Scale = column.scale;
        return true;
    }
    return false;
}

// The tree with every node's type fields, quote origin and (for constants) leading value bytes, so that two
// checks of one tree compare whole.
void PrintTyped(const TExprNode* node, std::string& out) {
    if (node == nullptr) {
        out += '_';
        return;
    }
    out += '(' + std::to_string(node->NodeClass) + '/' + std::to_string(node->Operator) + " \"" + node->Text +
           "\" " + std::to_string(node->Value.FieldType) + '.' + std::to_string(node->Value.SubType) + '.' +
           std::to_string(node->Value.Size) + '.' + std::to_string(node->Value.Scale);
    if (node->FromString != 0) out += " from-string";
    if (node->NodeClass == engine::ncConstant) out += " #" + std::to_string(node->Value.GetInt64());
    for (const TExprNode* child : {node->Left.get(), node->Right.get()}) {
        out += ' ';
        PrintTyped(child, out);
    }
    for (const auto& item : node->Items) {
        out += ' ';
        PrintTyped(item.get(), out);
    }
    out += ')';
}

std::string Typed(const TExprNode* node) {
    std::string out;
    PrintTyped(node, out);
    return out;
}

void CheckOnce(TExprNode& tree, std::string_view context, RowAccess access) {
    engine::LocaleFormatSwap us(0, 0);
    sql::CheckExprTypes(engine::ErrSql, context, tree, ResolveTestColumn, access);
}

// The text parsed and checked; every tree is checked a second time, which must change nothing.
NodePtr Checked(std::string_view text, std::string_view context = WhereContext,
                RowAccess access = RowAccess::Record) {
    NodePtr tree = sqltest::ParseAll(text);
    CheckOnce(*tree, context, access);
    const std::string first = Typed(tree.get());
    CheckOnce(*tree, context, access);
    EXPECT_EQ(Typed(tree.get()), first) << text << ": a second check changed the tree";
    return tree;
}

std::string CheckError(std::string_view text, std::string_view context = WhereContext,
                       RowAccess access = RowAccess::Record) {
    NodePtr tree = sqltest::ParseAll(text);
    return sqltest::SqlError([&] { CheckOnce(*tree, context, access); });
}

struct TypeCase {
    std::string text;
    int type;
    int subType;
    int size;
    int scale;
};

void ExpectTypes(const std::vector<TypeCase>& cases, std::string_view context = WhereContext) {
    for (const TypeCase& c : cases) {
        const NodePtr tree = Checked(c.text, context);
        EXPECT_EQ(tree->Value.FieldType, c.type) << c.text;
        EXPECT_EQ(tree->Value.SubType, c.subType) << c.text;
        EXPECT_EQ(tree->Value.Size, c.size) << c.text;
        EXPECT_EQ(tree->Value.Scale, c.scale) << c.text;
    }
}

TEST(TypeChecker, ResultTypesOfOperators) {
    ExpectTypes({
        {"si + a", 6, 0, 4, 0},       {"a + f", 7, 0, 8, 0},           {"a + bcd", 8, 0, 8, 2},
        {"bcd + f", 7, 0, 8, 2},      {"w - a", 12, 0, 4, 0},          {"d + a", 2, 0, 4, 0},
        {"a + d", 2, 0, 4, 0},        {"d - d2", 6, 0, 4, 0},          {"dt - dt2", 7, 0, 8, 0},
        {"tm - tm2", 6, 0, 4, 0},     {"a / a", 7, 0, 4, 0},           {"a * 2.5", 7, 0, 8, 0},
        {"money + a", 7, 21, 8, 0},   {"a + money", 7, 21, 8, 0},      {"a - money", 7, 0, 8, 0},
        {"money * 2", 7, 21, 8, 0},   {"-money", 7, 21, 8, 0},         {"+w", 12, 0, 2, 0},
        {"Name < City", 4, 0, 21, 0}, {"a = 1 AND f > 2", 4, 0, 8, 0}, {"NOT a = 1", 4, 0, 4, 0},
        {"a = NULL", 4, 0, 4, 0},     {"d IS NOT NULL", 4, 0, 4, 0},   {"Name IS NULL", 4, 0, 21, 0},
        {"flag = TRUE", 4, 0, 2, 0},  {"dt > d", 4, 0, 8, 0},
    });
}

// NULL stands on the right of = and <> with every type that compares at all.
TEST(TypeChecker, NullComparesWithEveryComparableType) {
    for (const std::string column : {"Name", "d", "flag", "si", "a", "f", "bcd", "tm", "dt", "w", "money"}) {
        for (const std::string form : {" = NULL", " <> NULL", " IS NULL", " IS NOT NULL"}) {
            const NodePtr tree = Checked(column + form);
            EXPECT_EQ(tree->Value.FieldType, engine::FieldTypeBoolean) << column << form;
        }
    }
}

void WordThree(void*, void*, const TExprNode&, engine::ExprValue& value) {
    value.SetUInt16(3);
    value.IsNull = 0;
}

// A word minus an integer stays a word, so the evaluator's 32-bit difference reads back in 16 bits.
TEST(TypeChecker, WordMinusIntegerStaysAWord) {
    const NodePtr tree = Checked("w - 5");
    ASSERT_EQ(tree->Value.FieldType, engine::FieldTypeWord);
    engine::ExprValue result = tree->Value;
    engine::EvaluateExpr(*tree, nullptr, nullptr, &WordThree, 0, 0, result);
    EXPECT_EQ(result.GetUInt16(), 65534);
}

struct ErrorCase {
    std::string text;
    std::string_view context;
    std::string message;
};

void ExpectErrors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) EXPECT_EQ(CheckError(c.text, c.context), c.message) << c.text;
}

TEST(TypeChecker, OperatorMessages) {
    const std::string in = " in WHERE or JOIN clause";
    ExpectErrors({
        // NULL stands only on the right; a large object compares with nothing; 32-bit unsigned is in no rule.
        {"NULL = a", WhereContext, "Type mismatch between constant 'NULL' and column 'a'" + in},
        {"memo IS NULL", WhereContext, "Type mismatch between column 'memo' and constant 'NULL'" + in},
        {"lw = 1", WhereContext, "Type mismatch between column 'lw' and constant '1'" + in},
        {"Name + a", WhereContext, "Type mismatch between column 'Name' and column 'a'" + in},
        {"(a + 1) = Name", WhereContext, "Type mismatch between expression '+' and column 'Name'" + in},
        {"UPPER(Name) = 1", WhereContext, "Type mismatch between function 'UPPER' and constant '1'" + in},
        {"d - dt", WhereContext, "Type mismatch between column 'd' and column 'dt'" + in},
        // A predicate operand has no kind word, which leaves two blanks.
        {"(Name LIKE 'b') + 1", WhereContext, "Type mismatch between  'LIKE' and constant '1'" + in},
        {"NOT a", WhereContext, "Type mismatch between 'NOT' operator and 'a'" + in},
        {"-Name", SourceColumns, "Type mismatch between '-' operator and 'Name' in source columns"},
        {"-w", SourceColumns, "Type mismatch between '-' operator and 'w' in source columns"},
        {"a = 1 AND a", WhereContext, "Type mismatch between expression '=' and column 'a'" + in},
    });
}

TEST(TypeChecker, PredicateMessages) {
    const std::string in = " in WHERE or JOIN clause";
    ExpectErrors({
        {"a LIKE 'x%'", WhereContext, "Type mismatch between LIKE operator and expression 'a'" + in},
        {"Name NOT LIKE City", WhereContext,
         "Constant expression expected after NOT LIKE operator, instead found 'City'" + in},
        {"Name LIKE 5", WhereContext, "Type mismatch between LIKE operator and expression '5'" + in},
        {"a BETWEEN 1 AND si", WhereContext,
         "Constant expression expected after BETWEEN operator, instead found 'si'" + in},
        {"a NOT BETWEEN 1 + 1 AND 5", WhereContext,
         "Constant expression expected after NOT BETWEEN operator, instead found '+'" + in},
        {"a BETWEEN 1 AND 'x'", WhereContext,
         "Type mismatch between BETWEEN operator and expression 'x'" + in},
        {"a IN (1, si)", WhereContext,
         "Constant expression expected after IN operator, instead found 'si'" + in},
        {"a NOT IN (1, 'x')", WhereContext, "Type mismatch between NOT IN operator and expression 'x'" + in},
        {"d IN ('12/31/1999', 'soon')", WhereContext,
         "Date, time, or timestamp expression expected, instead found 'soon'" + in},
    });
    // Signed constants are constants.
    EXPECT_EQ(Checked("a NOT BETWEEN -1 AND +5")->Value.FieldType, engine::FieldTypeBoolean);
    EXPECT_EQ(Checked("f IN (-1.5, 2)")->Value.Size, 2);
}

// The "?" nodes of a tree, in the order they stand.
void CollectParams(TExprNode* node, std::vector<TExprNode*>& out) {
    if (node == nullptr) return;
    if (node->IsParam != 0) out.push_back(node);
    CollectParams(node->Left.get(), out);
    CollectParams(node->Right.get(), out);
    for (const auto& item : node->Items) CollectParams(item.get(), out);
}

// Before values are set a parameter passes in any position, and keeps no type it was lent; a strict check
// still refuses it where the rules do, and a deferred one still refuses the typed operands' faults.
TEST(TypeChecker, DeferredParametersPassAnywhereAndStayUntyped) {
    const std::string in = " in WHERE or JOIN clause";
    const std::vector<std::string> accepted = {
        "? > a",       "a > ?",       "? = Name",        "a + ? > 3",      "? * 2 < a",
        "-? < a",      "NOT (? > a)", "? LIKE 'x%'",     "Name LIKE ?",    "? BETWEEN 1 AND 2",
        "a IN (?, ?)", "? = ?",       "UPPER(?) = Name", "d > ? AND flag", "? AND a = 1",
    };
    for (const std::string& text : accepted) {
        SCOPED_TRACE(text);
        NodePtr tree = sqltest::ParseAll(text);
        engine::LocaleFormatSwap us(0, 0);
        sql::CheckExprTypes(engine::ErrSql, WhereContext, *tree, ResolveTestColumn, RowAccess::Record,
                            sql::ParamTyping::Deferred);
        const std::uint8_t type = tree->Value.FieldType;
        EXPECT_TRUE(type == engine::FieldTypeBoolean || type == engine::FieldTypeNone) << int{type};
        std::vector<TExprNode*> params;
        CollectParams(tree.get(), params);
        ASSERT_FALSE(params.empty());
        for (const TExprNode* param : params) {
            EXPECT_EQ(param->Value.FieldType, engine::FieldTypeNone);
            EXPECT_EQ(param->Value.Size, 0);
        }
    }
    ExpectErrors({
        {"? > a", WhereContext, "Type mismatch between constant '?' and column 'a'" + in},
        {"? LIKE 'x%'", WhereContext, "Type mismatch between LIKE operator and expression '?'" + in},
    });
    struct Refused {
        std::string text;
        std::string message;
    };
    const std::vector<Refused> refused = {
        {"? > a AND Name > 1", "Type mismatch between column 'Name' and constant '1'" + in},
        {"a LIKE ?", "Type mismatch between LIKE operator and expression 'a'" + in},
        {"a + ? > Name", "Type mismatch between expression '+' and column 'Name'" + in},
        {"a IN (?, 'x')", "Type mismatch between IN operator and expression 'x'" + in},
    };
    for (const Refused& r : refused) {
        NodePtr tree = sqltest::ParseAll(r.text);
        engine::LocaleFormatSwap us(0, 0);
        EXPECT_EQ(sqltest::SqlError([&] {
                      sql::CheckExprTypes(engine::ErrSql, WhereContext, *tree, ResolveTestColumn,
                                          RowAccess::Record, sql::ParamTyping::Deferred);
                  }),
                  r.message)
            << r.text;
    }
}

TEST(TypeChecker, ColumnMessages) {
    ExpectErrors({
        {"q.a = 1", WhereContext,
         "Invalid column name 'a' or table correlation name 'q' specified in WHERE or JOIN clause"},
        {"zz", SourceColumns,
         "Invalid column name 'zz' or table correlation name '' specified in source columns"},
        {"b.Name", SourceColumns,
         "Invalid column name 'Name' or table correlation name 'b' specified in source columns"},
    });
    const NodePtr column = Checked("b.x", SourceColumns);
    EXPECT_EQ(column->FieldNo, kColumns.size());
    EXPECT_EQ(column->Value.FieldType, engine::FieldTypeInteger);
}

TEST(TypeChecker, FunctionMessages) {
    const std::string in = " in source columns";
    ExpectErrors({
        {"MIN(Name)", SourceColumns,
         "MIN aggregate function must contain a numeric, date, time, or timestamp expression" + in},
        {"MAX(flag)", SourceColumns,
         "MAX aggregate function must contain a numeric, date, time, or timestamp expression" + in},
        {"UPPER(a)", SourceColumns, "Type mismatch between UPPER function and function argument" + in},
        {"LOWER(d)", SourceColumns, "Type mismatch between LOWER function and function argument" + in},
        {"SUBSTRING(a FROM 1)", SourceColumns,
         "Expression argument of SUBSTRING function must be a string" + in},
        {"SUBSTRING(s FROM 0)", SourceColumns,
         "FROM argument of SUBSTRING function must be an integer constant between 1 and 250" + in},
        {"SUBSTRING(s FROM 251)", SourceColumns,
         "FROM argument of SUBSTRING function must be an integer constant between 1 and 250" + in},
        {"SUBSTRING(s FROM 'x')", SourceColumns,
         "FROM argument of SUBSTRING function must be an integer constant" + in},
        {"SUBSTRING(s FROM a)", SourceColumns,
         "FROM argument of SUBSTRING function must be an integer constant" + in},
        {"SUBSTRING(s FROM 1 FOR 0)", SourceColumns,
         "FOR argument of SUBSTRING function must be an integer constant between 1 and 250" + in},
        {"SUBSTRING(s FROM 1 FOR 1.5)", SourceColumns,
         "FOR argument of SUBSTRING function must be an integer constant" + in},
        {"TRIM(BOTH 'ab' FROM s)", SourceColumns,
         "Trim character argument of TRIM function must be a single character constant" + in},
        {"TRIM(LEADING '' FROM s)", SourceColumns,
         "Trim character argument of TRIM function must be a single character constant" + in},
        {"TRIM(TRAILING 'a' FROM a)", SourceColumns, "FROM argument of TRIM function must be a string" + in},
        {"EXTRACT(YEAR FROM tm)", SourceColumns,
         "FROM argument of EXTRACT function must be a date or date and time" + in},
    });
    // A negative length cannot be written (the parser takes no sign there), but a tree may carry one.
    NodePtr tree = sqltest::ParseAll("SUBSTRING(s FROM 1 FOR 1)");
    tree->Items[1]->Value.SetInt32(-1);
    EXPECT_EQ(sqltest::SqlError([&] { CheckOnce(*tree, SourceColumns, RowAccess::Record); }),
              "FOR argument of SUBSTRING function must be an integer constant between 1 and 250" + in);
}

TEST(TypeChecker, FunctionTypes) {
    ExpectTypes(
        {
            {"UPPER(Name)", 1, 0, 21, 0},
            {"LOWER(s)", 1, 0, 11, 0},
            {"TRIM(BOTH 'a' FROM s)", 1, 0, 11, 0},
            {"EXTRACT(MONTH FROM d)", 6, 0, 4, 0},
            {"EXTRACT(DAY FROM dt)", 6, 0, 4, 0},
        },
        SourceColumns);
}

TEST(TypeChecker, StringSizes) {
    ExpectTypes(
        {
            // Two and three characters: five and the terminator.
            {"s3 || s4", 1, 0, 6, 0},
            // 398 characters cannot be a value: the size stops at 254 characters and the terminator.
            {"long1 || long2", 1, 0, 255, 0},
            {"(long1 || long2) || long1", 1, 0, 255, 0},
            {"'ab' || s3", 1, 0, 5, 0},
            // Ten characters from the third: eight; two asked for: two; started past the end: none.
            {"SUBSTRING(s FROM 3)", 1, 0, 9, 0},
            {"SUBSTRING(s FROM 3 FOR 2)", 1, 0, 3, 0},
            {"SUBSTRING(s FROM 20)", 1, 0, 1, 0},
            {"SUBSTRING(s FROM 11)", 1, 0, 1, 0},
            {"SUBSTRING(s FROM 250 FOR 250)", 1, 0, 251, 0},
            {"SUBSTRING(long1 || long2 FROM 1)", 1, 0, 255, 0},
        },
        SourceColumns);
}

TEST(TypeChecker, AggregatesStandOnlyAtTheRoot) {
    ExpectTypes(
        {
            {"SUM(a)", 6, 0, 4, 0},
            {"COUNT(*)", 6, 0, 4, 0},
            {"COUNT(Name)", 6, 0, 4, 0},
            {"SUM(d)", 2, 0, 4, 0},
            {"AVG(dt)", 11, 0, 8, 0},
            {"MAX(bcd)", 8, 0, 8, 2},
            {"SUM(money)", 7, 21, 8, 0},
            {"SUM(a + 1)", 6, 0, 4, 0},
        },
        SourceColumns);
    ExpectErrors({
        {"SUM(a) + 1", SourceColumns,
         "Aggregate function SUM cannot be used inside an expression in source columns"},
        {"UPPER(MIN(Name))", SourceColumns,
         "Aggregate function MIN cannot be used inside an expression in source columns"},
        {"SUM(COUNT(a))", SourceColumns,
         "Aggregate function COUNT cannot be used inside an expression in source columns"},
        {"COUNT(*) = 1", WhereContext,
         "Aggregate function COUNT cannot be used inside an expression in WHERE or JOIN clause"},
    });
}

// Text in single quotes is a string constant everywhere; text in double quotes may name a column.
TEST(TypeChecker, QuotedTexts) {
    struct Case {
        std::string text;
        std::string_view context;
        RowAccess access;
        std::string tree;
    };
    const std::string name = "(Field/0/1 \"Name\")";
    const std::string cityText = "(Constant/0/1 \"City\")";
    const std::string cityColumn = "(Field/0/1 \"City\")";
    const std::vector<Case> cases = {
        {"Name = 'City'", WhereContext, RowAccess::Record,
         "(Binary/3/4 \"=\" " + name + " " + cityText + ")"},
        {"'City' = Name", WhereContext, RowAccess::Record,
         "(Binary/3/4 \"=\" " + cityText + " " + name + ")"},
        {"'City'", SourceColumns, RowAccess::Record, cityText},
        {"Name IN ('City', 'b')", WhereContext, RowAccess::Record,
         "(Predicate/32/4 \"IN\" " + name + " [" + cityText + " (Constant/0/1 \"b\")])"},
        {"Name LIKE 'City'", WhereContext, RowAccess::Record,
         "(Predicate/31/4 \"LIKE\" " + name + " " + cityText + ")"},
        {"'City'", UpdateValues, RowAccess::NoRecord, cityText},
        {"'City'", UpdateValues, RowAccess::Record, cityText},
        // Double quotes name a column, on either side of a comparison and in a select list or SET value.
        {"Name = \"City\"", WhereContext, RowAccess::Record,
         "(Binary/3/4 \"=\" " + name + " " + cityColumn + ")"},
        {"\"City\"", SourceColumns, RowAccess::Record, cityColumn},
        {"\"City\"", UpdateValues, RowAccess::Record, cityColumn},
        // A double-quoted text that names no column stays a text.
        {"Name = \"Paris\"", WhereContext, RowAccess::Record,
         "(Binary/3/4 \"=\" " + name + " (Constant/0/1 \"Paris\"))"},
        {"\"Paris\"", UpdateValues, RowAccess::NoRecord, "(Constant/0/1 \"Paris\")"},
    };
    for (const Case& c : cases) {
        const NodePtr tree = Checked(c.text, c.context, c.access);
        EXPECT_EQ(PrintTree(tree.get()), c.tree) << c.text << " in " << c.context;
    }
    const NodePtr single = Checked("Name = 'City'");
    EXPECT_EQ(single->Right->FromString, 0);
    EXPECT_EQ(single->Right->ColumnName, "");
    const NodePtr twoColumns = Checked("Name = \"City\"");
    EXPECT_EQ(twoColumns->Right->FromString, 1);
    EXPECT_EQ(twoColumns->Right->FieldNo, 2);
    EXPECT_EQ(twoColumns->Right->SavedFieldType, engine::FieldTypeString);
    EXPECT_EQ(twoColumns->Right->SavedSize, 5);  // "City" and its terminator
}

// Where only a constant has a value (an INSERT value, IN items, BETWEEN bounds, LIKE patterns), a column
// is refused, however it is written.
TEST(TypeChecker, ColumnsWhereAConstantIsRequired) {
    const std::string in = " in WHERE or JOIN clause";
    ExpectErrors({
        {"Name IN (\"City\", 'b')", WhereContext,
         "Constant expression expected after IN operator, instead found 'City'" + in},
        {"a BETWEEN \"a\" AND 5", WhereContext,
         "Constant expression expected after BETWEEN operator, instead found 'a'" + in},
        {"a BETWEEN 1 AND -\"a\"", WhereContext,
         "Constant expression expected after BETWEEN operator, instead found '-'" + in},
        {"Name LIKE \"City\"", WhereContext,
         "Constant expression expected after LIKE operator, instead found 'City'" + in},
    });
    for (const std::string text : {"\"City\"", "City", "'x' || \"City\"", "a + 1"}) {
        EXPECT_EQ(CheckError(text, UpdateValues, RowAccess::NoRecord),
                  "Constant expression expected, instead found column '" +
                      std::string(text == "a + 1" ? "a" : "City") + "' in update values")
            << text;
    }
}

TEST(TypeChecker, DateTexts) {
    struct Case {
        std::string text;
        int type;
        std::int64_t day;  // the right side's value (for date-times its double, truncated)
    };
    const std::int64_t msecsPerDay = 86400000;
    const std::vector<Case> cases = {
        {"d = '12/31/1999'", 2, 730119},
        {"d2 <> '1/1/2000'", 2, 730120},
        {"tm = '10:30:00'", 10, 37800000},
        {"dt > '12/31/1999 10:30:00'", 11, 730119 * msecsPerDay + 37800000},
        {"dt = '12/31/1999'", 11, 730119 * msecsPerDay},
        {"d = ''", -1, 0},
    };
    for (const Case& c : cases) {
        if (c.type < 0) {
            EXPECT_EQ(
                CheckError(c.text),
                "Date, time, or timestamp expression expected, instead found '' in WHERE or JOIN clause");
            continue;
        }
        const NodePtr tree = Checked(c.text);
        const engine::ExprValue& value = tree->Right->Value;
        EXPECT_EQ(value.FieldType, c.type) << c.text;
        EXPECT_EQ(value.Size, tree->Left->Value.Size) << c.text;
        const std::int64_t read =
            c.type == 11 ? static_cast<std::int64_t>(value.GetDouble()) : std::int64_t{value.GetInt32()};
        EXPECT_EQ(read, c.day) << c.text;
    }
    // A text on the left converts the same way.
    const NodePtr left = Checked("'12/31/1999' = d");
    EXPECT_EQ(left->Left->Value.FieldType, engine::FieldTypeDate);
    EXPECT_EQ(left->Left->Value.GetInt32(), 730119);
    // Both bounds, and every item.
    const NodePtr between = Checked("d BETWEEN '01/01/2000' AND '12/31/2000'");
    EXPECT_EQ(between->Items[0]->Value.GetInt32(), 730120);
    EXPECT_EQ(between->Items[1]->Value.GetInt32(), 730485);
    EXPECT_EQ(between->Items[1]->Value.FieldType, engine::FieldTypeDate);
    const NodePtr in = Checked("d NOT IN ('12/31/1999', '01/01/2000')");
    EXPECT_EQ(in->Items[0]->Value.GetInt32(), 730119);
    EXPECT_EQ(in->Items[1]->Value.GetInt32(), 730120);
    ExpectErrors({
        {"d = '31.12.1999'", WhereContext,
         "Date, time, or timestamp expression expected, instead found '31.12.1999' in WHERE or JOIN clause"},
        // A string column has no text to read as a date.
        {"DATE = Name", WhereContext,
         "Date, time, or timestamp expression expected, instead found 'Name' in WHERE or JOIN clause"},
        {"d BETWEEN '1/1/2000' AND UPPER('x')", WhereContext,
         "Date, time, or timestamp expression expected, instead found 'UPPER' in WHERE or JOIN clause"},
        // Two columns are not converted: a string column does not compare with a date.
        {"d = Name", WhereContext,
         "Type mismatch between column 'd' and column 'Name' in WHERE or JOIN clause"},
    });
}

// Texts are read under the settings in force: the callers' US set, whatever the program had installed.
TEST(TypeChecker, DateTextsFollowTheSettingsInForce) {
    const rtl::FormatSettingsGuard dayMonthYear(rtl_test::CommaSettings());
    {
        NodePtr tree = sqltest::ParseAll("d = '31.12.1999'");
        sql::CheckExprTypes(engine::ErrSql, WhereContext, *tree, ResolveTestColumn);
        EXPECT_EQ(tree->Right->Value.GetInt32(), 730119);
    }
    EXPECT_EQ(
        CheckError("d = '31.12.1999'"),
        "Date, time, or timestamp expression expected, instead found '31.12.1999' in WHERE or JOIN clause");
    EXPECT_EQ(Checked("d = '12/31/1999'")->Right->Value.GetInt32(), 730119);
}

void ExpectParentsConsistent(const TExprNode& node) {
    for (const TExprNode* child : {node.Left.get(), node.Right.get()}) {
        if (child == nullptr) continue;
        EXPECT_EQ(child->Parent, &node) << child->Text;
        ExpectParentsConsistent(*child);
    }
    for (const auto& item : node.Items) {
        EXPECT_EQ(item->Parent, &node) << item->Text;
        ExpectParentsConsistent(*item);
    }
}

// A boolean column under NOT, AND or OR becomes column = TRUE at the first check.
TEST(TypeChecker, BooleanOperandsBecomeComparisons) {
    const std::string flag = "(Field/0/4 \"flag\")";
    const std::string isTrue = "(Binary/3/4 \"=\" " + flag + " (Constant/0/4 \"True\"))";
    const std::string flagOfA = "(Binary/3/4 \"=\" (Field/0/4 \"a.flag\") (Constant/0/4 \"True\"))";
    struct Case {
        std::string text;
        std::string tree;
    };
    const std::vector<Case> cases = {
        {"NOT flag", "(Unary/9/4 \"NOT\" " + isTrue + ")"},
        {"a.flag AND b.x = 1",
         "(Binary/10/4 \"AND\" " + flagOfA + " (Binary/3/4 \"=\" (Field/0/6 \"b.x\") (Constant/0/6 \"1\")))"},
        {"flag OR NOT flag", "(Binary/11/4 \"OR\" " + isTrue + " (Unary/9/4 \"NOT\" " + isTrue + "))"},
        {"flag = TRUE", "(Binary/3/4 \"=\" " + flag + " (Constant/0/4 \"TRUE\"))"},
        {"NOT \"flag\"", "(Unary/9/4 \"NOT\" " + isTrue + ")"},
    };
    for (const Case& c : cases) {
        // Parent links as the planner keeps them: the copy has them, and the rewrite keeps them right.
        const NodePtr parsed = sqltest::ParseAll(c.text);
        NodePtr tree = engine::CopyExprTree(parsed.get());
        CheckOnce(*tree, WhereContext, RowAccess::Record);
        EXPECT_EQ(PrintTree(tree.get()), c.tree) << c.text;
        EXPECT_EQ(tree->Parent, nullptr);
        ExpectParentsConsistent(*tree);
        const std::string first = Typed(tree.get());
        CheckOnce(*tree, WhereContext, RowAccess::Record);
        EXPECT_EQ(Typed(tree.get()), first) << c.text;
        // The planner checks the parts again as join and residual conditions.
        for (TExprNode* part : {tree->Left.get(), tree->Right.get()}) {
            if (part == nullptr || part->Value.FieldType != engine::FieldTypeBoolean) continue;
            CheckOnce(*part, WhereContext, RowAccess::Record);
        }
        EXPECT_EQ(Typed(tree.get()), first) << c.text;
    }
    const NodePtr comparison = Checked("NOT flag");
    EXPECT_EQ(comparison->Left->Value.Size, 2);
    EXPECT_EQ(comparison->Left->Right->Value.GetUInt16(), 1);
}

void FlagColumn(void*, void* data, const TExprNode&, engine::ExprValue& value) {
    value.SetUInt16(*static_cast<const bool*>(data) ? 1 : 0);
    value.IsNull = 0;
}

// The rewritten NOT flag evaluates as NOT flag does.
TEST(TypeChecker, RewrittenConditionsEvaluateAsWritten) {
    const NodePtr tree = Checked("NOT flag OR flag AND a.flag");
    for (bool flag : {false, true}) {
        engine::ExprValue result = tree->Value;
        engine::EvaluateExpr(*tree, &flag, nullptr, &FlagColumn, 0, 0, result);
        EXPECT_EQ(result.IsTrue(), true) << flag;
    }
    const NodePtr negation = Checked("NOT flag");
    for (bool flag : {false, true}) {
        engine::ExprValue result = negation->Value;
        engine::EvaluateExpr(*negation, &flag, nullptr, &FlagColumn, 0, 0, result);
        EXPECT_EQ(result.IsTrue(), !flag) << flag;
    }
}

TEST(TypeChecker, MakeTrueComparisonTakesTheOperandsPlace) {
    TExprNode parent;
    auto operand = std::make_unique<TExprNode>();
    operand->Parent = &parent;
    operand->ClausePosition = 3;
    TExprNode* const column = operand.get();
    const NodePtr comparison = sql::MakeTrueComparison(std::move(operand));
    EXPECT_EQ(comparison->Parent, &parent);
    EXPECT_EQ(comparison->Left.get(), column);
    EXPECT_EQ(column->Parent, comparison.get());
    EXPECT_EQ(comparison->Right->Parent, comparison.get());
    EXPECT_EQ(comparison->Text, "=");
    EXPECT_EQ(comparison->NodeClass, engine::ncBinary);
    EXPECT_EQ(comparison->Operator, engine::opEqual);
    EXPECT_EQ(comparison->Value.FieldType, engine::FieldTypeBoolean);
    EXPECT_EQ(comparison->Right->Text, "True");
    EXPECT_EQ(comparison->Right->Value.FieldType, engine::FieldTypeBoolean);
    EXPECT_EQ(comparison->Right->Value.Size, 2);
    EXPECT_EQ(comparison->Right->Value.GetUInt16(), 1);
    EXPECT_EQ(comparison->ClausePosition, 3);
    EXPECT_EQ(comparison->Right->ClausePosition, 3);
}

// Trees from other builders may be malformed or deep; they fail with a message, never a crash.
TEST(TypeChecker, MalformedAndDeepTreesAreRefused) {
    NodePtr tree = sqltest::ParseAll("a = 1");
    tree->Right.reset();
    EXPECT_EQ(sqltest::SqlError([&] { CheckOnce(*tree, WhereContext, RowAccess::Record); }),
              "Type mismatch between column 'a' and  '' in WHERE or JOIN clause");
    NodePtr deep = sqltest::ParseAll("flag");
    for (int level = 0; level < engine::MaxExprDepth + 5; ++level) {
        auto negation = std::make_unique<TExprNode>();
        negation->NodeClass = engine::ncUnary;
        negation->Operator = engine::opNot;
        negation->Text = "NOT";
        negation->Left = std::move(deep);
        deep = std::move(negation);
    }
    EXPECT_EQ(sqltest::SqlError([&] { CheckOnce(*deep, WhereContext, RowAccess::Record); }),
              "Expression too complex in WHERE or JOIN clause");
}

// The code is the caller's: every caller passes 11949, but the checker raises whatever it is given.
TEST(TypeChecker, RaisesTheCallersCode) {
    NodePtr tree = sqltest::ParseAll("zz = 1");
    try {
        sql::CheckExprTypes(engine::ErrInvalidIndexFieldType, WhereContext, *tree, ResolveTestColumn);
        ADD_FAILURE() << "no error";
    } catch (const engine::ETARNISEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), engine::ErrInvalidIndexFieldType);
        EXPECT_EQ(engine::CurrentErrorContext().ExtraText,
                  "Invalid column name 'zz' or table correlation name '' specified in WHERE or JOIN clause");
    }
}

}  // namespace
