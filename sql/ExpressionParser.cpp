// The parser half of TExpressionParser: SQL expressions read by recursive descent into engine expression
// trees.
#include "sql/ExpressionParser.h"

#include <algorithm>
#include <utility>

#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/NumberConvert.h"
#include "rtl/Text.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

using engine::ExprNodeClass;
using engine::ExprOperator;
using engine::TExprNode;
using NodePtr = std::unique_ptr<TExprNode>;

// What the clause allows, and how much further down the tree read here may still reach.
struct TExpressionParser::Scope {
    ParseFlags Flags;
    std::string_view Context;
    int Room;    // the most levels the tree read in this scope may have
    int Parens;  // parentheses open around the point being read

    bool Allows(ParseFlags flag) const noexcept { return (Flags & flag) != 0; }
    // An operand's scope: it stands one level down.
    Scope Below() const noexcept { return {Flags, Context, Room - 1, Parens}; }
};

// A tree and its number of levels, so that limits are checked without walking trees.
struct TExpressionParser::Parsed {
    NodePtr Node;
    int Height = 1;
};

namespace {

// One level stays free below every tree the parser returns: the type checker turns a boolean operand of
// NOT, AND and OR into the comparison operand = TRUE, one level deeper.
constexpr int MaxParsedLevels = engine::MaxExprDepth - 1;

void CheckRoom(int room, int height, std::string_view context) {
    if (height > room) RaiseSqlError(kExpressionTooComplex, {context});
}

NodePtr NewNode(ExprNodeClass nodeClass, ExprOperator op, std::string text, std::uint8_t fieldType) {
    auto node = std::make_unique<TExprNode>();
    node->NodeClass = nodeClass;
    node->Operator = op;
    node->Text = engine::ShortString(text);
    node->Value.FieldType = fieldType;
    return node;
}

NodePtr NewConstant(std::string text, std::uint8_t fieldType, std::uint8_t size) {
    NodePtr node = NewNode(engine::ncConstant, engine::opNone, std::move(text), fieldType);
    node->Value.Size = size;
    return node;
}

NodePtr NullConstant(std::string text) {
    NodePtr node = NewConstant(std::move(text), engine::FieldTypeNone, 0);
    node->Value.IsNull = 1;
    return node;
}

NodePtr BooleanConstant(std::string text, bool value) {
    NodePtr node = NewConstant(std::move(text), engine::FieldTypeBoolean, 2);
    node->Value.SetUInt16(value ? 1 : 0);
    return node;
}

NodePtr Column(const std::string& name) {
    NodePtr node = NewNode(engine::ncField, engine::opNone, name, engine::FieldTypeNone);
    node->ColumnName = name;
    return node;
}

// Quoted text: TRUE and FALSE in any case are booleans, the empty text is a NULL, anything else a string.
NodePtr QuotedConstant(const std::string& text, char quote) {
    NodePtr node;
    if (rtl::AnsiSameText(text, "TRUE") || rtl::AnsiSameText(text, "FALSE")) {
        node = BooleanConstant(text, rtl::AnsiSameText(text, "TRUE"));
    } else {
        node = NewConstant(text, engine::FieldTypeString, static_cast<std::uint8_t>(text.size() + 1));
        node->Value.SetText(text);
        node->Value.IsNull = text.empty() ? 1 : 0;
    }
    node->Quote = quote;
    return node;
}

}  // namespace

ExprOperator AggregateOperator(std::string_view name) noexcept {
    static constexpr std::pair<std::string_view, ExprOperator> aggregates[] = {
        {"SUM", engine::opSum}, {"AVG", engine::opAvg},     {"MIN", engine::opMin},
        {"MAX", engine::opMax}, {"COUNT", engine::opCount},
    };
    for (const auto& [aggregate, op] : aggregates) {
        if (rtl::AnsiCompareText(name, aggregate) == 0) return op;
    }
    return engine::opNone;
}

// --- Entry points ----------------------------------------------------------------------------------------

std::unique_ptr<TExprNode> TExpressionParser::ParseCondition(ParseFlags flags, std::string_view context) {
    return Condition({flags, context, MaxParsedLevels, 0}).Node;
}

std::unique_ptr<TExprNode> TExpressionParser::ParseComparison(ParseFlags flags, std::string_view context) {
    return Comparison({flags, context, MaxParsedLevels, 0}).Node;
}

std::unique_ptr<TExprNode> TExpressionParser::ParseSum(ParseFlags flags, std::string_view context) {
    return Sum({flags, context, MaxParsedLevels, 0}).Node;
}

std::unique_ptr<TExprNode> TExpressionParser::ParseTerm(ParseFlags flags, std::string_view context) {
    return Term({flags, context, MaxParsedLevels, 0}).Node;
}

std::unique_ptr<TExprNode> TExpressionParser::ParseUnary(ParseFlags flags, std::string_view context) {
    return Unary({flags, context, MaxParsedLevels, 0}).Node;
}

std::unique_ptr<TExprNode> TExpressionParser::ParsePrimary(ParseFlags flags, std::string_view context) {
    return Primary({flags, context, MaxParsedLevels, 0}).Node;
}

// --- Building blocks -------------------------------------------------------------------------------------

void TExpressionParser::Expect(char symbol, std::string_view pattern, const Scope& scope) {
    if (!TokenIs(static_cast<std::uint8_t>(symbol))) RaiseSqlError(pattern, {TokenText(), scope.Context});
    NextToken();
}

void TExpressionParser::ExpectKeyword(std::string_view keyword, std::string_view pattern,
                                      const Scope& scope) {
    if (!TokenIsKeyword(keyword)) RaiseSqlError(pattern, {TokenText(), scope.Context});
    NextToken();
}

ExprOperator TExpressionParser::ExpectChoice(std::initializer_list<KeywordOperator> choices,
                                             std::string_view pattern, const Scope& scope) {
    for (const auto& [keyword, op] : choices) {
        if (TokenIsKeyword(keyword)) {
            NextToken();
            return op;
        }
    }
    RaiseSqlError(pattern, {TokenText(), scope.Context});
}

TExpressionParser::Parsed TExpressionParser::Joined(const Scope& scope, Parsed left, ExprNodeClass nodeClass,
                                                    ExprOperator op, std::string text, std::uint8_t fieldType,
                                                    Rule right) {
    CheckRoom(scope.Room, left.Height + 1, scope.Context);
    Parsed operand = (this->*right)(scope.Below());
    NodePtr node = NewNode(nodeClass, op, std::move(text), fieldType);
    const int height = 1 + std::max(left.Height, operand.Height);
    node->Left = std::move(left.Node);
    node->Right = std::move(operand.Node);
    return {std::move(node), height};
}

TExpressionParser::Parsed TExpressionParser::Prefixed(const Scope& scope, ExprOperator op, Rule operandRule) {
    std::string text = TokenText();
    NextToken();
    Parsed operand = (this->*operandRule)(scope.Below());
    const std::uint8_t fieldType =
        op == engine::opNot ? engine::FieldTypeBoolean : operand.Node->Value.FieldType;
    return Over(NewNode(engine::ncUnary, op, std::move(text), fieldType), std::move(operand));
}

TExpressionParser::Parsed TExpressionParser::Over(NodePtr node, Parsed operand) {
    node->Left = std::move(operand.Node);
    return {std::move(node), operand.Height + 1};
}

// --- Conditions ------------------------------------------------------------------------------------------

TExpressionParser::Parsed TExpressionParser::Condition(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    Parsed left = Conjunction(scope);
    if (!TokenIsKeyword("OR")) return left;
    std::string text = TokenText();
    NextToken();
    return Joined(scope, std::move(left), engine::ncBinary, engine::opOr, std::move(text),
                  engine::FieldTypeBoolean, &TExpressionParser::Condition);
}

TExpressionParser::Parsed TExpressionParser::Conjunction(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    Parsed left = Negation(scope);
    if (!TokenIsKeyword("AND")) return left;
    std::string text = TokenText();
    NextToken();
    return Joined(scope, std::move(left), engine::ncBinary, engine::opAnd, std::move(text),
                  engine::FieldTypeBoolean, &TExpressionParser::Conjunction);
}

TExpressionParser::Parsed TExpressionParser::Negation(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    if (!TokenIsKeyword("NOT")) return Comparison(scope);
    return Prefixed(scope, engine::opNot, &TExpressionParser::Negation);
}

TExpressionParser::Parsed TExpressionParser::Comparison(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    Parsed left = Sum(scope);
    ExprOperator op = engine::opNone;
    std::string text;
    // The two characters of <>, <= and >= are separate tokens: blanks or a comment may stand between them.
    if (TokenIs('=')) {
        op = engine::opEqual;
        text = "=";
        NextToken();
    } else if (TokenIs('<')) {
        NextToken();
        if (TokenIs('>')) {
            op = engine::opNotEqual;
            text = "< >";
            NextToken();
        } else if (TokenIs('=')) {
            op = engine::opLessEqual;
            text = "< =";
            NextToken();
        } else {
            op = engine::opLess;
            text = "<";
        }
    } else if (TokenIs('>')) {
        NextToken();
        if (TokenIs('=')) {
            op = engine::opGreaterEqual;
            text = "> =";
            NextToken();
        } else {
            op = engine::opGreater;
            text = ">";
        }
    } else {
        return Predicate(scope, std::move(left));
    }
    return Joined(scope, std::move(left), engine::ncBinary, op, std::move(text), engine::FieldTypeBoolean,
                  &TExpressionParser::Comparison);
}

TExpressionParser::Parsed TExpressionParser::Predicate(const Scope& scope, Parsed operand) {
    const bool negated = TokenIsKeyword("NOT");
    if (!negated && !TokenIsKeyword("LIKE") && !TokenIsKeyword("BETWEEN") && !TokenIsKeyword("IN") &&
        !TokenIsKeyword("IS")) {
        return operand;
    }
    if (!scope.Allows(pfPredicates)) RaiseSqlError(kPredicatesNotAllowed, {scope.Context});
    std::string notText;
    if (negated) {
        notText = TokenText();
        NextToken();
    }
    std::string text = TokenText();
    if (TokenIsKeyword("LIKE")) {
        NextToken();
        return Joined(scope, std::move(operand), engine::ncPredicate,
                      negated ? engine::opNotLike : engine::opLike, std::move(text), engine::FieldTypeBoolean,
                      &TExpressionParser::Comparison);
    }
    if (TokenIsKeyword("BETWEEN")) {
        NextToken();
        if (negated) return Between(scope, std::move(operand), engine::opNotBetween, notText + " " + text);
        return Between(scope, std::move(operand), engine::opBetween, std::move(text));
    }
    if (TokenIsKeyword("IN")) {
        NextToken();
        if (negated)
            return InList(scope, std::move(operand), engine::opNotIn, text, kExpectedLeftParenForNotIn);
        return InList(scope, std::move(operand), engine::opIn, text, kExpectedLeftParenAfterIn);
    }
    if (negated) RaiseSqlError(kUnexpectedSymbolIn, {text, scope.Context});
    return IsNull(scope, std::move(operand));
}

// a IS NULL is a = NULL, and a IS NOT NULL is a <> NULL.
TExpressionParser::Parsed TExpressionParser::IsNull(const Scope& scope, Parsed operand) {
    std::string text = TokenText();
    NextToken();
    ExprOperator op = engine::opEqual;
    if (TokenIsKeyword("NOT")) {
        text += " " + TokenText();
        NextToken();
        op = engine::opNotEqual;
    }
    if (!TokenIsKeyword("NULL")) RaiseSqlError(kUnexpectedSymbol, {TokenText(), scope.Context});
    std::string nullText = TokenText();
    text += " " + nullText;
    NextToken();
    CheckRoom(scope.Room, operand.Height + 1, scope.Context);
    Parsed result =
        Over(NewNode(engine::ncBinary, op, std::move(text), engine::FieldTypeBoolean), std::move(operand));
    result.Node->Right = NullConstant(std::move(nullText));
    return result;
}

TExpressionParser::Parsed TExpressionParser::Between(const Scope& scope, Parsed operand, ExprOperator op,
                                                     std::string text) {
    CheckRoom(scope.Room, operand.Height + 1, scope.Context);
    Parsed low = Comparison(scope.Below());
    ExpectKeyword("AND", kExpectedBetweenAnd, scope);
    Parsed high = Comparison(scope.Below());
    const int height = std::max({operand.Height, low.Height, high.Height}) + 1;
    NodePtr node = NewNode(engine::ncPredicate, op, std::move(text), engine::FieldTypeBoolean);
    node->Left = std::move(operand.Node);
    node->Items.push_back(std::move(low.Node));
    node->Items.push_back(std::move(high.Node));
    return {std::move(node), height};
}

TExpressionParser::Parsed TExpressionParser::InList(const Scope& scope, Parsed operand, ExprOperator op,
                                                    std::string text, std::string_view missingLeftParen) {
    CheckRoom(scope.Room, operand.Height + 1, scope.Context);
    Expect('(', missingLeftParen, scope);
    NodePtr node = NewNode(engine::ncPredicate, op, std::move(text), engine::FieldTypeBoolean);
    int height = operand.Height;
    for (;;) {
        Parsed item = Comparison(scope.Below());
        height = std::max(height, item.Height);
        node->Items.push_back(std::move(item.Node));
        if (!TokenIs(',')) break;
        NextToken();
    }
    Expect(')', kExpectedRightParenAfterIn, scope);
    node->Left = std::move(operand.Node);
    return {std::move(node), height + 1};
}

// --- Arithmetic ------------------------------------------------------------------------------------------

TExpressionParser::Parsed TExpressionParser::Sum(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    Parsed left = Term(scope);
    for (;;) {
        ExprOperator op = engine::opAdd;
        std::string text;
        if (TokenIs('+')) {
            text = "+";
        } else if (TokenIs('-')) {
            op = engine::opSubtract;
            text = "-";
        } else if (TokenIs('|')) {
            NextToken();
            if (!TokenIs('|')) RaiseSqlError(kSecondConcatBarExpected, {TokenText(), scope.Context});
            text = "||";  // the type checker tells concatenation from addition by the operand types
        } else {
            return left;
        }
        NextToken();
        const std::uint8_t fieldType = left.Node->Value.FieldType;
        left = Joined(scope, std::move(left), engine::ncBinary, op, std::move(text), fieldType,
                      &TExpressionParser::Term);
    }
}

TExpressionParser::Parsed TExpressionParser::Term(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    Parsed left = Unary(scope);
    for (;;) {
        ExprOperator op = engine::opMultiply;
        if (TokenIs('/')) {
            op = engine::opDivide;
        } else if (!TokenIs('*')) {
            return left;
        }
        std::string text = TokenText();
        NextToken();
        const std::uint8_t fieldType = left.Node->Value.FieldType;
        left = Joined(scope, std::move(left), engine::ncBinary, op, std::move(text), fieldType,
                      &TExpressionParser::Unary);
    }
}

// NOT, plus and minus here take a primary: inside an operand, a = NOT b reads NOT b, and - - 5 is refused.
TExpressionParser::Parsed TExpressionParser::Unary(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    if (TokenIsKeyword("NOT")) return Prefixed(scope, engine::opNot, &TExpressionParser::Primary);
    if (TokenIs('+')) return Prefixed(scope, engine::opPlus, &TExpressionParser::Primary);
    if (TokenIs('-')) return Prefixed(scope, engine::opNegate, &TExpressionParser::Primary);
    return Primary(scope);
}

// --- Primaries -------------------------------------------------------------------------------------------

TExpressionParser::Parsed TExpressionParser::Primary(const Scope& scope) {
    CheckRoom(scope.Room, 1, scope.Context);
    switch (tokenKind_) {
        case tkFloat: {
            std::string text = TokenValue(TokenUse::Number);
            const double value = rtl::StrToFloat(text);
            NodePtr node = NewConstant(std::move(text), engine::FieldTypeFloat, 8);
            node->Value.SetDouble(value);
            NextToken();
            return {std::move(node)};
        }
        case tkInteger: {
            std::string text = TokenValue(TokenUse::Number);
            const std::int32_t value = rtl::StrToInt(text);
            NodePtr node = NewConstant(std::move(text), engine::FieldTypeInteger, 4);
            node->Value.SetInt32(value);
            NextToken();
            return {std::move(node)};
        }
        case tkIdentifier:
            return Identifier(scope);
        case tkBracketName: {
            // Always a name, never a keyword: [DATE] is the column DATE.
            std::string name = TokenValue(TokenUse::Name);
            NextToken();
            if (TokenIs('.')) return Correlated(scope, name, true);
            return {Column(name)};
        }
        case tkString: {
            // Whether the text is a name or a constant, and so how long it may be, shows after it.
            std::string text = WholeTokenText();
            const char quote = tokenDelimiter_;
            NextToken();
            if (TokenIs('.')) {
                CheckLength(text, TokenUse::Name);
                return Correlated(scope, text, false);
            }
            CheckLength(text, TokenUse::StringConstant);
            return {QuotedConstant(text, quote)};
        }
        case '(':
            return Parenthesised(scope);
        case '*': {
            if (!scope.Allows(pfAllColumns)) RaiseSqlError(kAllColumnsNotAllowed, {scope.Context});
            NextToken();
            return {Column("*")};
        }
        case '?': {
            if (!scope.Allows(pfParameters)) RaiseSqlError(kParametersNotAllowed, {scope.Context});
            NodePtr node = NewConstant("?", engine::FieldTypeNone, 0);
            node->IsParam = 1;
            NextToken();
            return {std::move(node)};
        }
        default:
            RaiseSqlError(kUnexpectedSymbol, {TokenText(), scope.Context});
    }
}

// Function names and constant keywords come before names, so a column called COUNT or DATE must be
// bracketed.
TExpressionParser::Parsed TExpressionParser::Identifier(const Scope& scope) {
    if (AggregateOperator(RawTokenText()) != engine::opNone) return Aggregate(scope);
    if (TokenIsKeyword("LOWER")) return CaseFunction(scope, engine::opLower);
    if (TokenIsKeyword("UPPER")) return CaseFunction(scope, engine::opUpper);
    if (TokenIsKeyword("SUBSTRING")) return Substring(scope);
    if (TokenIsKeyword("TRIM")) return Trim(scope);
    if (TokenIsKeyword("EXTRACT")) return Extract(scope);
    NodePtr constant;
    if (TokenIsKeyword("TRUE") || TokenIsKeyword("FALSE")) {
        constant = BooleanConstant(TokenText(), TokenIsKeyword("TRUE"));
    } else if (TokenIsKeyword("NULL")) {
        constant = NullConstant(TokenText());
    } else if (TokenIsKeyword("DATE")) {
        constant = NewConstant(TokenText(), engine::FieldTypeDate, 4);
        constant->Value.SetInt32(rtl::DateTimeToTimeStamp(rtl::Now()).Date);
    } else if (TokenIsKeyword("NOW")) {
        constant = NewConstant(TokenText(), engine::FieldTypeDateTime, 8);
        constant->Value.SetDouble(rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(rtl::Now())));
    }
    if (constant) {
        NextToken();
        return {std::move(constant)};
    }
    std::string name = TokenValue(TokenUse::Name);
    NextToken();
    if (TokenIs('(')) RaiseSqlError(kUnknownFunction, {name, scope.Context});
    if (TokenIs('.')) return Correlated(scope, name, false);
    return {Column(name)};
}

TExpressionParser::Parsed TExpressionParser::Aggregate(const Scope& scope) {
    if (!scope.Allows(pfAggregates)) RaiseSqlError(kAggregatesNotAllowed, {scope.Context});
    std::string name = TokenText();
    const ExprOperator op = AggregateOperator(name);
    NextToken();
    if (!TokenIs('(')) RaiseSqlError(kAggregateLeftParen, {name, TokenText(), scope.Context});
    NextToken();
    Parsed argument = Sum(scope.Below());
    if (!TokenIs(')')) RaiseSqlError(kAggregateRightParen, {name, TokenText(), scope.Context});
    NextToken();
    return Over(NewNode(engine::ncFunction, op, std::move(name), engine::FieldTypeNone), std::move(argument));
}

TExpressionParser::Parsed TExpressionParser::CaseFunction(const Scope& scope, ExprOperator op) {
    const bool lower = op == engine::opLower;
    std::string text = TokenText();
    NextToken();
    Expect('(', lower ? kLowerLeftParen : kUpperLeftParen, scope);
    Parsed argument = Sum(scope.Below());
    Expect(')', lower ? kLowerRightParen : kUpperRightParen, scope);
    return Over(NewNode(engine::ncFunction, op, std::move(text), engine::FieldTypeString),
                std::move(argument));
}

TExpressionParser::Parsed TExpressionParser::Substring(const Scope& scope) {
    std::string text = TokenText();
    NextToken();
    Expect('(', kSubstringLeftParen, scope);
    Parsed argument = Sum(scope.Below());
    ExpectKeyword("FROM", kSubstringFrom, scope);
    Parsed start = Primary(scope.Below());
    int height = std::max(argument.Height, start.Height);
    NodePtr node = NewNode(engine::ncFunction, engine::opSubstring, std::move(text), engine::FieldTypeString);
    node->Items.push_back(std::move(start.Node));
    if (TokenIsKeyword("FOR")) {
        NextToken();
        Parsed length = Primary(scope.Below());
        height = std::max(height, length.Height);
        node->Items.push_back(std::move(length.Node));
    }
    Expect(')', kSubstringRightParen, scope);
    node->Left = std::move(argument.Node);
    return {std::move(node), height + 1};
}

TExpressionParser::Parsed TExpressionParser::Trim(const Scope& scope) {
    std::string text = TokenText();
    NextToken();
    Expect('(', kTrimLeftParen, scope);
    const ExprOperator op = ExpectChoice({{"LEADING", engine::opTrimLeading},
                                          {"TRAILING", engine::opTrimTrailing},
                                          {"BOTH", engine::opTrimBoth}},
                                         kTrimMode, scope);
    Parsed character = Primary(scope.Below());
    ExpectKeyword("FROM", kTrimFrom, scope);
    Parsed argument = Sum(scope.Below());
    Expect(')', kTrimRightParen, scope);
    const int height = std::max(argument.Height, character.Height) + 1;
    NodePtr node = NewNode(engine::ncFunction, op, std::move(text), engine::FieldTypeString);
    node->Left = std::move(argument.Node);
    node->Right = std::move(character.Node);
    return {std::move(node), height};
}

TExpressionParser::Parsed TExpressionParser::Extract(const Scope& scope) {
    std::string text = TokenText();
    NextToken();
    Expect('(', kExtractLeftParen, scope);
    const ExprOperator op = ExpectChoice(
        {{"YEAR", engine::opExtractYear}, {"MONTH", engine::opExtractMonth}, {"DAY", engine::opExtractDay}},
        kExtractPart, scope);
    ExpectKeyword("FROM", kExtractFrom, scope);
    Parsed argument = Primary(scope.Below());
    Expect(')', kExtractRightParen, scope);
    return Over(NewNode(engine::ncFunction, op, std::move(text), engine::FieldTypeInteger),
                std::move(argument));
}

// correlation . column, the point being the current token. A bracketed correlation name may be followed by a
// bracketed column name; a full file name qualifies a column by its base name.
TExpressionParser::Parsed TExpressionParser::Correlated(const Scope& scope, const std::string& correlation,
                                                        bool bracketed) {
    NextToken();
    std::string column;
    if (TokenIs('*')) {
        if (!scope.Allows(pfAllColumns)) RaiseSqlError(kAllColumnsNotAllowed, {scope.Context});
        column = "*";
    } else if (TokenIs(tkIdentifier) || TokenIs(tkString) || (bracketed && TokenIs(tkBracketName))) {
        column = TokenValue(TokenUse::Name);
    } else {
        RaiseSqlError(kCorrelatedColumnExpected, {TokenText(), scope.Context});
    }
    NextToken();
    NodePtr node = Column(column);
    node->Text = engine::ShortString(correlation + "." + column);
    node->Correlation = engine::ExtractBaseName(correlation);
    return {std::move(node)};
}

// ( condition ): the inner tree itself, with no node for the parentheses.
TExpressionParser::Parsed TExpressionParser::Parenthesised(const Scope& scope) {
    if (scope.Parens >= engine::MaxExprDepth) RaiseSqlError(kExpressionTooComplex, {scope.Context});
    NextToken();
    Parsed inner = Condition({scope.Flags, scope.Context, scope.Room, scope.Parens + 1});
    Expect(')', kRightParenExpected, scope);
    return inner;
}

}  // namespace sql
