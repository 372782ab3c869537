#include "tests/sql/support/StatementGenerator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace sqltest::differential {

namespace {

enum class Type { Integer, SmallInt, Float, String, Date, Boolean, NullableInteger };

// Words of at least two different letters: no SUBSTRING or TRIM below makes one empty (the engine reads ''
// as NULL), and lower case only, so that orderings agree whatever the collation does with case.
constexpr std::array<const char*, 8> kWords = {"ab", "ba", "abc", "cd", "dcb", "xa", "bca", "cab"};

}  // namespace

struct StatementGenerator::Column {
    std::string name;  // qualified when the FROM names more than one table
    Type type;
    bool nullable;  // from the null side of an outer join
};

// One piece of text for the engine and its SQLite twin.
struct StatementGenerator::Dual {
    std::string engine;
    std::string sqlite;

    Dual& operator+=(const Dual& other) {
        engine += other.engine;
        sqlite += other.sqlite;
        return *this;
    }
    Dual& operator+=(const std::string& same) {
        engine += same;
        sqlite += same;
        return *this;
    }
};

namespace {

// The date of a day number (day 1 is 1 January of year 1) as the engine reads date text (month/day/year), and
// the number for SQLite.
StatementGenerator::Dual DateConstant(std::int32_t day) {
    using namespace std::chrono;
    // 738000 is 29 July 2021.
    const year_month_day date{sys_days{2021y / July / 29} + days{day - 738000}};
    char text[16];
    std::snprintf(text, sizeof text, "'%02u/%02u/%04d'", static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(date.year()));
    return {text, std::to_string(day)};
}

}  // namespace

struct StatementGenerator::Source {
    Dual from;
    std::vector<Column> columns;
    bool join = false;
    bool outerJoin = false;
};

int StatementGenerator::Pick(int count) {
    return static_cast<int>(random_() % static_cast<std::uint64_t>(count));
}

bool StatementGenerator::Chance(int percent) {
    return Pick(100) < percent;
}

// Small numbers, so that no sum, product or difference leaves 16 bits; floats in quarters, so that every sum
// is exact in any order.
int StatementGenerator::SmallValue() {
    return Pick(8) * 5 - 10;
}

double StatementGenerator::FloatValue() {
    return (Pick(41) - 20) * 0.25;
}

// Forty days from 29 July 2021 (day 738000), across a month's end.
std::int32_t StatementGenerator::DayValue() {
    return 738000 + Pick(40);
}

const char* StatementGenerator::Word() {
    return kWords[static_cast<std::size_t>(Pick(kWords.size()))];
}

namespace {

std::string FloatText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

GeneratedRows StatementGenerator::Rows() {
    GeneratedRows rows;
    // 0 to a few dozen rows; keys shuffled so that natural and index order differ.
    const int t1Count = Chance(5) ? 0 : 1 + Pick(24);
    const int t2Count = Chance(5) ? 0 : 1 + Pick(30);
    std::vector<std::int32_t> keys(static_cast<std::size_t>(std::max(t1Count, t2Count)));
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = static_cast<std::int32_t>(i + 1);
    std::shuffle(keys.begin(), keys.end(), random_);
    for (int i = 0; i < t1Count; ++i) {
        rows.t1.push_back({keys[static_cast<std::size_t>(i)], static_cast<std::int16_t>(SmallValue()),
                           Word(), FloatValue(),
                           DayValue(), Chance(50)});
    }
    std::shuffle(keys.begin(), keys.end(), random_);
    for (int i = 0; i < t2Count; ++i) {
        std::optional<std::int32_t> n;
        if (Chance(60)) n = Pick(10);
        // TID meets T1's keys often, and misses them sometimes.
        rows.t2.push_back({keys[static_cast<std::size_t>(i)], 1 + Pick(t1Count + 4), Pick(20) * 25, n});
    }
    // Both tables draw their keys from 1 .. the larger count.
    maxA_ = maxId_ = static_cast<std::int32_t>(keys.size());
    return rows;
}

namespace {

std::vector<std::pair<std::string, Type>> TableColumns(const std::string& table) {
    if (table == "T1")
        return {{"A", Type::Integer}, {"B", Type::SmallInt}, {"S", Type::String},
                {"F", Type::Float},   {"D", Type::Date},     {"K", Type::Boolean}};
    return {{"ID", Type::Integer}, {"TID", Type::Integer}, {"V", Type::Integer}, {"N", Type::NullableInteger}};
}

bool IsNumber(Type type) {
    return type == Type::Integer || type == Type::SmallInt || type == Type::Float;
}

}  // namespace

namespace {

// The FROM clauses, beside which tables they bring and which of them an outer join can fill with NULLs. Every
// join links T1.A to T2.TID; X is a second T1.
enum class Third { None, Inner, NullSide };
struct Form {
    const char* from;
    bool t1NullSide;
    bool t2NullSide;
    Third x;
    bool onConjunct;  // the first join takes a further ON conjunct on either side, sometimes
};
constexpr std::array<Form, 9> kJoinForms = {{
    {"T1, T2 WHERE T1.A = T2.TID", false, false, Third::None, false},
    {"T1 JOIN T2 ON T1.A = T2.TID", false, false, Third::None, true},
    {"T1, T2, T1 X WHERE T1.A = T2.TID AND X.B = T1.B", false, false, Third::Inner, false},
    {"T1 LEFT JOIN T2 ON T1.A = T2.TID", false, true, Third::None, true},
    {"T1 RIGHT JOIN T2 ON T1.A = T2.TID", true, false, Third::None, true},
    // A LEFT JOIN hanging off the null side of another.
    {"T1 LEFT JOIN T2 ON T1.A = T2.TID LEFT JOIN T1 X ON T2.ID = X.A", false, true, Third::NullSide, false},
    // An inner join, and a comma, after a LEFT JOIN.
    {"T1 LEFT JOIN T2 ON T1.A = T2.TID JOIN T1 X ON X.B = T1.B", false, true, Third::Inner, false},
    {"T1 LEFT JOIN T2 ON T1.A = T2.TID, T1 X WHERE X.K = T1.K", false, true, Third::Inner, false},
    // An inner join inside a RIGHT JOIN: T2 and X together are its null side.
    {"T2 JOIN T1 X ON X.A = T2.ID RIGHT JOIN T1 ON T1.A = T2.TID", false, true, Third::NullSide, false},
}};

}  // namespace

StatementGenerator::Source StatementGenerator::PickSource() {
    Source source;
    const auto add = [&](const std::string& table, const std::string& correlation, bool qualify, bool nullable) {
        for (const auto& [name, type] : TableColumns(table))
            source.columns.push_back({qualify ? correlation + "." + name : name, type, nullable});
    };
    // A single table about a third of the time.
    const int pick = Pick(static_cast<int>(kJoinForms.size()) + 4);
    if (pick < 4) {
        const std::string table = pick < 2 ? "T1" : "T2";
        add(table, table, false, false);
        source.from += table;
        return source;
    }
    const Form& form = kJoinForms[static_cast<std::size_t>(pick - 4)];
    source.join = true;
    source.outerJoin = form.t1NullSide || form.t2NullSide;
    add("T1", "T1", true, form.t1NullSide);
    add("T2", "T2", true, form.t2NullSide);
    if (form.x != Third::None) add("T1", "X", true, form.x == Third::NullSide);
    source.from += form.from;
    if (form.onConjunct && Chance(40)) {
        // Within ON, both tables' values are real: NOT and column comparisons are fine.
        Source one;
        const bool t1 = Chance(50);
        for (std::size_t i = t1 ? 0 : 6; i < (t1 ? 6 : 10); ++i) one.columns.push_back(source.columns[i]);
        for (Column& column : one.columns) column.nullable = false;
        const Dual condition = Predicate(one);
        source.from.engine += " AND " + condition.engine;
        source.from.sqlite += " AND " + condition.sqlite;
    }
    return source;
}

StatementGenerator::Dual StatementGenerator::Constant(const Column& column) {
    switch (column.type) {
        case Type::Integer: {
            // V holds multiples of 25, the keys and TID small numbers: constants from the same ranges.
            const bool v = column.name == "V" || column.name.ends_with(".V");
            const std::string text = std::to_string(v ? Pick(20) * 25 : Pick(30));
            return {text, text};
        }
        case Type::Date:
            return DateConstant(DayValue());
        case Type::SmallInt: {
            const std::string v = std::to_string(SmallValue());
            return {v, v};
        }
        case Type::Float: {
            const std::string v = FloatText(FloatValue());
            return {v, v};
        }
        case Type::String: {
            const std::string v = std::string("'") + Word() + "'";
            return {v, v};
        }
        case Type::Boolean:
            return Chance(50) ? Dual{"TRUE", "1"} : Dual{"FALSE", "0"};
        default: {
            const std::string v = std::to_string(Pick(10));
            return {v, v};
        }
    }
}

StatementGenerator::Dual StatementGenerator::Where(const Source& source, int atoms) {
    Dual where = Predicate(source);
    for (int i = 1; i < atoms; ++i) {
        where += Chance(60) ? " AND " : " OR ";
        where += Predicate(source);
    }
    return where;
}

// One condition. A value that can be NULL meets only a constant, under an operator on which two-valued and
// three-valued logic agree; N is read only under IS [NOT] NULL; D against a date or through EXTRACT.
StatementGenerator::Dual StatementGenerator::Predicate(const Source& source) {
    const Column& column = source.columns[static_cast<std::size_t>(Pick(static_cast<int>(source.columns.size())))];
    const bool nullable = column.nullable || column.type == Type::NullableInteger;
    if (column.type == Type::NullableInteger || (nullable && Chance(25))) {
        const std::string text = column.name + (Chance(50) ? " IS NULL" : " IS NOT NULL");
        return {text, text};
    }
    Dual atom;
    if (!nullable && Chance(15)) atom += "NOT ";
    Dual left{column.name, column.name};
    if (column.type == Type::Date && Chance(50)) {
        constexpr std::array<const char*, 5> kOperators = {" = ", " < ", " > ", " <= ", " >= "};
        atom += left;
        atom += kOperators[static_cast<std::size_t>(Pick(kOperators.size()))];
        atom += Constant(column);
        return atom;
    }
    if (column.type == Type::Date) {
        const std::string text = "EXTRACT(DAY FROM " + column.name + ")";
        left = {text, "CAST(strftime('%d', " + column.name + " + 1721424.5) AS INTEGER)"};
    }
    atom += left;
    const int shape = Pick(6);
    if (column.type == Type::Boolean) {
        atom += " = ";
        atom += Constant(column);
    } else if (column.type == Type::Date) {
        atom += std::string(Pick(2) == 0 ? " < " : " = ") + std::to_string(1 + Pick(28));
    } else if (shape == 0) {
        Dual low = Constant(column);
        Dual high = Constant(column);
        if (column.type != Type::String && std::stod(low.engine) > std::stod(high.engine)) std::swap(low, high);
        if (column.type == Type::String && low.engine > high.engine) std::swap(low, high);
        atom += " BETWEEN ";
        atom += low;
        atom += " AND ";
        atom += high;
    } else if (shape == 1) {
        atom += " IN (";
        atom += Constant(column);
        atom += ", ";
        atom += Constant(column);
        atom += ")";
    } else if (shape == 2 && column.type == Type::String) {
        constexpr std::array<const char*, 5> kPatterns = {"'a%'", "'%b'", "'_a%'", "'%c%'", "'b_'"};
        atom += std::string(" LIKE ") + kPatterns[static_cast<std::size_t>(Pick(kPatterns.size()))];
    } else {
        constexpr std::array<const char*, 6> kOperators = {" = ", " < ", " > ", " <= ", " >= ", " <> "};
        atom += kOperators[static_cast<std::size_t>(Pick(nullable ? 5 : 6))];
        // Another column of the same kind, sometimes, when neither can be NULL. Among three tables, only of
        // the same one: a condition linking the two tables that no join links would close a cycle of join
        // conditions, which the planner refuses.
        const auto table = [](const std::string& name) { return name.substr(0, name.find('.')); };
        std::vector<const Column*> others;
        for (const Column& other : source.columns)
            if (!nullable && !other.nullable &&
                (other.type == column.type || (IsNumber(other.type) && IsNumber(column.type))) &&
                (source.columns.size() <= 10 || table(other.name) == table(column.name)))
                others.push_back(&other);
        if (!others.empty() && Chance(40)) {
            const Column& other = *others[static_cast<std::size_t>(Pick(static_cast<int>(others.size())))];
            atom += other.name;
            if (IsNumber(other.type) && Chance(40)) atom += " + " + std::to_string(Pick(10));
        } else {
            atom += Constant(column);
        }
    }
    return atom;
}

StatementGenerator::Dual StatementGenerator::SelectItem(const Source& source) {
    const Column& column = source.columns[static_cast<std::size_t>(Pick(static_cast<int>(source.columns.size())))];
    const std::string& c = column.name;
    const int shape = Pick(4);
    if (shape == 0 || column.type == Type::Boolean || column.type == Type::NullableInteger) return {c, c};
    switch (column.type) {
        case Type::String:
            switch (Pick(5)) {
                case 0:
                    return {c + " + 'x'", c + " || 'x'"};
                case 1:
                    return {"UPPER(" + c + ")", "UPPER(" + c + ")"};
                case 2:
                    return {"SUBSTRING(" + c + " FROM 2 FOR 1)", "substr(" + c + ", 2, 1)"};
                case 3:
                    return {"TRIM(LEADING 'a' FROM " + c + ")", "ltrim(" + c + ", 'a')"};
                default:
                    return {"TRIM(BOTH 'b' FROM " + c + ")", "trim(" + c + ", 'b')"};
            }
        case Type::Date: {
            constexpr std::array<std::pair<const char*, const char*>, 3> kParts = {
                {{"YEAR", "%Y"}, {"MONTH", "%m"}, {"DAY", "%d"}}};
            const auto& [part, format] = kParts[static_cast<std::size_t>(Pick(3))];
            return {std::string("EXTRACT(") + part + " FROM " + c + ")",
                    std::string("CAST(strftime('") + format + "', " + c + " + 1721424.5) AS INTEGER)"};
        }
        default:
            break;
    }
    // Arithmetic; a NULL operand gives NULL on both sides.
    std::vector<const Column*> numbers;
    for (const Column& other : source.columns)
        if (IsNumber(other.type)) numbers.push_back(&other);
    const std::string other = Chance(50) ? numbers[static_cast<std::size_t>(Pick(static_cast<int>(numbers.size())))]->name
                                         : std::to_string(1 + Pick(9));
    switch (Pick(4)) {
        case 0:
            return {c + " + " + other, c + " + " + other};
        case 1:
            return {c + " - " + other, c + " - " + other};
        case 2:
            return {c + " * " + other, c + " * " + other};
        default:
            // Division by zero gives NULL on both sides; int / int is a float here.
            return {c + " / " + other, "CAST(" + c + " AS REAL) / " + other};
    }
}

// An aggregate over a value that is never NULL.
StatementGenerator::Dual StatementGenerator::Aggregate(const Source& source) {
    std::vector<const Column*> values;
    for (const Column& column : source.columns)
        if (!column.nullable && (IsNumber(column.type) || column.type == Type::String)) values.push_back(&column);
    if (values.empty() || Chance(15)) return {"COUNT(*)", "COUNT(*)"};
    const Column& column = *values[static_cast<std::size_t>(Pick(static_cast<int>(values.size())))];
    std::string argument = column.name;
    if (IsNumber(column.type) && Chance(25)) argument += " + " + std::to_string(Pick(5));
    constexpr std::array<const char*, 5> kFunctions = {"SUM", "MIN", "MAX", "AVG", "COUNT"};
    // Strings only under COUNT: MIN and MAX take numbers and moments.
    const std::string function =
        column.type == Type::String ? "COUNT" : kFunctions[static_cast<std::size_t>(Pick(5))];
    const std::string text = function + "(" + argument + ")";
    return {text, text};
}

GeneratedStatement StatementGenerator::Select() {
    const Source source = PickSource();
    GeneratedStatement statement;
    statement.join = source.join;
    statement.outerJoin = source.outerJoin;
    Dual list;
    std::string tail;  // GROUP BY or ORDER BY, the same on both sides
    const int shape = Pick(10);
    if (shape < 3) {
        // GROUP BY one or two plain columns (never N), or aggregates alone.
        statement.grouped = true;
        std::vector<std::string> keys;
        if (shape > 0) {
            for (int i = 0; i < 1 + Pick(2); ++i) {
                const Column& key =
                    source.columns[static_cast<std::size_t>(Pick(static_cast<int>(source.columns.size())))];
                if (key.type != Type::NullableInteger &&
                    std::find(keys.begin(), keys.end(), key.name) == keys.end())
                    keys.push_back(key.name);
            }
        }
        for (const std::string& key : keys) {
            list += (list.engine.empty() ? "" : ", ") + key;
            tail += (tail.empty() ? " GROUP BY " : ", ") + key;
        }
        for (int i = 0; i < 1 + Pick(3); ++i) {
            list += list.engine.empty() ? "" : ", ";
            list += Aggregate(source);
        }
    } else {
        const bool distinct = Chance(20);
        if (distinct) list += "DISTINCT ";
        if (!distinct && !source.join && Chance(30)) {
            const std::string key = source.columns.front().name;
            const std::string direction = Chance(50) ? " DESC" : "";
            list += key + ", ";
            tail = " ORDER BY " + key + direction;
            statement.ordered = true;
        }
        for (int i = 0; i < 1 + Pick(4); ++i) {
            if (i > 0) list += ", ";
            list += SelectItem(source);
        }
    }
    Dual where;
    const bool hasWhere = source.from.engine.find(" WHERE ") != std::string::npos;
    if (Chance(65)) {
        const Dual condition = Where(source, 1 + Pick(3));
        // After the join's own WHERE link the condition joins with AND: unparenthesised, an OR would swallow
        // the link, so the whole condition goes in parentheses there.
        where += hasWhere ? " AND (" : " WHERE ";
        where += condition;
        if (hasWhere) where += ")";
    }
    statement.engine = "SELECT " + list.engine + " FROM " + source.from.engine + where.engine + tail;
    statement.sqlite = "SELECT " + list.sqlite + " FROM " + source.from.sqlite + where.sqlite + tail;
    return statement;
}

GeneratedStatement StatementGenerator::Insert() {
    GeneratedStatement statement;
    statement.kind = GeneratedKind::Insert;
    if (Chance(50)) {
        statement.table = "T1";
        const std::string word = std::string("'") + Word() + "'";
        const std::string f = FloatText(FloatValue());
        Dual values;
        values += "INSERT INTO T1 (A, B, S, F, D, K) VALUES (" + std::to_string(++maxA_) + ", " +
                  std::to_string(SmallValue()) + ", " + word + ", " + f + ", ";
        values += DateConstant(DayValue());
        values += ", ";
        values += Chance(50) ? Dual{"TRUE)", "1)"} : Dual{"FALSE)", "0)"};
        statement.engine = values.engine;
        statement.sqlite = values.sqlite;
    } else {
        statement.table = "T2";
        const std::string values = std::to_string(++maxId_) + ", " + std::to_string(1 + Pick(maxA_ + 4)) + ", " +
                                   std::to_string(Pick(20) * 25);
        statement.engine = Chance(50) ? "INSERT INTO T2 (ID, TID, V) VALUES (" + values + ")"
                                      : "INSERT INTO T2 (ID, TID, V, N) VALUES (" + values + ", " +
                                            std::to_string(Pick(10)) + ")";
        statement.sqlite = statement.engine;
    }
    return statement;
}

GeneratedStatement StatementGenerator::Update() {
    GeneratedStatement statement;
    statement.kind = GeneratedKind::Update;
    const bool t1 = Chance(50);
    statement.table = t1 ? "T1" : "T2";
    Source source;
    for (const auto& [name, type] : TableColumns(statement.table)) source.columns.push_back({name, type, false});
    Dual set;
    const int shape = Pick(5);
    if (t1) {
        if (shape == 0 && maxA_ < 1000) {
            // Moves keys past every key the table has held: they stay unique, and each moved row lands
            // behind the cursor's walk, where it must not be changed twice.
            set += "A = A + " + std::to_string(maxA_);
            maxA_ *= 2;
        } else if (shape == 1) {
            set += "B = B + " + std::to_string(Pick(5) + 1) + ", F = F - 0.5";
        } else if (shape == 2) {
            set += "S = ";
            set += Constant(source.columns[2]);
        } else if (shape == 3) {
            set += "K = ";
            set += Constant(source.columns[5]);
            set += ", B = " + std::to_string(SmallValue());
        } else {
            set += "F = F * 2";
        }
    } else {
        if (shape == 0) {
            set += "V = TID, TID = V";
        } else if (shape == 1) {
            set += "TID = TID + 1";
        } else if (shape == 2) {
            set += "N = " + std::to_string(Pick(10));
        } else {
            set += "V = V + " + std::to_string(Pick(50));
        }
    }
    Dual where;
    if (Chance(80)) {
        where += " WHERE ";
        where += Where(source, 1 + Pick(2));
    }
    statement.engine = "UPDATE " + statement.table + " SET " + set.engine + where.engine;
    statement.sqlite = "UPDATE " + statement.table + " SET " + set.sqlite + where.sqlite;
    return statement;
}

GeneratedStatement StatementGenerator::Delete() {
    GeneratedStatement statement;
    statement.kind = GeneratedKind::Delete;
    statement.table = Chance(50) ? "T1" : "T2";
    Source source;
    for (const auto& [name, type] : TableColumns(statement.table)) source.columns.push_back({name, type, false});
    const Dual where = Where(source, 1 + Pick(2));
    statement.engine = "DELETE FROM " + statement.table + " WHERE " + where.engine;
    statement.sqlite = "DELETE FROM " + statement.table + " WHERE " + where.sqlite;
    return statement;
}

GeneratedStatement StatementGenerator::Next() {
    const int kind = Pick(100);
    if (kind < 70) return Select();
    if (kind < 80) return Insert();
    if (kind < 92) return Update();
    return Delete();
}

}  // namespace sqltest::differential
