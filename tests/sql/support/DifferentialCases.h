// The SQLite differential test's data and statements: two small tables and a table of SELECTs, each beside
// its SQLite twin. Kept apart from the test so that other tests can run the same statements another way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sqltest::differential {

// T1: A integer (primary index), B smallint, S string 10, F float, D date (day number), K boolean.
struct T1Row {
    std::int32_t a;
    std::int16_t b;
    const char* s;
    double f;
    std::int32_t d;
    bool k;
};
// T2: ID integer (primary index), TID integer (secondary index), V integer, N integer that may be NULL
// (read only under IS [NOT] NULL).
struct T2Row {
    std::int32_t id;
    std::int32_t tid;
    std::int32_t v;
    std::optional<std::int32_t> n;
};

inline const std::vector<T1Row> kT1 = {
    {1, 10, "ab", 1.5, 738000, true},  {2, 20, "cd", 2.5, 738001, false}, {3, 10, "ab", -1.0, 738002, true},
    {4, 30, "ef", 0.5, 738000, false}, {5, 20, "cd", 3.0, 738003, true},  {6, -5, "gh", 2.0, 738001, false},
};
// T1.A 1 has two T2 rows, 3 and 5 one, 2, 4 and 6 none; T2.ID 5 has no T1.
inline const std::vector<T2Row> kT2 = {
    {1, 1, 100, 7}, {2, 1, 200, std::nullopt}, {3, 3, 300, 9}, {4, 5, 400, std::nullopt}, {5, 9, 500, 1},
};

struct Statement {
    const char* engine;
    const char* sqlite;  // nullptr: the same text
    bool ordered;        // compared as a sequence (ORDER BY on unique keys), else as a multiset
};

// Every operator and function, AND/OR/NOT, DISTINCT, GROUP BY with the five aggregates, aggregate-only
// queries, ORDER BY, comma and JOIN ... ON inner joins, LEFT and RIGHT joins with WHERE and ON conditions on
// either side, and the faults mended in execution (COUNT(col), NULL expressions in aggregates, outer rows).
inline const std::vector<Statement> kSelects = {
    {"SELECT A, B FROM T1 WHERE B = 10", nullptr, false},
    {"SELECT A FROM T1 WHERE B > 10 AND A < 5 OR S = 'gh'", nullptr, false},
    {"SELECT A FROM T1 WHERE NOT B = 20", nullptr, false},
    {"SELECT A FROM T1 WHERE B <> 20 AND B >= 10 AND A <= 4", nullptr, false},
    {"SELECT A, B + A, B - A, B * A FROM T1", nullptr, false},
    {"SELECT A, B / A FROM T1", "SELECT A, CAST(B AS REAL) / A FROM T1", false},
    {"SELECT A, F * 2 + B FROM T1 WHERE F < 2.5", nullptr, false},
    {"SELECT A, S + 'x' FROM T1", "SELECT A, S || 'x' FROM T1", false},
    {"SELECT A FROM T1 WHERE S LIKE 'a%'", nullptr, false},
    {"SELECT A FROM T1 WHERE B BETWEEN 10 AND 20", nullptr, false},
    {"SELECT A FROM T1 WHERE B IN (10, 30)", nullptr, false},
    {"SELECT A, UPPER(S), LOWER('X' + S) FROM T1", "SELECT A, UPPER(S), LOWER('X' || S) FROM T1", false},
    {"SELECT A, SUBSTRING(S FROM 2 FOR 1) FROM T1", "SELECT A, substr(S, 2, 1) FROM T1", false},
    {"SELECT A, TRIM(LEADING 'a' FROM S), TRIM(TRAILING 'd' FROM S), TRIM(BOTH 'g' FROM S) FROM T1",
     "SELECT A, ltrim(S, 'a'), rtrim(S, 'd'), trim(S, 'g') FROM T1", false},
    {"SELECT A, EXTRACT(YEAR FROM D), EXTRACT(MONTH FROM D), EXTRACT(DAY FROM D) FROM T1",
     "SELECT A, CAST(strftime('%Y', D + 1721424.5) AS INTEGER), CAST(strftime('%m', D + 1721424.5) AS "
     "INTEGER), "
     "CAST(strftime('%d', D + 1721424.5) AS INTEGER) FROM T1",
     false},
    {"SELECT A FROM T1 WHERE K = TRUE", "SELECT A FROM T1 WHERE K = 1", false},
    {"SELECT DISTINCT B FROM T1", nullptr, false},
    {"SELECT DISTINCT S, B FROM T1 WHERE A > 1", nullptr, false},
    {"SELECT B, SUM(A), MIN(F), MAX(A), AVG(A), COUNT(A), COUNT(*) FROM T1 GROUP BY B", nullptr, false},
    {"SELECT S, SUM(F), AVG(B) FROM T1 GROUP BY S", nullptr, false},
    {"SELECT COUNT(*), SUM(B), AVG(F), MIN(D), MAX(A) FROM T1", nullptr, false},
    {"SELECT COUNT(*) FROM T1 WHERE B = 20", nullptr, false},
    {"SELECT COUNT(A), SUM(A * B) FROM T1 WHERE B > 100", nullptr, false},
    {"SELECT A, B FROM T1 ORDER BY A DESC", nullptr, true},
    {"SELECT A, S FROM T1 WHERE B < 25 ORDER BY A", nullptr, true},
    {"SELECT T1.A, T2.V FROM T1, T2 WHERE T1.A = T2.TID", nullptr, false},
    {"SELECT T1.A, T2.V FROM T1 JOIN T2 ON T1.A = T2.TID WHERE T2.V > 150", nullptr, false},
    {"SELECT T1.A, T2.V FROM T2 JOIN T1 ON T1.A = T2.TID AND T1.B = 10", nullptr, false},
    {"SELECT T1.A, T2.V FROM T1 LEFT JOIN T2 ON T1.A = T2.TID", nullptr, false},
    {"SELECT T1.A FROM T1 LEFT JOIN T2 ON T1.A = T2.TID WHERE T2.ID IS NULL", nullptr, false},
    {"SELECT T1.A, T2.V FROM T1 LEFT JOIN T2 ON T1.A = T2.TID WHERE T2.V > 150", nullptr, false},
    {"SELECT T1.A, T2.V FROM T1 LEFT JOIN T2 ON T1.A = T2.TID AND T2.V > 150", nullptr, false},
    {"SELECT T1.A, T2.V FROM T1 LEFT JOIN T2 ON T1.A = T2.TID AND T1.B = 10", nullptr, false},
    {"SELECT T1.A, T2.V FROM T2 RIGHT JOIN T1 ON T1.A = T2.TID", nullptr, false},
    // A LEFT JOIN hanging off the null side of another.
    {"SELECT T1.A, T2.V, X.B FROM T1 LEFT JOIN T2 ON T1.A = T2.TID LEFT JOIN T1 X ON T2.ID = X.A", nullptr,
     false},
    {"SELECT T1.A, T2.V, X.B FROM T1 LEFT JOIN T2 ON T1.A = T2.TID LEFT JOIN T1 X ON T2.ID = X.A WHERE X.A "
     "IS NULL",
     nullptr, false},
    {"SELECT T2.ID FROM T2 WHERE N IS NULL", nullptr, false},
    {"SELECT T2.ID FROM T2 WHERE N IS NOT NULL", nullptr, false},
    {"SELECT T1.B, SUM(T2.V), COUNT(*) FROM T1 JOIN T2 ON T1.A = T2.TID GROUP BY T1.B", nullptr, false},
    // A table that two join conditions reach, a ring of conditions, and an outer join's table reached from
    // both tables before it.
    {"SELECT P.A, Q.ID, R.A, S.ID FROM T1 P, T2 Q, T1 R, T2 S WHERE P.A = Q.TID AND Q.TID = R.A AND R.A = "
     "S.TID "
     "AND Q.V <= S.V",
     nullptr, false},
    {"SELECT X.A, Y.ID, Z.A FROM T1 X, T2 Y, T1 Z WHERE X.A = Y.TID AND Y.TID = Z.A AND Z.B = X.B", nullptr,
     false},
    {"SELECT a.A, c.A, b.ID FROM T1 a JOIN T1 c ON a.B = c.B LEFT JOIN T2 b ON a.A = b.TID AND c.A = b.TID",
     nullptr, false},
};

// Changes run in this order on both sides, each followed by a comparison of the whole table it changed.
struct Change {
    const char* engine;
    const char* sqlite;  // nullptr: the same text
    const char* table;
};

inline const std::vector<Change> kChanges = {
    {"INSERT INTO T2 (ID, TID, V) VALUES (6, 2, 600)", nullptr, "T2"},
    {"UPDATE T2 SET V = V + 1 WHERE TID = 1", nullptr, "T2"},
    {"UPDATE T1 SET B = A, A = A + 100 WHERE B > 15", nullptr, "T1"},
    {"DELETE FROM T2 WHERE V > 300", nullptr, "T2"},
    {"UPDATE T1 SET S = S + 'z' WHERE K = TRUE", "UPDATE T1 SET S = S || 'z' WHERE K = 1", "T1"},
    {"DELETE FROM T1 WHERE A > 100", nullptr, "T1"},
    {"INSERT INTO T1 (A, B, S, F, K) VALUES (7, 3, 'ij', 4.25, FALSE)",
     "INSERT INTO T1 (A, B, S, F, K) VALUES (7, 3, 'ij', 4.25, 0)", "T1"},
    // Updates to NULL empty the field, a NULL column's value as well as the constant.
    {"UPDATE T2 SET V = N WHERE TID = 1", nullptr, "T2"},
    {"UPDATE T2 SET N = NULL WHERE ID = 3", nullptr, "T2"},
    {"UPDATE T1 SET S = NULL, F = NULL WHERE A = 2", nullptr, "T1"},
};

}  // namespace sqltest::differential
