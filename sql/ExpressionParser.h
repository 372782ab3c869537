// TExpressionParser: the scanner of one SQL statement's text, with one token of look-ahead, and the
// recursive-descent parser that turns the statement's expressions into the engine's expression trees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "engine/base/EngineStrings.h"
#include "engine/expr/ExprNode.h"

namespace sql {

class TDataQuery;

// Token kinds. Any other kind is a one-character token whose kind is the character's code ('(' is 40);
// the codes 1 .. 32 never name a character because blanks and control characters are skipped.
enum : std::uint8_t {
    tkEnd = 0,          // end of the statement text
    tkIdentifier = 1,   // a letter or "_", then letters, digits and "_"
    tkBracketName = 2,  // a name between "[" and "]"
    tkString = 3,       // a text between single or between double quotes
    tkInteger = 4,      // a run of digits
    tkFloat = 5,        // a number with a point or an exponent (not validated until it is converted)
};

// What the clause being parsed allows: the bits of the context flags.
using ParseFlags = std::uint8_t;
enum : ParseFlags {
    pfAggregates = 1,  // SUM, COUNT, MIN, MAX, AVG
    pfAllColumns = 2,  // "*", alone or after a correlation name and a point
    pfPredicates = 4,  // LIKE, BETWEEN, IN, IS NULL and their NOT forms
    pfParameters = 8,  // "?"
};

// A statement text is at most this long (64 KB, like a filter blob), which bounds the time and memory of
// one parse.
inline constexpr std::size_t MaxStatementLength = 65535;
// Token texts quoted in messages and marked source texts are engine short strings.
inline constexpr std::size_t MaxTokenText = engine::MaxShortString;
inline constexpr std::size_t MaxMarkedTextLength = engine::MaxShortString;
// Names (columns, correlations, tables, aliases, passwords) are engine short strings; a string constant
// must fit a node's value area with its terminator.
inline constexpr std::size_t MaxNameLength = engine::MaxShortString;
inline constexpr std::size_t MaxStringConstantLength = engine::MaxExprTextLength;

// What a token's whole text is taken for; it decides the length the text may have.
enum class TokenUse : std::uint8_t {
    Name,            // at most MaxNameLength characters
    StringConstant,  // at most MaxStringConstantLength characters
    Number,          // converted from the whole text, however long
};

// Scanner and parser of one statement. SetStatement hands over the text; NextToken reads the first token
// and every later one; the Parse routines read an expression from the current token on and leave the
// first token after it current. Every failure raises engine error 11949 (see SqlMessages.h), except number
// conversions, whose rtl::EConvertError passes through; after a failure the scanner is not used again until
// the next SetStatement.
class TExpressionParser {
public:
    explicit TExpressionParser(TDataQuery* owner) noexcept : owner_(owner) {}
    TExpressionParser(const TExpressionParser&) = delete;
    TExpressionParser& operator=(const TExpressionParser&) = delete;

    // The statement object that created the scanner.
    TDataQuery* Owner() const noexcept { return owner_; }

    // --- Scanner -----------------------------------------------------------------------------------------

    // Starts a new text (Windows-1252): the previous one is dropped first, and a text longer than
    // MaxStatementLength or holding a zero byte is refused, leaving no statement. No token is read yet.
    void SetStatement(std::string_view text);
    // Drops the text; the current token becomes the end.
    void ClearStatement() noexcept;

    // Consumes the current token and reads the next one; returns its kind. At the end of the text every call
    // returns tkEnd again.
    std::uint8_t NextToken();
    std::uint8_t TokenKind() const noexcept { return tokenKind_; }
    // The current token is of the kind (0 .. 5) or is the one-character token with that code.
    bool TokenIs(std::uint8_t kind) const noexcept { return tokenKind_ == kind; }
    // An identifier or a bracketed name equal to the keyword without regard to case; never a quoted string.
    bool TokenIsKeyword(std::string_view keyword) const noexcept;
    // The current token's text for messages, at most MaxTokenText characters: for a bracketed name the
    // text between the brackets, for a quoted string the text between the quotes with each doubled quote
    // taken once; empty at the end.
    std::string TokenText() const;
    // The quote or bracket that delimits the current token ('\'', '"' or '['); 0 for other kinds.
    char TokenDelimiter() const noexcept { return tokenDelimiter_; }
    // The current token's whole text as TokenText gives it but uncut, for a token that becomes a name or a
    // value; a name or string constant longer than its use allows is refused.
    std::string TokenValue(TokenUse use) const;

    // The current token starts the marked range.
    void MarkStart() noexcept { markPos_ = tokenStart_; }
    // The source text from the marked token to the end of the last consumed one, as written (blanks and
    // comments inside kept), without carriage returns and line feeds. A range longer than
    // MaxMarkedTextLength (line breaks counted) is refused.
    std::string MarkedText() const;

    // --- Expression parser -------------------------------------------------------------------------------
    //
    // Grammar, lowest precedence first (context flags and context text go down to every level):
    //   condition   := conjunction [OR condition]
    //   conjunction := negation [AND conjunction]
    //   negation    := NOT negation | comparison
    //   comparison  := sum [(= | < > | < = | < | > = | >) comparison | predicate]
    //   predicate   := [NOT] LIKE comparison | [NOT] BETWEEN comparison AND comparison
    //                | [NOT] IN ( comparison {, comparison} ) | IS [NOT] NULL
    //   sum         := term {(+ | - | "||") term}, grouped from the left
    //   term        := unary {(* | /) unary}, grouped from the left
    //   unary       := NOT primary | + primary | - primary | primary
    //   primary     := number | string | TRUE | FALSE | NULL | DATE | NOW | ? | * | function | aggregate
    //                | column | correlation . column | ( condition )
    // AND binds tighter than OR and NOT takes a whole comparison, as in standard SQL and in the filter texts
    // of tables, so one condition selects the same rows in both.
    //
    // The trees follow ExprNode.h's shapes: IN items, BETWEEN bounds and SUBSTRING's start and length in
    // Items, TRIM's character in Right. A constant written in quotes keeps its quote in Quote, so that text
    // in single quotes stays a constant while text in double quotes may name a column. A returned tree has at
    // most MaxExprDepth - 1 levels (the type checker may add one), and parentheses nest at most MaxExprDepth
    // deep; deeper input is refused before the parser descends further. Nothing returns null; a failed parse
    // frees what it built.

    // A full condition: the entry point of every clause.
    std::unique_ptr<engine::TExprNode> ParseCondition(ParseFlags flags, std::string_view context);
    // The levels below it, each read on its own.
    std::unique_ptr<engine::TExprNode> ParseComparison(ParseFlags flags, std::string_view context);
    std::unique_ptr<engine::TExprNode> ParseSum(ParseFlags flags, std::string_view context);
    std::unique_ptr<engine::TExprNode> ParseTerm(ParseFlags flags, std::string_view context);
    std::unique_ptr<engine::TExprNode> ParseUnary(ParseFlags flags, std::string_view context);
    // One primary, e.g. an UPDATE target column, so that a following "=" is left to the caller.
    std::unique_ptr<engine::TExprNode> ParsePrimary(ParseFlags flags, std::string_view context);

private:
    struct Scope;
    struct Parsed;

    // Scanner steps.
    char At(std::size_t index) const noexcept;
    void SkipBlanks() noexcept;
    void SkipComment();
    void ScanQuoted(char quote);
    void ScanBracketName();
    void ScanNumber() noexcept;
    // The token's content: raw for names and numbers, between the delimiters for bracketed names and
    // quoted strings (doubled quotes still doubled).
    std::string_view RawTokenText() const noexcept;
    std::string WholeTokenText() const;
    // Refuses a whole token text longer than its use allows.
    static void CheckLength(std::string_view text, TokenUse use);

    // Parse levels and their parts (ExpressionParser.cpp); each reads one construct in a scope.
    using Rule = Parsed (TExpressionParser::*)(const Scope&);
    Parsed Condition(const Scope& scope);
    Parsed Conjunction(const Scope& scope);
    Parsed Negation(const Scope& scope);
    Parsed Comparison(const Scope& scope);
    Parsed Predicate(const Scope& scope, Parsed operand);
    Parsed IsNull(const Scope& scope, Parsed operand);
    Parsed Between(const Scope& scope, Parsed operand, engine::ExprOperator op, std::string text);
    Parsed InList(const Scope& scope, Parsed operand, engine::ExprOperator op, std::string text,
                  std::string_view missingLeftParen);
    Parsed Sum(const Scope& scope);
    Parsed Term(const Scope& scope);
    Parsed Unary(const Scope& scope);
    Parsed Primary(const Scope& scope);
    Parsed Identifier(const Scope& scope);
    Parsed Aggregate(const Scope& scope);
    Parsed CaseFunction(const Scope& scope, engine::ExprOperator op);
    Parsed Substring(const Scope& scope);
    Parsed Trim(const Scope& scope);
    Parsed Extract(const Scope& scope);
    Parsed Correlated(const Scope& scope, const std::string& correlation, bool bracketed);
    Parsed Parenthesised(const Scope& scope);
    // left op right, the operator's tokens consumed, right read by the rule one level down.
    Parsed Joined(const Scope& scope, Parsed left, engine::ExprNodeClass nodeClass, engine::ExprOperator op,
                  std::string text, std::uint8_t fieldType, Rule right);
    // op operand, the operator being the current token, the operand read by the rule one level down.
    Parsed Prefixed(const Scope& scope, engine::ExprOperator op, Rule operandRule);
    // The node with the operand as its Left.
    static Parsed Over(std::unique_ptr<engine::TExprNode> node, Parsed operand);
    // Consumes the symbol or keyword, or raises the pattern with the current token and the context.
    void Expect(char symbol, std::string_view pattern, const Scope& scope);
    void ExpectKeyword(std::string_view keyword, std::string_view pattern, const Scope& scope);
    // Consumes one of the keywords and gives its operator, or raises the pattern likewise.
    using KeywordOperator = std::pair<std::string_view, engine::ExprOperator>;
    engine::ExprOperator ExpectChoice(std::initializer_list<KeywordOperator> choices,
                                      std::string_view pattern, const Scope& scope);

    TDataQuery* owner_;
    std::string text_;          // the statement; every position below indexes it, text_.size() being its end
    std::size_t position_ = 0;  // first character not yet consumed
    std::size_t tokenStart_ = 0;  // first character of the current token
    std::size_t tokenEnd_ = 0;    // after a quoted string or bracketed name: after its closing delimiter
    std::size_t markPos_ = 0;     // start of the marked range
    std::size_t prevEnd_ = 0;     // end of the token before the current one
    std::uint8_t tokenKind_ = tkEnd;
    char tokenDelimiter_ = 0;
};

// The aggregate operator a function name stands for (SUM, AVG, MIN, MAX, COUNT without regard to case);
// opNone for any other name.
engine::ExprOperator AggregateOperator(std::string_view name) noexcept;

}  // namespace sql
