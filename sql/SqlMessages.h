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
// A value that does not convert to its column as it is stored: the column's name and the value as written.
inline constexpr std::string_view kValueConversionFailed =
    "Type mismatch between column %s and constant value %s in %s";
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
// Statements; the slot is the text of the token found, unless said otherwise.
inline constexpr std::string_view kStatementKeywordExpected =
    "SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found '%s'";
// Slots: the statement's keyword (SELECT, INSERT, UPDATE or DELETE), the token.
inline constexpr std::string_view kEndOfStatementExpected =
    "End of %s statement expected, instead found '%s'";
inline constexpr std::string_view kAliasExpected =
    "Symbol or string expected after AS keyword, instead found '%s'";
inline constexpr std::string_view kAliasAfterCorrelationExpected =
    "Symbol or string expected after table correlation name, instead found '%s'";
inline constexpr std::string_view kIntoMemoryNameExpected =
    "Result table name expected in INTO MEMORY clause, instead found '%s'";
inline constexpr std::string_view kIntoNameExpected =
    "Result table name expected in INTO clause, instead found '%s'";
inline constexpr std::string_view kFromExpected = "FROM keyword expected, instead found '%s'";
inline constexpr std::string_view kFromTableExpected =
    "Table name expected after FROM keyword, instead found '%s'";
inline constexpr std::string_view kInnerJoinExpected =
    "JOIN keyword expected after INNER keyword, instead found '%s'";
inline constexpr std::string_view kLeftJoinExpected =
    "JOIN keyword expected after LEFT or OUTER keyword, instead found '%s'";
inline constexpr std::string_view kRightJoinExpected =
    "JOIN keyword expected after RIGHT or OUTER keyword, instead found '%s'";
inline constexpr std::string_view kFullJoinNotSupported =
    "Full outer joins are currently not supported in TARNIS SQL SELECT statements";
inline constexpr std::string_view kJoinTableExpected =
    "Table name expected after JOIN keyword, instead found '%s'";
inline constexpr std::string_view kOnExpected = "ON keyword expected in JOIN clause, instead found '%s'";
inline constexpr std::string_view kGroupByExpected =
    "BY keyword expected after GROUP keyword, instead found '%s'";
inline constexpr std::string_view kGroupByItemExpected =
    "Column name or column number expected in GROUP BY clause, instead found '%s'";
inline constexpr std::string_view kOrderByExpected =
    "BY keyword expected after ORDER keyword, instead found '%s'";
inline constexpr std::string_view kOrderByItemExpected =
    "Column name or column number expected in ORDER BY clause, instead found '%s'";
inline constexpr std::string_view kLocksExpected =
    "LOCKS keyword expected after WITH keyword, instead found '%s'";
inline constexpr std::string_view kEncryptedWithExpected =
    "WITH keyword expected after ENCRYPTED keyword, instead found '%s'";
inline constexpr std::string_view kIntoExpected = "INTO keyword expected, instead found '%s'";
inline constexpr std::string_view kInsertTableExpected =
    "Table name expected after INTO keyword, instead found '%s'";
inline constexpr std::string_view kInsertTableAfterIntoExpected =
    "Table name expected after INTO clause, instead found '%s'";
inline constexpr std::string_view kTargetListEndExpected =
    "Right parentheses expected after list of table columns, instead found '%s'";
inline constexpr std::string_view kValuesExpected = "VALUES keyword expected, instead found '%s'";
inline constexpr std::string_view kValuesLeftParenExpected =
    "Left parentheses expected after VALUES keyword, instead found '%s'";
inline constexpr std::string_view kValueListEndExpected =
    "Right parentheses expected after list of values, instead found '%s'";
inline constexpr std::string_view kTableNameExpected = "Table name expected, instead found '%s'";
inline constexpr std::string_view kSetExpected = "SET keyword expected, instead found '%s'";
inline constexpr std::string_view kAssignmentExpected =
    "Assignment (=) operator expected after column name, instead found '%s'";
inline constexpr std::string_view kWhereNotBoolean = "WHERE or JOIN clause must be a boolean expression";
inline constexpr std::string_view kDuplicateCorrelation =
    "Duplicate table correlation name '%s' found in source tables";
// Slots: the column as written, its correlation name, the clause's context text.
inline constexpr std::string_view kInvalidColumnName =
    "Invalid column name '%s' or table correlation name '%s' specified in %s";

// Binding.
// The missing blank before "in" is the system's own.
inline constexpr std::string_view kReservedFieldName =
    "Invalid use of reserved field name '%s'in source columns";
inline constexpr std::string_view kAggregateWithoutGroupBy =
    "Invalid use of aggregate function for column '%s', the necessary GROUP BY clause is missing";
// Slots: the alias, the column.
inline constexpr std::string_view kAliasOnAllColumns =
    "Invalid use of column correlation name '%s' for '%s' specified in source columns";
// Slots: the number as written, the clause's context text.
inline constexpr std::string_view kInvalidColumnNumber = "Invalid column number '%s' specified in %s";
inline constexpr std::string_view kColumnTooLarge =
    "Column expression '%s' exceeds the maximum allowable field size";
inline constexpr std::string_view kValueCountMismatch =
    "The number of values must match the number of table columns";
// The result table's indexes hold at most 16 fields. Slots: the limit that applied, the clause's keyword.
// The DISTINCT text is the system's; the ORDER BY and GROUP BY texts are modelled on it.
inline constexpr std::string_view kTooManyIndexColumns =
    "Maximum number of columns (%s) in %s clause exceeded";
// Two result names that the result table's 30-character field names would make one.
inline constexpr std::string_view kResultNameNotUnique =
    "Result column name '%s' is not unique in source columns";

// Parameter values handed to a statement that do not fit its parameters.
inline constexpr std::string_view kInternalParameterError = "Internal parameter error";

// Planning: join links and table filters. The slot of kUndefinedWhereCorrelation and kOuterJoinNotCombinable
// is a table's correlation name.
inline constexpr std::string_view kJoinOperandMultipleTables =
    "The join condition cannot contain multiple table correlation names in either the left or right operand "
    "in WHERE or JOIN clause";
inline constexpr std::string_view kJoinCorrelationNotFound =
    "Internal join error attempting to validate table correlation names involved in join";
// A table that join conditions of different kinds reach, or a left outer join's conditions from a table
// after it. Slots: the table's correlation name, the correlation names of the tables whose conditions reach
// it (quoted, the last after "and").
inline constexpr std::string_view kJoinTargetNotCombinable =
    "Table correlation name '%s' is target of join conditions from %s that cannot be combined in WHERE or "
    "JOIN clause";
inline constexpr std::string_view kInternalTableFilterError = "Internal table filter error";
inline constexpr std::string_view kUndefinedWhereCorrelation =
    "Table correlation name '%s' referenced in WHERE clause is not defined in the FROM clause";
inline constexpr std::string_view kOuterJoinOnCondition =
    "Condition in the ON clause of an outer join must compare its two sides or name one side only";
inline constexpr std::string_view kOuterJoinNotCombinable =
    "Outer join with table '%s' cannot be combined with the other joins of this statement";

// Context texts of the statement's clauses, as the expression messages name them.
inline constexpr std::string_view kSourceColumnsContext = "source columns";
inline constexpr std::string_view kTableColumnsContext = "table columns";
inline constexpr std::string_view kValuesContext = "values";
inline constexpr std::string_view kWhereContext = "WHERE or JOIN clause";
inline constexpr std::string_view kUpdateValuesContext = "update values";
inline constexpr std::string_view kOrderByContext = "ORDER BY clause";
inline constexpr std::string_view kGroupByContext = "GROUP BY clause";

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

// ---- The query component and its parameters. These are the framework's database error
// (rtl::EDatabaseError), not engine error 11949; "%s" slots as above.
// A parameter's value has no native form: no data type yet, or one the parameter block cannot carry.
inline constexpr std::string_view kParamUnknownType = "Field '%s' is of unknown type";
inline constexpr std::string_view kParamUnsupportedType = "Field '%s' is of an unsupported type";
// Slots: the parameter's name, the limit (kMaxStoredParamSize).
inline constexpr std::string_view kParamTooLargeToSave = "Parameter '%s', cannot save data larger than %s bytes";
inline constexpr std::string_view kUnableToLoadParams = "Unable to load bind parameters";
// A string longer than the block's size byte can carry, or a block beyond its 16-bit size.
inline constexpr std::string_view kParamTooLargeToBind = "Parameter '%s' is too large to bind";
inline constexpr std::string_view kNoSQLStatement = "No SQL statement available";
inline constexpr std::string_view kQueryExecuting = "Cannot perform this operation while the query is executing";
inline constexpr std::string_view kUseExecSQL = "Use ExecSQL for INSERT, UPDATE and DELETE statements";
inline constexpr std::string_view kExecSQLSelect = "ExecSQL cannot run a SELECT statement";
// Execution. Ours: a group's exact sum that its column's type cannot hold fails the statement once every row
// is in, so the outcome does not depend on the order of the rows. Slot: the column's result name.
inline constexpr std::string_view kSumOverflow = "Numeric overflow in SUM for column '%s'";
// Ours, worded as the SUM text: a value an INSERT or UPDATE would store past its column's range (an integer
// step that wrapped, a number beyond a smaller field). Slots: the statement ("UPDATE statement"), the column.
inline constexpr std::string_view kValueOverflow = "Numeric overflow in %s for column '%s'";

}  // namespace sql
