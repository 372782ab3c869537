// Reading whole texts with TExpressionParser in tests, and catching the SQL errors they raise.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/values/LocaleSettings.h"
#include "sql/ExpressionParser.h"
#include "tests/sql/TreePrinter.h"

namespace sqltest {

// Every flag, and the clause a condition stands in.
inline constexpr sql::ParseFlags AllFlags =
    sql::pfAggregates | sql::pfAllColumns | sql::pfPredicates | sql::pfParameters;
inline constexpr std::string_view WhereContext = "WHERE or JOIN clause";

// The whole text read as one condition under the built-in US settings, as the statement parser reads it;
// a text that goes on after the condition fails the test.
inline std::unique_ptr<engine::TExprNode> ParseAll(std::string_view text, sql::ParseFlags flags = AllFlags,
                                                   std::string_view context = WhereContext) {
    engine::LocaleFormatSwap us(0, 0);
    sql::TExpressionParser parser(nullptr);
    parser.SetStatement(text);
    parser.NextToken();
    std::unique_ptr<engine::TExprNode> tree = parser.ParseCondition(flags, context);
    if (!parser.TokenIs(sql::tkEnd))
        ADD_FAILURE() << "'" << text << "' goes on at '" << parser.TokenText() << "'";
    return tree;
}

inline std::string Shape(std::string_view text, sql::ParseFlags flags = AllFlags) {
    return PrintTree(ParseAll(text, flags).get());
}

// The extra text of the engine error 11949 that the action raises; a test failure when it raises nothing
// or anything else.
template <class Action>
std::string SqlError(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const engine::ETARNISEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), engine::ErrSql);
        return engine::CurrentErrorContext().ExtraText;
    }
    ADD_FAILURE() << "no SQL error";
    return {};
}

inline std::string ParseError(std::string_view text, sql::ParseFlags flags = AllFlags,
                              std::string_view context = WhereContext) {
    return SqlError([&] { ParseAll(text, flags, context); });
}

// The tokens of a text up to its end, as (kind, TokenText).
inline std::vector<std::pair<int, std::string>> Tokens(std::string_view text) {
    sql::TExpressionParser parser(nullptr);
    parser.SetStatement(text);
    std::vector<std::pair<int, std::string>> tokens;
    while (parser.NextToken() != sql::tkEnd) tokens.emplace_back(parser.TokenKind(), parser.TokenText());
    return tokens;
}

}  // namespace sqltest
