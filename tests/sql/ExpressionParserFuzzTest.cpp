// Seeded grammar-driven fuzzing of the expression parser: token sequences built from the dialect's words and
// symbols, most of them well formed, then damaged at random. Every input parses into a tree within the depth
// limit or raises the SQL error or a number conversion error; the sanitizers watch for anything else.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/expr/ExprNode.h"
#include "engine/values/LocaleSettings.h"
#include "rtl/Exceptions.h"
#include "sql/ExpressionParser.h"

namespace {

using sql::TExpressionParser;

const std::vector<std::string> kWords = {
    "AND",   "OR",        "NOT",      "LIKE",    "BETWEEN",    "IN",        "IS",      "NULL",     "TRUE",
    "FALSE", "DATE",      "NOW",      "SUM",     "COUNT",      "MIN",       "MAX",     "AVG",      "LOWER",
    "UPPER", "SUBSTRING", "TRIM",     "EXTRACT", "FROM",       "FOR",       "LEADING", "TRAILING", "BOTH",
    "YEAR",  "MONTH",     "DAY",      "a",       "t",          "[x y]",     "[FROM]",  "'s'",      "'it''s'",
    "''",    "\"c\"",     "\"TRUE\"", "1",       "2147483648", "1.5",       "3.",      "1.2.3",    "1e5",
    "1E",    "(",         ")",        ",",       ".",          "*",         "/",       "+",        "-",
    "|",     "=",         "<",        ">",       "?",          ";",         "'",       "\"",       "[",
    "]",     "/*",        "*/",       "\xFF",    "\x80",       "\xE9t\xE9",
};

const std::vector<std::string> kSeparators = {" ", " ", " ", "", "\r\n", "/**/", " /* c */ "};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : random_(seed) {}

    // A well-formed condition's tokens, nested a few levels deep, damaged by up to three edits.
    std::string Next() {
        tokens_.clear();
        Condition(Pick(6));
        for (int edits = Pick(4); edits > 0; --edits) Damage();
        std::string text;
        for (const std::string& token : tokens_) text += kSeparators[Pick(kSeparators.size())] + token;
        return text;
    }

    int Pick(std::size_t count) { return static_cast<int>(random_() % count); }

private:
    void Emit(const std::string& token) { tokens_.push_back(token); }

    void Condition(int depth) {
        if (Pick(4) == 0) Emit("NOT");
        Comparison(depth);
        if (depth > 0 && Pick(3) == 0) {
            Emit(Pick(2) == 0 ? "AND" : "OR");
            Condition(depth - 1);
        }
    }

    void Comparison(int depth) {
        Sum(depth);
        switch (Pick(10)) {
            case 0:
                Emit("=");
                Sum(depth);
                break;
            case 1:
                Emit("<");
                Emit(Pick(2) == 0 ? ">" : "=");
                Sum(depth);
                break;
            case 2:
                Emit(">");
                Sum(depth);
                break;
            case 3:
                if (Pick(2) == 0) Emit("NOT");
                Emit("LIKE");
                Sum(depth);
                break;
            case 4:
                Emit("BETWEEN");
                Sum(depth);
                Emit("AND");
                Sum(depth);
                break;
            case 5:
                Emit("IN");
                Emit("(");
                for (int items = Pick(3); items >= 0; --items) {
                    Sum(depth);
                    if (items > 0) Emit(",");
                }
                Emit(")");
                break;
            case 6:
                Emit("IS");
                if (Pick(2) == 0) Emit("NOT");
                Emit("NULL");
                break;
            default:
                break;
        }
    }

    void Sum(int depth) {
        Primary(depth);
        static const std::vector<std::vector<std::string>> operators = {
            {"+"}, {"-"}, {"*"}, {"/"}, {"|", "|"}};
        while (Pick(3) == 0) {
            for (const std::string& token : operators[Pick(operators.size())]) Emit(token);
            Primary(depth);
        }
    }

    void Primary(int depth) {
        static const std::vector<std::string> leaves = {"a",    "[b c]", "'s'", "\"c\"",      "'it''s'",
                                                        "''",   "1",     "1.5", "2147483647", "TRUE",
                                                        "NULL", "DATE",  "NOW", "?",          "*"};
        const int choice = depth > 0 ? Pick(12) : 0;
        switch (choice) {
            case 1:
                Emit(Pick(2) == 0 ? "-" : "NOT");
                Primary(depth - 1);
                return;
            case 2:
                Emit("(");
                Condition(depth - 1);
                Emit(")");
                return;
            case 3:
                Emit(
                    std::vector<std::string>{"SUM", "COUNT", "MIN", "MAX", "AVG", "LOWER", "UPPER"}[Pick(7)]);
                Emit("(");
                Sum(depth - 1);
                Emit(")");
                return;
            case 4:
                Emit("SUBSTRING");
                Emit("(");
                Sum(depth - 1);
                Emit("FROM");
                Primary(depth - 1);
                if (Pick(2) == 0) {
                    Emit("FOR");
                    Primary(depth - 1);
                }
                Emit(")");
                return;
            case 5:
                Emit("TRIM");
                Emit("(");
                Emit(std::vector<std::string>{"LEADING", "TRAILING", "BOTH"}[Pick(3)]);
                Primary(depth - 1);
                Emit("FROM");
                Sum(depth - 1);
                Emit(")");
                return;
            case 6:
                Emit("EXTRACT");
                Emit("(");
                Emit(std::vector<std::string>{"YEAR", "MONTH", "DAY"}[Pick(3)]);
                Emit("FROM");
                Primary(depth - 1);
                Emit(")");
                return;
            case 7:
                Emit(std::vector<std::string>{"t", "[dir/t.dat]", "\"t\""}[Pick(3)]);
                Emit(".");
                Emit(std::vector<std::string>{"c", "*", "[c]", "'c'"}[Pick(4)]);
                return;
            default:
                Emit(leaves[Pick(leaves.size())]);
                return;
        }
    }

    void Damage() {
        const std::size_t at = tokens_.empty() ? 0 : static_cast<std::size_t>(Pick(tokens_.size()));
        switch (Pick(4)) {
            case 0:
                if (!tokens_.empty()) tokens_.erase(tokens_.begin() + static_cast<std::ptrdiff_t>(at));
                break;
            case 1:
                tokens_.insert(tokens_.begin() + static_cast<std::ptrdiff_t>(at),
                               kWords[Pick(kWords.size())]);
                break;
            case 2:
                if (at + 1 < tokens_.size()) std::swap(tokens_[at], tokens_[at + 1]);
                break;
            default:
                if (!tokens_.empty()) tokens_[at] = kWords[Pick(kWords.size())];
                break;
        }
    }

    std::mt19937 random_;
    std::vector<std::string> tokens_;
};

enum class Outcome { Parsed, SqlError, ConvertError };

// Reads the text with the entry point and flags; a tree must stay within the depth limit, and a failure must
// be one of the two the parser may raise.
Outcome Parse(const std::string& text, int entry, sql::ParseFlags flags) {
    engine::LocaleFormatSwap us(0, 0);
    TExpressionParser parser(nullptr);
    try {
        parser.SetStatement(text);
        parser.NextToken();
        std::unique_ptr<engine::TExprNode> tree =
            entry == 0 ? parser.ParsePrimary(flags, "values") : parser.ParseCondition(flags, "values");
        EXPECT_NE(tree, nullptr) << text;
        EXPECT_LT(engine::ExprTreeDepth(tree.get()), engine::MaxExprDepth) << text;
        return Outcome::Parsed;
    } catch (const engine::ETARNISEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), engine::ErrSql) << text;
        return Outcome::SqlError;
    } catch (const rtl::EConvertError&) {
        return Outcome::ConvertError;
    }
}

TEST(ExpressionParserFuzz, GrammarDrivenSequences) {
    Generator generator(20240229);
    int counts[3] = {};
    for (int i = 0; i < 4000; ++i) {
        const std::string text = generator.Next();
        const int entry = generator.Pick(8);  // mostly whole conditions, sometimes one primary
        const auto flags = static_cast<sql::ParseFlags>(generator.Pick(16));
        ++counts[static_cast<int>(Parse(text, entry, flags))];
    }
    // The sequences reach both the parsed trees and the errors.
    EXPECT_GT(counts[static_cast<int>(Outcome::Parsed)], 400);
    EXPECT_GT(counts[static_cast<int>(Outcome::SqlError)], 400);
    EXPECT_GT(counts[static_cast<int>(Outcome::ConvertError)], 0);
}

TEST(ExpressionParserFuzz, RandomBytes) {
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::string text(random() % 64, ' ');
        for (char& c : text) c = static_cast<char>(1 + random() % 255);
        Parse(text, static_cast<int>(random() % 2), static_cast<sql::ParseFlags>(random() % 16));
    }
}

}  // namespace
