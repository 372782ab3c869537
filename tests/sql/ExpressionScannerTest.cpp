#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/base/EngineStrings.h"
#include "sql/ExpressionParser.h"
#include "sql/SqlMessages.h"
#include "tests/sql/ParseSupport.h"

namespace {

using namespace sql;
using sqltest::SqlError;
using sqltest::Tokens;
using TokenList = std::vector<std::pair<int, std::string>>;

TEST(ExpressionScanner, TokenTable) {
    struct Case {
        std::string text;
        TokenList tokens;
    };
    const std::vector<Case> cases = {
        // Bytes 129 .. 254 are letters, 128 and 255 one-character tokens.
        {"\x81\xFE", {{tkIdentifier, "\x81\xFE"}}},
        {"\x80", {{128, "\x80"}}},
        {"a\xFF", {{tkIdentifier, "a"}, {255, "\xFF"}}},
        {"_a1 b_2", {{tkIdentifier, "_a1"}, {tkIdentifier, "b_2"}}},
        {"12abc", {{tkInteger, "12"}, {tkIdentifier, "abc"}}},
        {"1e+5", {{tkFloat, "1e+5"}}},
        {"1+5", {{tkInteger, "1"}, {'+', "+"}, {tkInteger, "5"}}},
        {"2.5e-4-1", {{tkFloat, "2.5e-4"}, {'-', "-"}, {tkInteger, "1"}}},
        {"3.", {{tkFloat, "3."}}},
        {".5", {{'.', "."}, {tkInteger, "5"}}},
        {"1.2.3", {{tkFloat, "1.2.3"}}},
        {"1E", {{tkFloat, "1E"}}},
        // A doubled quote stands for one; the other quote has no meaning inside.
        {"'it''s'", {{tkString, "it's"}}},
        {"\"say \"\"hi\"\"\"", {{tkString, "say \"hi\""}}},
        {"'say \"hi\"' \"O'Brien\"", {{tkString, "say \"hi\""}, {tkString, "O'Brien"}}},
        {"''''''", {{tkString, "''"}}},
        {"'' \"\"", {{tkString, ""}, {tkString, ""}}},
        {"[Order Date].[x'y\"]", {{tkBracketName, "Order Date"}, {'.', "."}, {tkBracketName, "x'y\""}}},
        {"<>", {{'<', "<"}, {'>', ">"}}},
        {"a||b", {{tkIdentifier, "a"}, {'|', "|"}, {'|', "|"}, {tkIdentifier, "b"}}},
        {"\t(x)\r\n?", {{'(', "("}, {tkIdentifier, "x"}, {')', ")"}, {'?', "?"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

TEST(ExpressionScanner, TokenDelimiterAndKeywords) {
    TExpressionParser parser(nullptr);
    parser.SetStatement("from [FROM] 'FROM' \"from\" From2");
    parser.NextToken();
    EXPECT_TRUE(parser.TokenIsKeyword("FROM"));
    EXPECT_EQ(parser.TokenDelimiter(), 0);
    parser.NextToken();
    EXPECT_TRUE(parser.TokenIsKeyword("from"));  // a bracketed name is a keyword too
    EXPECT_EQ(parser.TokenDelimiter(), '[');
    parser.NextToken();
    EXPECT_FALSE(parser.TokenIsKeyword("FROM"));  // a quoted string never is
    EXPECT_EQ(parser.TokenDelimiter(), '\'');
    parser.NextToken();
    EXPECT_FALSE(parser.TokenIsKeyword("FROM"));
    EXPECT_EQ(parser.TokenDelimiter(), '"');
    parser.NextToken();
    EXPECT_FALSE(parser.TokenIsKeyword("FROM"));
}

TEST(ExpressionScanner, BlankTextGivesEndOnEveryCall) {
    for (const std::string text : {"", " \t\r\n\x01 ", "/* only a comment */ "}) {
        TExpressionParser parser(nullptr);
        parser.SetStatement(text);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(parser.NextToken(), tkEnd) << text;
            EXPECT_EQ(parser.TokenText(), "");
        }
    }
    TExpressionParser unset(nullptr);
    EXPECT_EQ(unset.NextToken(), tkEnd);
}

TEST(ExpressionScanner, OneCommentIsSkippedBeforeEachToken) {
    EXPECT_EQ(Tokens("SELECT/*c*/a"), (TokenList{{tkIdentifier, "SELECT"}, {tkIdentifier, "a"}}));
    EXPECT_EQ(Tokens("/**/a"), (TokenList{{tkIdentifier, "a"}}));
    // The second of two comments in a row is read as tokens.
    EXPECT_EQ(Tokens("SELECT /*x*/ /*y*/ a"), (TokenList{{tkIdentifier, "SELECT"},
                                                         {'/', "/"},
                                                         {'*', "*"},
                                                         {tkIdentifier, "y"},
                                                         {'*', "*"},
                                                         {'/', "/"},
                                                         {tkIdentifier, "a"}}));
}

TEST(ExpressionScanner, CommentsAndTokensWithoutTheirEnd) {
    const std::string rest(300, 'r');
    const std::string cut = rest.substr(0, 255);
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"/*/", "Missing ending comment slash and asterisk in SQL statement"},
        {"a /* a*b */", "Missing ending comment slash and asterisk in SQL statement"},
        {"a /* never closed", "Missing ending comment slash and asterisk in SQL statement"},
        {"x = 'ab''c", "Missing single quote after 'ab''c' in SQL statement"},
        {"x = \"ab", "Missing double quote after 'ab' in SQL statement"},
        {"x = [ab", "Missing right bracket after 'ab' in SQL statement"},
        // The rest is quoted up to 255 characters, and the error's text is a short string.
        {"'" + rest, engine::ShortString("Missing single quote after '" + cut + "' in SQL statement")},
        {"\"" + rest, engine::ShortString("Missing double quote after '" + cut + "' in SQL statement")},
        {"[" + rest, engine::ShortString("Missing right bracket after '" + cut + "' in SQL statement")},
    };
    for (const Case& c : cases) EXPECT_EQ(SqlError([&] { Tokens(c.text); }), c.message) << c.text;
}

// The marked range runs from the marked token to the end of the last consumed one.
std::string MarkedRange(const std::string& text, int tokensToConsume) {
    TExpressionParser parser(nullptr);
    parser.SetStatement(text);
    parser.NextToken();
    parser.MarkStart();
    for (int i = 0; i < tokensToConsume; ++i) parser.NextToken();
    return parser.MarkedText();
}

TEST(ExpressionScanner, MarkedTextKeepsBlanksAndCommentsButNoLineBreaks) {
    EXPECT_EQ(MarkedRange("  a +\r\n /* c */ 'x''y'   , z", 3), "a + /* c */ 'x''y'");
    // Marking and reading at once gives the empty text.
    EXPECT_EQ(MarkedRange("a", 0), "");
}

TEST(ExpressionScanner, MarkedTextLimitCountsLineBreaks) {
    // a, 249 blanks, CR LF, b, blanks, c: 255 characters up to b.
    const std::string middle = std::string(249, ' ') + "\r\n";
    const std::string exact = "a" + middle + "bcd" + "  ,";
    ASSERT_EQ(std::string("a" + middle + "bcd").size(), 255u);
    EXPECT_EQ(MarkedRange(exact, 2), "a" + std::string(249, ' ') + "bcd");
    EXPECT_EQ(SqlError([&] { MarkedRange("a" + middle + "bcde  ,", 2); }),
              "Source column expression exceeds maximum expression length of 255 characters");
}

TEST(ExpressionScanner, StatementWithZeroOrOverLengthIsRefused) {
    TExpressionParser parser(nullptr);
    parser.SetStatement("x = 1");
    EXPECT_EQ(SqlError([&] { parser.SetStatement(std::string("DELETE FROM t\0 WHERE id = 1", 27)); }),
              "Invalid zero character in SQL statement");
    EXPECT_EQ(parser.NextToken(), tkEnd);  // nothing of either text is left to read
    EXPECT_EQ(SqlError([&] { parser.SetStatement(std::string(MaxStatementLength + 1, ' ')); }),
              "SQL statement exceeds maximum length of 65535 characters");
    parser.SetStatement(std::string(MaxStatementLength - 1, ' ') + "x");
    EXPECT_EQ(parser.NextToken(), tkIdentifier);
    EXPECT_EQ(parser.NextToken(), tkEnd);
}

TEST(ExpressionScanner, TokenValueIsWholeAndChecked) {
    const auto value = [](const std::string& text, TokenUse use) {
        TExpressionParser parser(nullptr);
        parser.SetStatement(text);
        parser.NextToken();
        return parser.TokenValue(use);
    };
    const std::string name255(255, 'n');
    EXPECT_EQ(value(name255, TokenUse::Name), name255);
    EXPECT_EQ(value("[" + name255 + "]", TokenUse::Name), name255);
    EXPECT_EQ(SqlError([&] { value(name255 + "n", TokenUse::Name); }),
              "Name exceeds maximum length of 255 characters in SQL statement");
    EXPECT_EQ(SqlError([&] { value("\"" + name255 + "n\"", TokenUse::Name); }),
              "Name exceeds maximum length of 255 characters in SQL statement");
    // Doubled quotes count once: 252 characters and two quotes written as four.
    const std::string s252(252, 's');
    EXPECT_EQ(value("'" + s252 + "''''" + "'", TokenUse::StringConstant), s252 + "''");
    EXPECT_EQ(SqlError([&] { value("'" + std::string(255, 's') + "'", TokenUse::StringConstant); }),
              "String constant exceeds maximum length of 254 characters in SQL statement");
    const std::string digits = std::string(300, '0') + "7";
    EXPECT_EQ(value(digits, TokenUse::Number), digits);
    TExpressionParser parser(nullptr);
    parser.SetStatement(digits);
    parser.NextToken();
    EXPECT_EQ(parser.TokenText(), digits.substr(0, 255));
}

}  // namespace
