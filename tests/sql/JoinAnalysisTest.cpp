#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/DataQuery.h"
#include "sql/PlanPredicates.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/ParseSupport.h"
#include "tests/sql/PlanSupport.h"

namespace {

using sqltest::BindError;
using sqltest::Bound;

// Tables A, B, C, P, Q, R, S, T, W, X, Y, Z with the integer fields ID (primary), X (indexed), Y, Z, A, B,
// C, D, K and AID.
class JoinAnalysis : public enginetest::TableTest {
protected:
    void SetUp() override {
        for (const char* name : {"A", "B", "C", "P", "Q", "R", "S", "T", "W", "X", "Y", "Z"}) {
            std::vector<engine::TFieldDesc> fields;
            std::uint16_t number = 1;
            for (const char* field : {"ID", "X", "Y", "Z", "A", "B", "C", "D", "K", "AID"})
                fields.push_back(sqltest::FieldDef(number++, field, engine::FieldTypeInteger));
            std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1}),
                                                             enginetest::IndexDef("ByX", {2})};
            enginetest::CreateTable(name, fields, indexes);
        }
    }
};

struct PlanCase {
    std::string text;
    std::string order;     // join order
    std::string links;     // every link with its type and condition
    std::string residual;  // what binding moved to the residual
    std::string where;     // what each run pushes down
};

TEST_F(JoinAnalysis, StatementsGiveTheirPlans) {
    const std::vector<PlanCase> cases = {
        // The column side goes left.
        {"SELECT T.ID FROM T WHERE 5 < T.X", "T", "", "-", "(T.X > 5)"},
        // Written inner-side first, the link still runs from the earlier table.
        {"SELECT A.ID FROM A, B WHERE B.Y > A.X", "A,B", "A>B inner (A.X < B.Y)", "-", "-"},
        {"SELECT A.ID FROM A, B WHERE A.X = B.Y OR A.Z = 1", "A,B", "A>B none", "((A.X = B.Y) OR (A.Z = 1))",
         "-"},
        {"SELECT P.ID FROM P, Q, R, S WHERE P.A = Q.A AND Q.B = R.B AND R.C = S.C", "P,Q,R,S",
         "P>Q inner (P.A = Q.A); Q>R inner (Q.B = R.B); R>S inner (R.C = S.C)", "-", "-"},
        // A table that two conditions reach is joined through the link from the later table, with both.
        {"SELECT P.ID FROM P, Q, R, S WHERE P.A = Q.A AND Q.B = R.B AND R.C = S.C AND Q.D = S.D", "P,Q,R,S",
         "P>Q inner (P.A = Q.A); Q>R inner (Q.B = R.B); R>S inner ((R.C = S.C) AND (Q.D = S.D))", "-", "-"},
        {"SELECT A.ID FROM A, B, C WHERE A.X = C.X AND B.Y = C.Y", "A,C,B",
         "A>C inner (A.X = C.X); C>B inner (C.Y = B.Y)", "-", "-"},
        {"SELECT A.ID FROM A, T WHERE T.X * 2 > 10", "A,T", "A>T none", "-", "((T.X * 2) > 10)"},
        // Rings become a tree rooted at the first table; the closing condition goes to the residual.
        {"SELECT A.ID FROM A, B, C WHERE A.X = B.X AND B.Y = C.Y AND C.Z = A.Z", "B,C,A",
         "B>C inner (B.Y = C.Y); C>A inner (C.Z = A.Z)", "(A.X = B.X)", "-"},
        {"SELECT X.ID FROM X, Y, W, Z WHERE X.A = Y.A AND W.B = Z.B AND Z.C = X.C", "Y,W,Z,X",
         "Y>W none; W>Z inner (W.B = Z.B); Z>X inner (Z.C = X.C)", "(X.A = Y.A)", "-"},
        // A NOT over a cross-table disjunction goes to the residual whole.
        {"SELECT A.ID FROM A, B WHERE NOT (A.X = 1 OR B.Y = 2)", "A,B", "A>B none",
         "NOT ((A.X = 1) OR (B.Y = 2))", "-"},
        // Push-down: a node naming two tables is the residual's at run time, not an error.
        {"SELECT A.ID FROM A, B WHERE A.X + B.Y = 5", "A,B", "A>B none", "-", "((A.X + B.Y) = 5)"},
        // Outer joins: WHERE on the null side is the residual's, the ON's own conditions stay with the join.
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.ID = b.AID WHERE b.AID IS NULL", "a,b",
         "a>b left (a.ID = b.AID)", "(b.AID = NULL)", "-"},
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.ID = b.AID WHERE b.Z = 5", "a,b", "a>b left (a.ID = b.AID)",
         "(b.Z = 5)", "-"},
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.ID = b.AID AND b.Z = 5", "a,b", "a>b left (a.ID = b.AID)",
         "-", "(b.Z = 5)"},
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.ID = b.AID AND a.K = 1", "a,b",
         "a>b left ((a.ID = b.AID) AND (a.K = 1))", "-", "-"},
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.ID = b.AID, C c", "a,b,c",
         "a>c none; a>b left (a.ID = b.AID)", "-", "-"},
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.ID = b.AID JOIN C c ON b.Y = c.Y", "a,b,c",
         "a>c none; a>b left (a.ID = b.AID)", "(b.Y = c.Y)", "-"},
        {"SELECT a.ID FROM A a JOIN C c ON a.Y = c.Y RIGHT JOIN B b ON a.X = b.X", "b,a,c",
         "b>a left (b.X = a.X); a>c inner (a.Y = c.Y)", "-", "-"},
        // Both tables before an outer join's null side compare with it: one left link, with both conditions.
        {"SELECT a.ID FROM A a JOIN B b ON a.X = b.X LEFT JOIN C c ON a.Y = c.Y AND b.Z = c.Z", "a,b,c",
         "a>b inner (a.X = b.X); b>c left ((b.Z = c.Z) AND (a.Y = c.Y))", "-", "-"},
        // A condition naming no table stays for the run, which pushes it to the first table.
        {"SELECT A.ID FROM A, B WHERE A.X = B.X AND 1 = 2", "A,B", "A>B inner (A.X = B.X)", "-", "(1 = 2)"},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto query = Bound(c.text);
        EXPECT_EQ(sqltest::Order(*query), c.order);
        EXPECT_EQ(sqltest::Links(*query), c.links);
        EXPECT_EQ(sqltest::Sql(query->BoundResidual.get()), c.residual);
        EXPECT_EQ(sqltest::Sql(query->WhereCondition.get()), c.where);
        for (std::size_t i = 0; i < query->Sources.size(); ++i)
            EXPECT_EQ(query->Sources[i]->TableNumber, i + 1);
    }
}

TEST_F(JoinAnalysis, StatementsThatCannotBePlannedFail) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // Two outer joins reach c: no one link can join it.
        {"SELECT c.ID FROM C c RIGHT JOIN B b ON c.X = b.X RIGHT JOIN A a ON c.Y = a.Y",
         "Table correlation name 'c' is target of join conditions from 'a' and 'b' that cannot be combined "
         "in "
         "WHERE or JOIN clause"},
        {"SELECT A.ID FROM A, B, C WHERE A.X + C.X = B.Y",
         "The join condition cannot contain multiple table correlation names in either the left or right "
         "operand "
         "in WHERE or JOIN clause"},
        {"SELECT a.ID FROM A a, C c RIGHT JOIN B b ON c.X = b.X",
         "Outer join with table 'b' cannot be combined with the other joins of this statement"},
        {"SELECT a.ID FROM A a LEFT JOIN B b ON a.X = b.X OR a.K = 1",
         "Condition in the ON clause of an outer join must compare its two sides or name one side only"},
    };
    for (const auto& [text, error] : cases) EXPECT_EQ(BindError(text), error) << text;
}

// A LEFT JOIN may hang off the null side of another: its table is NULL too when the first has no match.
TEST_F(JoinAnalysis, ALeftJoinChainIsPlanned) {
    auto query = Bound("SELECT a.ID FROM A a LEFT JOIN B b ON a.X = b.X LEFT JOIN C c ON b.Y = c.Y");
    EXPECT_EQ(sqltest::Links(*query), "a>b left (a.X = b.X); b>c left (b.Y = c.Y)");
}

// Every table is reached exactly once from the first, along links that run forward in join order.
TEST_F(JoinAnalysis, LinksFormATreeRootedAtTheFirstTable) {
    for (const char* text : {"SELECT A.ID FROM A, B, C WHERE A.X = B.X AND B.Y = C.Y AND C.Z = A.Z",
                             "SELECT X.ID FROM X, Y, W, Z WHERE X.A = Y.A AND W.B = Z.B AND Z.C = X.C",
                             "SELECT A.ID FROM A, B, C WHERE C.X = A.X", "SELECT A.ID FROM A, B, C, T"}) {
        SCOPED_TRACE(text);
        const auto query = Bound(text);
        std::vector<int> reachedBy(query->Sources.size() + 1, 0);
        for (const auto& source : query->Sources)
            for (const auto& link : source->Links) {
                EXPECT_LT(source->TableNumber, link->Target->TableNumber);
                ++reachedBy[link->Target->TableNumber];
            }
        EXPECT_EQ(reachedBy[1], 0);
        for (std::size_t i = 2; i < reachedBy.size(); ++i) EXPECT_EQ(reachedBy[i], 1) << i;
    }
}

// The predicates over trees read every operand: functions' and predicates' later operands name tables too.
TEST_F(JoinAnalysis, TreePredicatesReadEveryOperand) {
    struct Case {
        std::string text;
        bool many;
        std::string table;
        bool disjunction;
        bool joinComparison;
    };
    const std::vector<Case> cases = {
        {"A.X = 1", false, "A", false, false},
        {"1 = 2", false, "", false, false},
        {"A.X = B.X", true, "A", false, true},
        {"B.X LIKE A.Y", true, "B", false, false},
        {"1 IN (A.X, B.X)", true, "A", false, false},
        {"A.X BETWEEN 1 AND B.Y", true, "A", false, false},
        {"UPPER(A.X) = 'Q'", false, "A", false, false},
        {"A.X = 1 OR B.Y = 2", true, "A", true, false},
        {"NOT (A.X = 1 OR B.Y = 2)", true, "A", false, false},
        {"NOT (A.X = 1 AND B.Y = 2)", true, "A", true, false},
        {"NOT (A.X = B.Y) OR A.Z = 1", true, "A", true, true},
        {"A.X + B.Y = 5", true, "A", false, false},
    };
    const auto query = Bound("SELECT A.ID FROM A, B");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto tree = sqltest::ParseAll(c.text);
        sql::TSourceDataFile* table = nullptr;
        EXPECT_EQ(sql::SingleTableOfExpr(*query, tree.get(), table), c.many);
        EXPECT_EQ(table == nullptr ? "" : table->CorrelationName, c.table);
        EXPECT_EQ(sql::IsDisjunction(tree.get()), c.disjunction);
        EXPECT_EQ(sql::HasJoinComparison(*query, tree.get()), c.joinComparison);
    }
    auto tree = sqltest::ParseAll("NOT (A.X = 1 AND (A.Y = 2 OR A.Z = 3))");
    engine::TExprNode* orNode = tree->Left->Right.get();
    tree->Left->Parent = tree.get();
    orNode->Parent = tree->Left.get();
    EXPECT_TRUE(sql::IsUnderNot(orNode));
    EXPECT_FALSE(sql::IsUnderNot(nullptr));
    auto negated = sqltest::ParseAll("-(A.X + 1)");
    negated->Left->Parent = negated.get();
    EXPECT_FALSE(sql::IsUnderNot(negated->Left.get()));
}

}  // namespace
