#include "sql/PlanPredicates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sql/ParseSupport.h"

namespace {

using sqltest::ParseAll;

TEST(PlanPredicates, ContainsColumnRef) {
    struct Case {
        std::string text;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"a", true},
        {"t.*", true},
        {"1", false},
        {"'x'", false},
        {"?", false},
        {"-a", true},
        {"NOT 1", false},
        {"UPPER(a)", true},
        {"SUM(a * 2)", true},
        {"a + 1", true},
        {"1 + a", true},
        {"1 + 2 * 3", false},
        {"(1 = 2) AND a", true},
        // Functions and predicates answer for their first operand only.
        {"SUBSTRING('x' FROM 1)", false},
        {"TRIM(BOTH 'x' FROM 'y')", false},
        {"a LIKE 'x'", true},
        {"'x' LIKE a", false},
        {"1 IN (a, 2)", false},
        {"1 BETWEEN a AND b", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sql::ContainsColumnRef(ParseAll(c.text).get()), c.expected) << c.text;
    }
    EXPECT_FALSE(sql::ContainsColumnRef(nullptr));
}

}  // namespace
