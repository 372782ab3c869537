// A seeded source of random rows for the differential test's two tables and of SELECT, INSERT, UPDATE and
// DELETE statements over them, each written for the engine and, as its twin, for SQLite; they keep to the
// same subset, and obey the same rules, as the hand-written table in DifferentialCases.h.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/sql/support/DifferentialCases.h"

namespace sqltest::differential {

enum class GeneratedKind { Select, Insert, Update, Delete };

struct GeneratedStatement {
    GeneratedKind kind = GeneratedKind::Select;
    std::string engine;
    std::string sqlite;
    bool ordered = false;  // compared as a sequence (ORDER BY on a unique key)
    std::string table;     // the table a change changes
    bool join = false;
    bool outerJoin = false;
    bool grouped = false;
};

// Rows for T1 and T2 (the layout DifferentialCases.h describes): unique keys, duplicates elsewhere.
struct GeneratedRows {
    std::vector<T1Row> t1;
    std::vector<T2Row> t2;
};

class StatementGenerator {
public:
    explicit StatementGenerator(std::uint64_t seed) : random_(seed) {}

    // Fresh rows; the statements that follow assume the tables hold them.
    GeneratedRows Rows();
    GeneratedStatement Next();

    struct Dual;

private:
    struct Column;
    struct Source;

    int Pick(int count);
    bool Chance(int percent);
    int SmallValue();
    double FloatValue();
    std::int32_t DayValue();
    const char* Word();
    Source PickSource();
    Dual Constant(const Column& column);
    Dual Predicate(const Source& source);
    Dual Where(const Source& source, int atoms);
    Dual SelectItem(const Source& source);
    Dual Aggregate(const Source& source);
    GeneratedStatement Select();
    GeneratedStatement Insert();
    GeneratedStatement Update();
    GeneratedStatement Delete();

    std::mt19937_64 random_;
    // The largest key each table holds or has held, so that new keys stay unique.
    std::int32_t maxA_ = 0;
    std::int32_t maxId_ = 0;
};

}  // namespace sqltest::differential
