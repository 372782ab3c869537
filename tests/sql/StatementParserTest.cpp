#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"
#include "sql/DataQuery.h"
#include "tests/rtl/CommaSettings.h"
#include "tests/sql/ModelPrinter.h"
#include "tests/sql/ParseSupport.h"

namespace {

using engine::TExprNode;
using sql::TDataQuery;
using sqltest::PrintCondition;
using sqltest::PrintModel;
using sqltest::SqlError;

// The directory of the snapshot statements' tables.
const std::string kDirectory = "d/";

std::unique_ptr<TDataQuery> Parse(std::string_view text, const std::string& directory = kDirectory) {
    auto query = std::make_unique<TDataQuery>();
    query->DatabaseDirectory = directory;
    query->Scanner.SetStatement(text);
    query->ParseStatement();
    return query;
}

std::string ParseError(std::string_view text) {
    return SqlError([&] { Parse(text); });
}

std::string Repeat(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += part;
    return text;
}

struct SnapshotCase {
    std::string text;
    std::string model;
};

TEST(StatementParser, ModelSnapshots) {
    const std::vector<SnapshotCase> cases = {
        {"SELECT a FROM t",
         "SELECT\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"a\"\n"},
        // Aliases with and without AS, the point form naming the column; quoted text is an expression.
        {"select all distinct t.a AS x, b y, c AS q.r, 'd' \"e\", [f g] FROM t;",
         "SELECT distinct computed\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"t\".\"a\" result \"x\"\n"
         "column name \"b\" result \"y\"\n"
         "column name \"c\" result \"r\"\n"
         "column expr \"'d'\" result \"e\"\n"
         "column name \"f g\" result \"f g\"\n"},
        // Aggregates by the root: over a column no result name (binding makes the caption), over an
        // expression an expression, inside an expression no aggregate at all.
        {"SELECT COUNT(*), SUM(a), SUM(a * 2), AVG(t.b) total, MIN(c) + 1 FROM t",
         "SELECT averages computed\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column agg 5 name \"*\" result \"\"\n"
         "column agg 1 name \"a\" result \"\"\n"
         "column agg 1 expr \"SUM(a * 2)\" result \"\"\n"
         "column agg 4 name \"t\".\"b\" result \"total\"\n"
         "column expr \"MIN(c) + 1\" result \"\"\n"},
        {"SELECT MAX ( x ), count(t.*) FROM t",
         "SELECT\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column agg 3 name \"x\" result \"\"\n"
         "column agg 5 name \"t\".\"*\" result \"\"\n"},
        // A right join's table goes first, keeping its number and FROM position; only the comparison of two
        // columns is stamped.
        {"SELECT * FROM a RIGHT JOIN b ON a.x = b.x AND b.y = 1",
         "SELECT join where\n"
         "source #2 pos 2 join 3 \"d/b\" as \"b\"\n"
         "source #1 pos 1 join 0 \"d/a\" as \"a\"\n"
         "column name \"*\" result \"\"\n"
         "where AND@2(=#3(a.x, b.x), =(b.y, 1))\n"},
        {"SELECT * FROM a RIGHT OUTER JOIN b ON a.x = b.x RIGHT JOIN c ON b.y = c.y",
         "SELECT join where\n"
         "source #3 pos 3 join 3 \"d/c\" as \"c\"\n"
         "source #2 pos 2 join 3 \"d/b\" as \"b\"\n"
         "source #1 pos 1 join 0 \"d/a\" as \"a\"\n"
         "column name \"*\" result \"\"\n"
         "where AND(=#3@2(a.x, b.x), =#3@3(b.y, c.y))\n"},
        // ON and WHERE conditions are ANDed from the left; each keeps the clause it came from.
        {"SELECT * FROM a JOIN b ON a.x = b.x WHERE b.y = 1",
         "SELECT join where\n"
         "source #1 pos 1 join 0 \"d/a\" as \"a\"\n"
         "source #2 pos 2 join 1 \"d/b\" as \"b\"\n"
         "column name \"*\" result \"\"\n"
         "where AND(=#1@2(a.x, b.x), =(b.y, 1))\n"},
        {"SELECT * FROM a LEFT JOIN b ON a.x = b.x AND b.k = 1, c WHERE c.z = 1",
         "SELECT join where\n"
         "source #1 pos 1 join 0 \"d/a\" as \"a\"\n"
         "source #2 pos 2 join 2 \"d/b\" as \"b\"\n"
         "source #3 pos 3 join 0 \"d/c\" as \"c\"\n"
         "column name \"*\" result \"\"\n"
         "where AND(AND@2(=#2(a.x, b.x), =(b.k, 1)), =(c.z, 1))\n"},
        {"SELECT * FROM a, b WHERE a.x = b.x",
         "SELECT join where\n"
         "source #1 pos 1 join 0 \"d/a\" as \"a\"\n"
         "source #2 pos 2 join 0 \"d/b\" as \"b\"\n"
         "column name \"*\" result \"\"\n"
         "where =(a.x, b.x)\n"},
        // Marks go through NOT, AND and OR to comparisons whose both sides hold a column, and no further.
        {"SELECT x.a FROM MEMORY t1 AS x INNER JOIN \"e/t2.dat\" y ON NOT (x.k = y.k OR x.k > 5) "
         "LEFT OUTER JOIN t3 ON y.m = UPPER(t3.m) AND y.n + 1 < t3.n AND t3.s LIKE y.s AND t3.i IN (1, y.i)",
         "SELECT join where\n"
         "source #1 pos 1 join 0 \"d/t1\" as \"x\" memory\n"
         "source #2 pos 2 join 1 \"e/t2.dat\" as \"y\"\n"
         "source #3 pos 3 join 2 \"d/t3\" as \"t3\"\n"
         "column name \"x\".\"a\" result \"a\"\n"
         "where AND(NOT@2(OR(=#1(x.k, y.k), >(x.k, 5))), AND@3(=#2(y.m, UPPER(t3.m)), AND(<#2(+(y.n, 1), "
         "t3.n), "
         "AND(LIKE(t3.s, y.s), IN(t3.i, 1, y.i)))))\n"},
        {"SELECT * FROM a, b x, c AS y, 'e/f.dat' AS \"z\"",
         "SELECT join\n"
         "source #1 pos 1 join 0 \"d/a\" as \"a\"\n"
         "source #2 pos 2 join 0 \"d/b\" as \"x\"\n"
         "source #3 pos 3 join 0 \"d/c\" as \"y\"\n"
         "source #4 pos 4 join 0 \"e/f.dat\" as \"z\"\n"
         "column name \"*\" result \"\"\n"},
        // Parameters in text order: the ON's before the WHERE's.
        {"SELECT a FROM t1 JOIN t2 ON t1.k = ? WHERE t2.v = ? AND t2.w IN (?, 3)",
         "SELECT join where\n"
         "source #1 pos 1 join 0 \"d/t1\" as \"t1\"\n"
         "source #2 pos 2 join 1 \"d/t2\" as \"t2\"\n"
         "column name \"a\" result \"a\"\n"
         "where AND(=@2(t1.k, ?), AND(=(t2.v, ?), IN(t2.w, ?, 3)))\n"
         "params where/L/R where/R/L/R where/R/R/I0\n"},
        // TRIM's character stands before its string.
        {"UPDATE t SET a = ?, b = TRIM(BOTH ? FROM ?) WHERE c BETWEEN ? AND ?",
         "UPDATE live where\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "target \"a\"\n"
         "target \"b\"\n"
         "value \"?\"\n"
         "value \"TRIM(BOTH ? FROM ?)\"\n"
         "where BETWEEN(c, ?, ?)\n"
         "params value1 value2/R value2/L where/I0 where/I1\n"},
        {"SELECT SUBSTRING(a FROM 2) FROM t WHERE SUBSTRING(? FROM 2) = SUBSTRING(b FROM ? FOR ?)",
         "SELECT computed where\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column expr \"SUBSTRING(a FROM 2)\" result \"\"\n"
         "where =(SUBSTRING(?, 2), SUBSTRING(b, ?, ?))\n"
         "params where/L/L where/R/I0 where/R/I1\n"},
        {"UPDATE t u SET a = a + 1, u.b = ? WHERE c = ?",
         "UPDATE live where\n"
         "source #1 pos 1 join 0 \"d/t\" as \"u\"\n"
         "target \"a\"\n"
         "target \"u\".\"b\"\n"
         "value \"a + 1\"\n"
         "value \"?\"\n"
         "where =(c, ?)\n"
         "params value2 where/R\n"},
        // Quoted text in a target place names a column.
        {"UPDATE t AS 'u' SET 'a' = 1, \"b\" = 'b'",
         "UPDATE live\n"
         "source #1 pos 1 join 0 \"d/t\" as \"u\"\n"
         "target \"a\" fromstring\n"
         "target \"b\" fromstring\n"
         "value \"1\"\n"
         "value \"'b'\"\n"},
        // Without a column list one "*" target stands for every column.
        {"INSERT INTO t VALUES (1, 'x')",
         "INSERT live\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "target \"*\"\n"
         "value \"1\"\n"
         "value \"'x'\"\n"},
        {"INSERT INTO MEMORY t u ('a', \"b\", u.c) VALUES (?, ?, /* two */ a + 1);",
         "INSERT live\n"
         "source #1 pos 1 join 0 \"d/t\" as \"u\" memory\n"
         "target \"a\" fromstring\n"
         "target \"b\" fromstring\n"
         "target \"u\".\"c\"\n"
         "value \"?\"\n"
         "value \"?\"\n"
         "value \"a + 1\"\n"
         "params value1 value2\n"},
        {"DELETE FROM \"x/cust.dat\" WHERE a IS NULL;",
         "DELETE live where\n"
         "source #1 pos 1 join 0 \"x/cust.dat\" as \"cust\"\n"
         "where IS NULL(a, NULL)\n"},
        {"delete from t 'v'",
         "DELETE live\n"
         "source #1 pos 1 join 0 \"d/t\" as \"v\"\n"},
        {"SELECT a, b FROM t GROUP BY a, t.b ORDER BY 2 DESC, a ASCENDING, 't'.\"b\" descending, c asc "
         "NOCASE",
         "SELECT orderby nocase grouped\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"a\"\n"
         "column name \"b\" result \"b\"\n"
         "group \"a\"\n"
         "group \"t\".\"b\"\n"
         "order #2 desc\n"
         "order \"a\"\n"
         "order \"t\".\"b\" desc\n"
         "order \"c\"\n"},
        {"SELECT a FROM t ORDER BY 65535, t.[x y]",
         "SELECT orderby\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"a\"\n"
         "order #65535\n"
         "order \"t\".\"x y\"\n"},
        {"SELECT a FROM t WHERE a > 0 WITH LOCKS ENCRYPTED WITH secret",
         "SELECT where withlocks encrypted=secret\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"a\"\n"
         "where >(a, 0)\n"},
        {"SELECT a FROM t ENCRYPTED WITH",
         "SELECT encrypted=\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"a\"\n"},
        {"SELECT a INTO MEMORY r FROM t",
         "SELECT intomemory into=r\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"a\"\n"},
        {"SELECT a AS \"into\" INTO 'e/res' FROM t",
         "SELECT into=e/res\n"
         "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
         "column name \"a\" result \"into\"\n"},
    };
    for (const SnapshotCase& c : cases) {
        EXPECT_EQ(PrintModel(*Parse(c.text)), c.model) << c.text;
    }
}

struct ErrorCase {
    std::string text;
    std::string message;
};

TEST(StatementParser, EveryMessage) {
    const std::vector<ErrorCase> cases = {
        {"", "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found ''"},
        {"  /* nothing */ ", "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found ''"},
        {"CREATE TABLE t", "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found 'CREATE'"},
        // The end, for each kind; the clauses stand in a fixed order and there is no HAVING.
        {"SELECT a FROM t;;", "End of SELECT statement expected, instead found ';'"},
        {"SELECT a FROM t GROUP BY a HAVING COUNT(*) > 1",
         "End of SELECT statement expected, instead found 'HAVING'"},
        {"SELECT a FROM t ORDER BY a GROUP BY a", "End of SELECT statement expected, instead found 'GROUP'"},
        {"SELECT a FROM t \"u\"", "End of SELECT statement expected, instead found 'u'"},
        {"INSERT INTO t VALUES (1) x", "End of INSERT statement expected, instead found 'x'"},
        {"UPDATE t SET a = 1 ORDER BY a", "End of UPDATE statement expected, instead found 'ORDER'"},
        {"DELETE FROM t WHERE a = 1 GROUP", "End of DELETE statement expected, instead found 'GROUP'"},
        // SELECT.
        {"SELECT a AS 1 FROM t", "Symbol or string expected after AS keyword, instead found '1'"},
        {"SELECT a AS b.* FROM t",
         "Symbol or string expected after table correlation name, instead found '*'"},
        {"SELECT a INTO MEMORY [r] FROM t",
         "Result table name expected in INTO MEMORY clause, instead found 'r'"},
        {"SELECT a INTO 5 FROM t", "Result table name expected in INTO clause, instead found '5'"},
        {"SELECT a b c", "FROM keyword expected, instead found 'c'"},
        {"SELECT a FROM [t]", "Table name expected after FROM keyword, instead found 't'"},
        {"SELECT a FROM", "Table name expected after FROM keyword, instead found ''"},
        {"SELECT * FROM a INNER b ON a.x = b.x",
         "JOIN keyword expected after INNER keyword, instead found 'b'"},
        {"SELECT * FROM a LEFT OUTER b",
         "JOIN keyword expected after LEFT or OUTER keyword, instead found 'b'"},
        {"SELECT * FROM a RIGHT b", "JOIN keyword expected after RIGHT or OUTER keyword, instead found 'b'"},
        {"SELECT * FROM a FULL JOIN b ON a.x = b.x",
         "Full outer joins are currently not supported in TARNIS SQL SELECT statements"},
        {"SELECT * FROM a JOIN b ON a.x = b.x FULL OUTER JOIN c ON a.y = c.y",
         "Full outer joins are currently not supported in TARNIS SQL SELECT statements"},
        {"SELECT * FROM a JOIN 5 ON a.x = 5", "Table name expected after JOIN keyword, instead found '5'"},
        {"SELECT * FROM a JOIN b c, d", "ON keyword expected in JOIN clause, instead found ','"},
        {"SELECT a FROM t GROUP a", "BY keyword expected after GROUP keyword, instead found 'a'"},
        {"SELECT a FROM t GROUP BY [a]",
         "Column name or column number expected in GROUP BY clause, instead found 'a'"},
        {"SELECT a FROM t ORDER a", "BY keyword expected after ORDER keyword, instead found 'a'"},
        {"SELECT a FROM t ORDER BY a, 1.5",
         "Column name or column number expected in ORDER BY clause, instead found '1.5'"},
        {"SELECT a FROM t WITH x", "LOCKS keyword expected after WITH keyword, instead found 'x'"},
        {"SELECT a FROM t ENCRYPTED x", "WITH keyword expected after ENCRYPTED keyword, instead found 'x'"},
        {"SELECT a FROM t WHERE flag", "WHERE or JOIN clause must be a boolean expression"},
        {"SELECT a FROM t WHERE (flag)", "WHERE or JOIN clause must be a boolean expression"},
        {"SELECT a FROM t WHERE a + 1", "WHERE or JOIN clause must be a boolean expression"},
        {"SELECT a FROM t JOIN u ON u.flag", "WHERE or JOIN clause must be a boolean expression"},
        {"SELECT * FROM a, A", "Duplicate table correlation name 'A' found in source tables"},
        {"SELECT * FROM a x, b x", "Duplicate table correlation name 'x' found in source tables"},
        {"SELECT * FROM a JOIN 'e/a' ON a.x = a.x",
         "Duplicate table correlation name 'a' found in source tables"},
        // INSERT.
        {"INSERT t VALUES (1)", "INTO keyword expected, instead found 't'"},
        {"INSERT INTO MEMORY 5 VALUES (1)", "Table name expected after INTO keyword, instead found '5'"},
        {"INSERT INTO (a) VALUES (1)", "Table name expected after INTO clause, instead found '('"},
        {"INSERT INTO t (a b) VALUES (1)",
         "Right parentheses expected after list of table columns, instead found 'b'"},
        {"INSERT INTO t (a) SELECT", "VALUES keyword expected, instead found 'SELECT'"},
        {"INSERT INTO t VALUES 1", "Left parentheses expected after VALUES keyword, instead found '1'"},
        {"INSERT INTO t VALUES (1 2)", "Right parentheses expected after list of values, instead found '2'"},
        // UPDATE and DELETE.
        {"UPDATE 5 SET a = 1", "Table name expected, instead found '5'"},
        {"UPDATE MEMORY (a) SET a = 1", "Table name expected, instead found '('"},
        {"UPDATE t u v", "SET keyword expected, instead found 'v'"},
        {"UPDATE t SET a 1", "Assignment (=) operator expected after column name, instead found '1'"},
        {"DELETE t", "FROM keyword expected, instead found 't'"},
        {"DELETE FROM [t]", "Table name expected, instead found 't'"},
        // Expression messages name the clause.
        {"SELECT ? FROM t", "Parameters are not allowed in source columns"},
        {"SELECT a FROM t WHERE a = COUNT(*)", "Aggregate functions are not allowed in WHERE or JOIN clause"},
        {"INSERT INTO t VALUES (a LIKE 'x')",
         "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in values"},
        {"UPDATE t SET * = 1", "* (all columns) symbol is not allowed in table columns"},
        {"INSERT INTO t (?) VALUES (1)", "Parameters are not allowed in table columns"},
    };
    for (const ErrorCase& c : cases) {
        EXPECT_EQ(ParseError(c.text), c.message) << c.text;
    }
}

// Targets that are no column, and ORDER BY and GROUP BY items that name nothing, would reach binding with an
// empty name (or, for a number, with a wrapped one) and bind to the wrong column.
TEST(StatementParser, ItemsThatNameNoColumnAreRefused) {
    const std::vector<ErrorCase> cases = {
        {"INSERT INTO t (a + b) VALUES (1)",
         "Invalid column name 'a + b' or table correlation name '' specified in table columns"},
        {"INSERT INTO t (a, 'TRUE') VALUES (1, 2)",
         "Invalid column name ''TRUE'' or table correlation name '' specified in table columns"},
        {"INSERT INTO t ('') VALUES (1)",
         "Invalid column name '''' or table correlation name '' specified in table columns"},
        {"UPDATE t SET 5 = 1",
         "Invalid column name '5' or table correlation name '' specified in table columns"},
        {"UPDATE t SET UPPER(a) = 1",
         "Invalid column name 'UPPER(a)' or table correlation name '' specified in table columns"},
        {"SELECT a FROM t ORDER BY 65537",
         "Column name or column number expected in ORDER BY clause, instead found '65537'"},
        {"SELECT a FROM t ORDER BY 99999999999",
         "Column name or column number expected in ORDER BY clause, instead found '99999999999'"},
        {"SELECT a FROM t ORDER BY 0",
         "Column name or column number expected in ORDER BY clause, instead found '0'"},
        {"SELECT a FROM t ORDER BY t.",
         "Column name or column number expected in ORDER BY clause, instead found ''"},
        {"SELECT a FROM t ORDER BY ''",
         "Column name or column number expected in ORDER BY clause, instead found ''"},
        {"SELECT a FROM t GROUP BY t.",
         "Column name or column number expected in GROUP BY clause, instead found ''"},
        {"SELECT a FROM t GROUP BY a, 00",
         "Column name or column number expected in GROUP BY clause, instead found '00'"},
        {"SELECT a FROM t GROUP BY t.''",
         "Column name or column number expected in GROUP BY clause, instead found ''"},
    };
    for (const ErrorCase& c : cases) {
        EXPECT_EQ(ParseError(c.text), c.message) << c.text;
    }
}

TEST(StatementParser, QuotedTargetsNameColumnsWithoutLookup) {
    const auto insert = Parse("INSERT INTO t ('a', \"b\") VALUES (?, ?)");
    ASSERT_EQ(insert->TargetColumns.size(), 2u);
    for (const auto& target : insert->TargetColumns) {
        const TExprNode& node = *target->Expression;
        EXPECT_EQ(node.NodeClass, engine::ncField);
        EXPECT_EQ(node.FromString, 1);
        EXPECT_EQ(node.ColumnName, target->ColumnName);
        // The constant's type fields are kept for the type checker.
        EXPECT_EQ(node.SavedFieldType, 1);
        EXPECT_EQ(node.SavedSize, 2);
    }
    EXPECT_EQ(insert->TargetColumns[0]->ColumnName, "a");
    EXPECT_EQ(insert->TargetColumns[1]->ColumnName, "b");
    EXPECT_EQ(insert->Params.size(), 2u);

    const auto update = Parse("UPDATE t SET 'a' = 1");
    EXPECT_EQ(update->TargetColumns[0]->ColumnName, "a");
    EXPECT_EQ(update->TargetColumns[0]->Expression->FromString, 1);
}

TEST(StatementParser, ParametersPointIntoTheTrees) {
    const auto query = Parse("UPDATE t SET a = ?, b = TRIM(BOTH ? FROM ?) WHERE c BETWEEN ? AND ?");
    const TExprNode& trim = *query->Values[1]->Expression;
    const TExprNode& between = *query->WhereCondition;
    const std::vector<TExprNode*> expected = {query->Values[0]->Expression.get(), trim.Right.get(),
                                              trim.Left.get(), between.Items[0].get(),
                                              between.Items[1].get()};
    EXPECT_EQ(query->Params, expected);
    for (const TExprNode* param : query->Params) EXPECT_EQ(param->IsParam, 1);
}

// Every node of an ON condition carries its table's FROM position, down to constants, parameters and items.
TEST(StatementParser, EveryNodeOfAnOnConditionIsMarked) {
    const auto query = Parse(
        "SELECT * FROM a LEFT JOIN b ON a.x = b.x AND b.k IN (1, ?) AND TRIM(LEADING 'x' FROM b.s) = ?, c "
        "WHERE c.z = 1");
    std::vector<const TExprNode*> pending = {query->WhereCondition->Left.get()};
    int nodes = 0;
    while (!pending.empty()) {
        const TExprNode* node = pending.back();
        pending.pop_back();
        ++nodes;
        EXPECT_EQ(node->ClausePosition, 2) << node->Text;
        for (const TExprNode* child : {node->Left.get(), node->Right.get()})
            if (child != nullptr) pending.push_back(child);
        for (const auto& item : node->Items) pending.push_back(item.get());
    }
    EXPECT_EQ(nodes, 14);
    const TExprNode& where = *query->WhereCondition->Right;
    EXPECT_EQ(PrintCondition(&where), "=(c.z, 1)");
    EXPECT_EQ(query->WhereCondition->ClausePosition, 0);
    EXPECT_EQ(query->Params.size(), 2u);
}

TEST(StatementParser, RequestLiveIsLeftOrSetByTheStatement) {
    const auto read = [](std::string_view text, bool live) {
        auto query = std::make_unique<TDataQuery>();
        query->RequestLive = live;
        query->Scanner.SetStatement(text);
        query->ParseStatement();
        return query->RequestLive;
    };
    EXPECT_TRUE(read("SELECT a FROM t", true));
    EXPECT_FALSE(read("SELECT a FROM t", false));
    EXPECT_FALSE(read("SELECT a INTO r FROM t", true));
    EXPECT_FALSE(read("SELECT a INTO MEMORY r FROM t", true));
    EXPECT_TRUE(read("INSERT INTO t VALUES (1)", false));
    EXPECT_TRUE(read("UPDATE t SET a = 1", false));
    EXPECT_TRUE(read("DELETE FROM t", false));
}

TEST(StatementParser, ReadsNumbersUnderUsSettingsAndRestoresTheThreads) {
    rtl::FormatSettingsGuard comma(rtl_test::CommaSettings());
    const auto query = Parse("SELECT a FROM t WHERE a = 1.5");
    EXPECT_EQ(query->WhereCondition->Right->Value.GetDouble(), 1.5);
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl_test::CommaSettings());
    EXPECT_EQ(ParseError("SELECT a FROM t WHERE a = 1.5 AND"),
              "Unknown or unexpected symbol '' found in WHERE or JOIN clause");
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl_test::CommaSettings());
    // A conversion error of the runtime passes through, and the settings are back as well.
    EXPECT_THROW(Parse("SELECT a FROM t WHERE a = 1.2.3"), rtl::EConvertError);
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl_test::CommaSettings());
}

TEST(StatementParser, TableNamesAndCorrelations) {
    const auto query = Parse("SELECT * FROM cust, 'x/cust.dat' c2, 'y\\z.DAT'", "d/");
    EXPECT_EQ(query->Sources[0]->TableName, "d/cust");
    EXPECT_EQ(query->Sources[0]->CorrelationName, "cust");
    EXPECT_EQ(query->Sources[1]->TableName, "x/cust.dat");
    EXPECT_EQ(query->Sources[1]->CorrelationName, "c2");
    EXPECT_EQ(query->Sources[2]->TableName, "y\\z.DAT");
    EXPECT_EQ(query->Sources[2]->CorrelationName, "z");
    EXPECT_EQ(Parse("SELECT * FROM \"x/cust.dat\"")->Sources[0]->CorrelationName, "cust");
    EXPECT_EQ(Parse("SELECT * FROM t", "")->Sources[0]->TableName, "t");

    // The directory and the name together may pass 255 characters: the name is kept whole.
    const std::string directory = std::string(100, 'd') + "/";
    const std::string name = std::string(199, 'n');
    const auto longPath = Parse("DELETE FROM " + name, directory);
    EXPECT_EQ(longPath->Sources[0]->TableName, directory + name);
    EXPECT_EQ(longPath->Sources[0]->TableName.size(), 300u);
    EXPECT_EQ(longPath->Sources[0]->CorrelationName, name);
}

TEST(StatementParser, NamesLongerThan255CharactersFail) {
    const std::string fits(255, 'n');
    const std::string tooLong(256, 'n');
    EXPECT_EQ(Parse("SELECT a FROM " + fits)->Sources[0]->TableName, kDirectory + fits);
    EXPECT_EQ(Parse("SELECT a AS '" + fits + "' FROM t")->ResultColumns[0]->ResultName, fits);
    const std::string message = "Name exceeds maximum length of 255 characters in SQL statement";
    for (const std::string& text : {
             "SELECT a FROM " + tooLong,
             "SELECT a FROM '" + tooLong + "'",
             "SELECT a FROM t " + tooLong,
             "SELECT a FROM t AS \"" + tooLong + "\"",
             "SELECT a FROM t JOIN u " + tooLong + " ON t.a = u.a",
             "SELECT a " + tooLong + " FROM t",
             "SELECT a AS b.'" + tooLong + "' FROM t",
             "SELECT a INTO " + tooLong + " FROM t",
             "SELECT a FROM t ENCRYPTED WITH " + tooLong,
             "SELECT a FROM t ORDER BY " + tooLong,
             "SELECT a FROM t GROUP BY t." + tooLong,
             "INSERT INTO " + tooLong + " VALUES (1)",
             "UPDATE t '" + tooLong + "' SET a = 1",
         }) {
        EXPECT_EQ(ParseError(text), message) << text.substr(0, 24);
    }
}

// ON and WHERE conditions merge into one tree, which keeps the parser's depth limit.
TEST(StatementParser, MergedConditionKeepsTheDepthLimit) {
    const int levels = engine::MaxExprDepth - 1;
    // An ON condition of levels - 1 levels and a WHERE condition: the merged tree has levels levels.
    const std::string on = Repeat("NOT ", levels - 3) + "a.x = b.x";
    const auto deepest = Parse("SELECT * FROM a JOIN b ON " + on + " WHERE b.y = 1");
    EXPECT_EQ(engine::ExprTreeDepth(deepest->WhereCondition.get()), levels);
    EXPECT_EQ(ParseError("SELECT * FROM a JOIN b ON NOT " + on + " WHERE b.y = 1"),
              "Expression too complex in WHERE or JOIN clause");
    // A long chain of joins.
    std::string joins = "SELECT * FROM t0";
    for (int i = 1; i < levels; ++i) {
        const std::string t = "t" + std::to_string(i);
        joins += " JOIN " + t + " ON t0.a = " + t + ".a";
    }
    EXPECT_EQ(engine::ExprTreeDepth(Parse(joins)->WhereCondition.get()), levels);
    EXPECT_EQ(ParseError(joins + " WHERE t0.b = 1"), "Expression too complex in WHERE or JOIN clause");
}

// A statement that fails late has built sources, columns, targets and trees; the statement frees them
// (the sanitizer's leak check sees any that it does not).
TEST(StatementParser, FailureKeepsWhatWasBuiltOwned) {
    auto query = std::make_unique<TDataQuery>();
    query->Scanner.SetStatement(
        "SELECT a, SUM(b * 2) FROM t JOIN u ON t.x = u.x AND u.y = ? WHERE t.z IN (1, 2) ORDER BY 1 GROUP");
    EXPECT_THROW(query->ParseStatement(), engine::ETARNISEngineError);
    EXPECT_EQ(query->Sources.size(), 2u);
    EXPECT_EQ(query->ResultColumns.size(), 2u);
    EXPECT_EQ(query->OrderBy.size(), 1u);
    EXPECT_EQ(query->Params.size(), 1u);
    query.reset();

    for (const char* text : {
             "INSERT INTO t (a, b) VALUES (?, UPPER(?), 1 +)",
             "UPDATE t SET a = ?, b = 2 WHERE c = ? AND",
             "SELECT * FROM a JOIN b ON a.x = b.x AND b.y = 1 JOIN c ON c.flag",
             "INSERT INTO t (a, b + 1) VALUES (1)",
         }) {
        EXPECT_THROW(Parse(text), engine::ETARNISEngineError) << text;
    }
}

}  // namespace
