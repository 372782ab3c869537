// The SQL engine's user-visible texts, verbatim (typos included); "%s" slots are filled with rtl::Format.
// Each is the extra text of engine error 11949, shown as "SQL - " followed by it.
#pragma once

#include <string_view>

namespace sql {

// Statement text and tokens.
inline constexpr std::string_view kStatementTooLong = "SQL statement exceeds maximum length of %s characters";
inline constexpr std::string_view kZeroCharacter = "Invalid zero character in SQL statement";
inline constexpr std::string_view kMissingCommentEnd =
    "Missing ending comment slash and asterisk in SQL statement";
inline constexpr std::string_view kMissingSingleQuote = "Missing single quote after '%s' in SQL statement";
inline constexpr std::string_view kMissingDoubleQuote = "Missing double quote after '%s' in SQL statement";
inline constexpr std::string_view kMissingRightBracket = "Missing right bracket after '%s' in SQL statement";
inline constexpr std::string_view kNameTooLong =
    "Name exceeds maximum length of %s characters in SQL statement";
inline constexpr std::string_view kStringConstantTooLong =
    "String constant exceeds maximum length of %s characters in SQL statement";
inline constexpr std::string_view kMarkedTextTooLong =
    "Source column expression exceeds maximum expression length of %s characters";

// Type checking; the last slot is the clause's context text. Slots before it: the kind word of an operand
// ("expression", "column", "function", "constant", or empty for a predicate) and its text, an operator or
// function name, a column's name and correlation.
inline constexpr std::string_view kDateTextExpected =
    "Date, time, or timestamp expression expected, instead found '%s' in %s";
inline constexpr std::string_view kBinaryTypeMismatch = "Type mismatch between %s '%s' and %s '%s' in %s";
inline constexpr std::string_view kUnaryTypeMismatch = "Type mismatch between '%s' operator and '%s' in %s";
inline constexpr std::string_view kPredicateTypeMismatch =
    "Type mismatch between %s operator and expression '%s' in %s";
inline constexpr std::string_view kPredicateConstantExpected =
    "Constant expression expected after %s operator, instead found '%s' in %s";
inline constexpr std::string_view kAggregateArgumentType =
    "%s aggregate function must contain a numeric, date, time, or timestamp expression in %s";
inline constexpr std::string_view kCaseFunctionArgumentType =
    "Type mismatch between %s function and function argument in %s";
inline constexpr std::string_view kSubstringArgumentType =
    "Expression argument of SUBSTRING function must be a string in %s";
inline constexpr std::string_view kSubstringFromConstant =
    "FROM argument of SUBSTRING function must be an integer constant in %s";
inline constexpr std::string_view kSubstringFromRange =
    "FROM argument of SUBSTRING function must be an integer constant between 1 and %s in %s";
inline constexpr std::string_view kSubstringForConstant =
    "FOR argument of SUBSTRING function must be an integer constant in %s";
inline constexpr std::string_view kSubstringForRange =
    "FOR argument of SUBSTRING function must be an integer constant between 1 and %s in %s";
inline constexpr std::string_view kTrimArgumentType = "FROM argument of TRIM function must be a string in %s";
inline constexpr std::string_view kTrimCharacterConstant =
    "Trim character argument of TRIM function must be a single character constant in %s";
inline constexpr std::string_view kExtractArgumentType =
    "FROM argument of EXTRACT function must be a date or date and time in %s";
inline constexpr std::string_view kUnknownColumnReference =
    "Invalid column name '%s' or table correlation name '%s' specified in %s";
inline constexpr std::string_view kNestedAggregate =
    "Aggregate function %s cannot be used inside an expression in %s";
inline constexpr std::string_view kColumnWithoutRecord =
    "Constant expression expected, instead found column '%s' in %s";

// Expressions; the last slot is the clause's context text.
inline constexpr std::string_view kExpressionTooComplex = "Expression too complex in %s";
inline constexpr std::string_view kPredicatesNotAllowed =
    "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in %s";
inline constexpr std::string_view kExpectedBetweenAnd =
    "Expected AND operator in BETWEEN operator, instead found '%s' in %s";
inline constexpr std::string_view kExpectedLeftParenForNotIn =
    "Expected left parentheses for IN operator, instead found '%s' in %s";
inline constexpr std::string_view kExpectedLeftParenAfterIn =
    "Expected left parentheses after IN operator, instead found '%s' in %s";
inline constexpr std::string_view kExpectedRightParenAfterIn =
    "Expected right parentheses after IN operator, instead found '%s' in %s";
// After NOT in a comparison ("in"); everywhere else ("found in").
inline constexpr std::string_view kUnexpectedSymbolIn = "Unknown or unexpected symbol '%s' in %s";
inline constexpr std::string_view kUnexpectedSymbol = "Unknown or unexpected symbol '%s' found in %s";
inline constexpr std::string_view kSecondConcatBarExpected =
    "Second concatenation symbol '|' expected after first concatentation symbol, instead found '%s' in %s";
inline constexpr std::string_view kAggregatesNotAllowed = "Aggregate functions are not allowed in %s";
// Slots: the function name as written, the token, the context.
inline constexpr std::string_view kAggregateLeftParen =
    "Left parentheses expectedafter aggregate function '%s', instead found '%s' in %s";
inline constexpr std::string_view kAggregateRightParen =
    "Right parentheses expected after aggregate %s function argument, instead found '%s' in %s";
inline constexpr std::string_view kLowerLeftParen =
    "Left parentheses expectedafter LOWER keyword, instead found '%s' in %s";
inline constexpr std::string_view kUpperLeftParen =
    "Left parentheses expectedafter UPPER keyword, instead found '%s' in %s";
inline constexpr std::string_view kLowerRightParen =
    "Right parentheses expected after LOWER function argument, instead found '%s' in %s";
inline constexpr std::string_view kUpperRightParen =
    "Right parentheses expected after UPPER function argument, instead found '%s' in %s";
inline constexpr std::string_view kSubstringLeftParen =
    "Left parentheses expected after SUBSTRING keyword, instead found '%s' in %s";
inline constexpr std::string_view kSubstringFrom =
    "FROM keyword expected after first SUBSTRING function argument, instead found '%s' in %s";
inline constexpr std::string_view kSubstringRightParen =
    "Right parentheses expected after SUBSTRING function arguments, instead found '%s' in %s";
inline constexpr std::string_view kTrimLeftParen =
    "Left parentheses expected after TRIM keyword, instead found '%s' in %s";
inline constexpr std::string_view kTrimMode =
    "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '%s' in %s";
inline constexpr std::string_view kTrimFrom =
    "FROM keyword expected after second TRIM function argument, instead found '%s' in %s";
inline constexpr std::string_view kTrimRightParen =
    "Right parentheses expected after TRIM function arguments, instead found '%s' in %s";
inline constexpr std::string_view kExtractLeftParen =
    "Left parentheses expected after EXTRACT keyword, instead found '%s' in %s";
inline constexpr std::string_view kExtractPart =
    "YEAR, MONTH, or DAY keyword expected after EXTRACT keyword, instead found '%s' in %s";
inline constexpr std::string_view kExtractFrom =
    "FROM keyword expected after second EXTRACT function argument, instead found '%s' in %s";
inline constexpr std::string_view kExtractRightParen =
    "Right parentheses expected after EXTRACT function arguments, instead found '%s' in %s";
inline constexpr std::string_view kUnknownFunction = "Unknown or unexpected function '%s' found in %s";
inline constexpr std::string_view kCorrelatedColumnExpected =
    "Symbol or string expression expected after table correlation name separator '.', instead found '%s' "
    "in %s";
inline constexpr std::string_view kAllColumnsNotAllowed = "* (all columns) symbol is not allowed in %s";
inline constexpr std::string_view kRightParenExpected =
    "Right parentheses expected, instead found '%s' in %s";
inline constexpr std::string_view kParametersNotAllowed = "Parameters are not allowed in %s";

}  // namespace sql
