#include "sql/TypeRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace sql;

// The rule tables as the rules are written (row heads left, column heads on top, "-" rejected), read
// independently of the implementation's grids. Any type absent from a table is rejected by it.
const char* const kAddTable = R"(
left\right 1 2 5 6 7 8 10 11 12
1          1 - - - - - - - -
2          - - 2 2 - - - - 2
5          - 2 6 6 7 8 10 11 6
6          - 2 6 6 7 8 10 11 6
7          - - 7 7 7 7 - - 7
8          - - 8 8 7 8 - - 8
10         - - 10 10 - - - - 10
11         - - 11 11 - - - - 11
12         - 2 6 6 7 8 10 11 6
)";

const char* const kSubtractTable = R"(
left\right 2 5 6 7 8 10 11 12
2          6 2 2 - - - - 2
5          - 6 6 7 8 - - 6
6          - 6 6 7 8 - - 6
7          - 7 7 7 7 - - 7
8          - 8 8 7 8 - - 8
10         - 10 10 - - 6 - 10
11         6 11 11 - - 6 7 11
12         - 12 12 7 8 - - 12
)";

const char* const kMultiplyTable = R"(
left\right 5 6 7 8 12
5          6 6 7 8 6
6          6 6 7 8 6
12         6 6 7 8 6
7          7 7 7 7 7
8          8 8 7 8 8
)";

const char* const kDivideTable = R"(
left\right 5 6 7 8 12
5          7 7 7 8 7
6          7 7 7 8 7
12         7 7 7 8 7
7          7 7 7 7 7
8          8 8 7 8 8
)";

using Cells = std::map<std::pair<int, int>, int>;

Cells ReadTable(const char* table) {
    std::istringstream lines(table);
    std::string line;
    std::vector<int> heads;
    Cells cells;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (heads.empty()) {
            while (words >> word) heads.push_back(std::stoi(word));
            continue;
        }
        const int left = std::stoi(word);
        for (const int right : heads) {
            words >> word;
            if (word != "-") cells[{left, right}] = std::stoi(word);
        }
    }
    return cells;
}

// The comparisons: the right types each left type accepts under = and <> and under the order comparisons.
struct ComparisonRow {
    int left;
    std::set<int> equality;
    std::set<int> order;
};

const std::vector<ComparisonRow> kComparisonTable = {
    {1, {0, 1}, {1}},
    {2, {0, 2, 11}, {2, 11}},
    {4, {0, 4}, {}},
    {5, {0, 5, 6, 7, 8, 12}, {5, 6, 7, 8, 12}},
    {6, {0, 5, 6, 7, 8, 12}, {5, 6, 7, 8, 12}},
    {7, {0, 5, 6, 7, 8, 12}, {5, 6, 7, 8, 12}},
    {8, {0, 5, 6, 7, 8, 12}, {5, 6, 7, 8, 12}},
    {10, {0, 10}, {10}},
    {11, {0, 2, 11}, {2, 11}},
    {12, {0, 5, 6, 7, 8, 12}, {5, 6, 7, 8, 12}},
};

// What the tables say of one operator and pair: accepted or not, and the result type (0 when rejected).
std::pair<bool, int> Expected(int op, int left, int right) {
    static const Cells add = ReadTable(kAddTable);
    static const Cells subtract = ReadTable(kSubtractTable);
    static const Cells multiply = ReadTable(kMultiplyTable);
    static const Cells divide = ReadTable(kDivideTable);
    const auto fromCells = [&](const Cells& cells) -> std::pair<bool, int> {
        const auto found = cells.find({left, right});
        return found == cells.end() ? std::pair{false, 0} : std::pair{true, found->second};
    };
    switch (op) {
        case 17:
            return fromCells(add);
        case 18:
            return fromCells(subtract);
        case 19:
            return fromCells(multiply);
        case 20:
            return fromCells(divide);
        case 10:
        case 11: {
            const bool valid = left == 4 && right == 4;
            return {valid, valid ? 4 : 0};
        }
        default: {
            for (const ComparisonRow& row : kComparisonTable) {
                if (row.left != left) continue;
                const bool valid = (op <= 4 ? row.equality : row.order).count(right) != 0;
                return {valid, valid ? 4 : 0};
            }
            return {false, 0};
        }
    }
}

TEST(TypeRules, BinaryMatrixMatchesTheTables) {
    const int operators[] = {3, 4, 5, 6, 7, 8, 10, 11, 17, 18, 19, 20};
    for (const int op : operators) {
        for (int left = 0; left <= 15; ++left) {
            for (int right = 0; right <= 15; ++right) {
                const auto [valid, type] = Expected(op, left, right);
                const auto o = static_cast<std::uint32_t>(op);
                const auto l = static_cast<std::uint8_t>(left);
                const auto r = static_cast<std::uint8_t>(right);
                EXPECT_EQ(BinaryOperandTypesValid(o, l, r), valid) << op << ": " << left << ", " << right;
                EXPECT_EQ(BinaryResultType(o, l, r), type) << op << ": " << left << ", " << right;
            }
        }
    }
}

TEST(TypeRules, OtherOperatorsAndTypesBeyondTheCodesAreRejected) {
    for (const int op : {0, 1, 2, 9, 12, 13, 14, 15, 16, 23, 31, 255}) {
        EXPECT_FALSE(BinaryOperandTypesValid(op, 6, 6)) << op;
        EXPECT_EQ(BinaryResultType(op, 6, 6), 0) << op;
    }
    EXPECT_FALSE(BinaryOperandTypesValid(engine::opAdd, 6, 200));
    EXPECT_FALSE(BinaryOperandTypesValid(engine::opEqual, 255, 0));
    EXPECT_FALSE(UnaryOperandTypeValid(engine::opPlus, 200));
}

TEST(TypeRules, UnaryTable) {
    const std::set<int> negatable = {2, 5, 6, 7, 8, 10, 11};
    const std::set<int> plusable = {2, 5, 6, 7, 8, 10, 11, 12};
    for (const int op : {1, 2, 9, 15, 16, 3, 17, 0}) {
        for (int type = 0; type <= 15; ++type) {
            bool valid = false;
            int result = 0;
            int subType = 0;
            if (op == 1 || op == 2 || op == 9) {
                valid = type == 4;
                result = valid ? 4 : 0;
            } else if (op == 15 || op == 16) {
                valid = (op == 15 ? negatable : plusable).count(type) != 0;
                result = valid ? type : 0;
                subType = valid ? 21 : 0;
            }
            const auto o = static_cast<std::uint32_t>(op);
            const auto t = static_cast<std::uint8_t>(type);
            EXPECT_EQ(UnaryOperandTypeValid(o, t), valid) << op << ": " << type;
            EXPECT_EQ(UnaryResultType(o, t), result) << op << ": " << type;
            EXPECT_EQ(UnaryResultSubType(o, t, 21), subType) << op << ": " << type;
        }
    }
}

TEST(TypeRules, MoneySubtype) {
    struct Case {
        std::uint32_t op;
        int leftType, leftSub, rightType, rightSub, expected;
    };
    const Case cases[] = {
        // Money and an integer keep money under every operator.
        {engine::opAdd, 7, 21, 6, 0, 21},
        {engine::opMultiply, 7, 21, 5, 0, 21},
        {engine::opSubtract, 7, 21, 12, 0, 21},
        {engine::opDivide, 7, 21, 8, 0, 21},
        // Money on the right alone: kept by + and *, not by - and /.
        {engine::opAdd, 6, 0, 7, 21, 21},
        {engine::opMultiply, 6, 0, 7, 21, 21},
        {engine::opSubtract, 6, 0, 7, 21, 0},
        {engine::opDivide, 6, 0, 7, 21, 0},
        // Any other subtype counts as plain (29 is autoincrement).
        {engine::opAdd, 6, 29, 7, 21, 21},
        {engine::opAdd, 6, 29, 6, 0, 0},
        // Money with money: kept; money against a type that is no number: dropped.
        {engine::opAdd, 7, 21, 7, 21, 21},
        {engine::opSubtract, 7, 21, 2, 0, 0},
        {engine::opAdd, 7, 21, 10, 0, 0},
        // Comparisons and logic never carry a subtype.
        {engine::opEqual, 7, 21, 6, 0, 0},
        {engine::opLess, 6, 0, 7, 21, 0},
        {engine::opAnd, 4, 21, 4, 21, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BinaryResultSubType(
                      c.op, static_cast<std::uint8_t>(c.leftType), static_cast<std::uint8_t>(c.leftSub),
                      static_cast<std::uint8_t>(c.rightType), static_cast<std::uint8_t>(c.rightSub)),
                  c.expected)
            << c.op << ": " << c.leftType << "/" << c.leftSub << ", " << c.rightType << "/" << c.rightSub;
    }
}

}  // namespace
