// The statement parser of TDataQuery: one SELECT, INSERT, UPDATE or DELETE read token by token into the
// statement model, with the expression parser reading every expression in it.
#include <algorithm>
#include <utility>

#include "engine/values/FieldTypes.h"
#include "engine/values/LocaleSettings.h"
#include "rtl/Text.h"
#include "sql/DataQuery.h"
#include "sql/PlanPredicates.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

using engine::TExprNode;
using NodePtr = std::unique_ptr<TExprNode>;

namespace {

// Like every tree the expression parser returns, the merged condition keeps one level free for the type
// checker, which may put a comparison over a boolean operand.
constexpr int MaxConditionLevels = engine::MaxExprDepth - 1;

// ORDER BY and GROUP BY positions are stored in 16 bits.
constexpr int MaxColumnNumber = 65535;

bool IsComparison(const TExprNode& node) noexcept {
    return node.NodeClass == engine::ncBinary && node.Operator >= engine::opEqual &&
           node.Operator <= engine::opLessEqual;
}

// The position of an ON condition's table on every node of it.
void MarkClause(TExprNode& node, std::uint16_t position) {
    node.ClausePosition = position;
    if (node.Left) MarkClause(*node.Left, position);
    if (node.Right) MarkClause(*node.Right, position);
    for (const NodePtr& item : node.Items) MarkClause(*item, position);
}

// A column number as written: all digits, 1 to MaxColumnNumber; 0 for anything else.
int ColumnNumber(std::string_view digits) noexcept {
    int value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
        if (value > MaxColumnNumber) return 0;
    }
    return value;
}

// item {, item}: the reader reads one item from the current token on.
template <class ReadItem>
void ParseCommaList(TExpressionParser& scanner, ReadItem readItem) {
    for (;;) {
        readItem();
        if (!scanner.TokenIs(',')) return;
        scanner.NextToken();
    }
}

}  // namespace

bool TDataQuery::TextLess::operator()(const std::string& a, const std::string& b) const noexcept {
    return rtl::AnsiCompareText(a, b) < 0;
}

// --- Scanner shorthands ----------------------------------------------------------------------------------

bool TDataQuery::TokenIsName() const noexcept {
    return Scanner.TokenIs(tkIdentifier) || Scanner.TokenIs(tkString);
}

std::string TDataQuery::TakeName() {
    std::string name = Scanner.TokenValue(TokenUse::Name);
    Scanner.NextToken();
    return name;
}

void TDataQuery::ExpectKeyword(std::string_view keyword, std::string_view pattern) {
    if (!Scanner.TokenIsKeyword(keyword)) Fail(pattern);
    Scanner.NextToken();
}

void TDataQuery::Fail(std::string_view pattern) const {
    RaiseSqlError(pattern, {Scanner.TokenText()});
}

// --- Statements ------------------------------------------------------------------------------------------

void TDataQuery::ParseStatement() {
    // Numbers and dates in statement texts are always written the US way, whatever the thread's settings.
    engine::LocaleFormatSwap us(0, 0);
    correlations_.clear();
    whereLevels_ = 0;
    Scanner.NextToken();
    struct Statement {
        std::string_view Keyword;
        StatementType Type;
        void (TDataQuery::*Parse)();
    };
    static constexpr Statement statements[] = {
        {"SELECT", StatementType::Select, &TDataQuery::ParseSelect},
        {"INSERT", StatementType::Insert, &TDataQuery::ParseInsert},
        {"UPDATE", StatementType::Update, &TDataQuery::ParseUpdate},
        {"DELETE", StatementType::Delete, &TDataQuery::ParseDelete},
    };
    for (const Statement& statement : statements) {
        if (!Scanner.TokenIsKeyword(statement.Keyword)) continue;
        StatementKind = statement.Type;
        (this->*statement.Parse)();
        ParseStatementEnd(statement.Keyword);
        return;
    }
    Fail(kStatementKeywordExpected);
}

void TDataQuery::ParseStatementEnd(std::string_view keyword) {
    if (Scanner.TokenIs(';')) Scanner.NextToken();
    if (!Scanner.TokenIs(tkEnd)) RaiseSqlError(kEndOfStatementExpected, {keyword, Scanner.TokenText()});
}

void TDataQuery::ParseSelect() {
    Scanner.NextToken();
    if (Scanner.TokenIsKeyword("ALL")) Scanner.NextToken();
    if (Scanner.TokenIsKeyword("DISTINCT")) {
        Distinct = true;
        Scanner.NextToken();
    }
    ParseCommaList(Scanner, [this] {
        TResultDataField& column = *ResultColumns.emplace_back(std::make_unique<TResultDataField>(this));
        ParseSourceColumn(column);
        ParseAlias(column);
    });
    if (Scanner.TokenIsKeyword("INTO")) {
        Scanner.NextToken();
        RequestLive = false;
        std::string_view missingName = kIntoNameExpected;
        if (Scanner.TokenIsKeyword("MEMORY")) {
            Scanner.NextToken();
            IntoMemory = true;
            missingName = kIntoMemoryNameExpected;
        }
        if (!TokenIsName()) Fail(missingName);
        IntoTableName = TakeName();
    }
    ExpectKeyword("FROM", kFromExpected);
    ParseFromClause();
    ParseOptionalWhere();
    ParseOrderAndGroup();
    if (Scanner.TokenIsKeyword("WITH")) {
        Scanner.NextToken();
        ExpectKeyword("LOCKS", kLocksExpected);
        WithLocks = true;
    }
    if (Scanner.TokenIsKeyword("ENCRYPTED")) {
        Scanner.NextToken();
        ExpectKeyword("WITH", kEncryptedWithExpected);
        // The token after WITH is the password whatever its kind; at the end of the text it is empty.
        EncryptionPassword = TakeName();
        Encrypted = true;
    }
}

// x AS name, x AS correlation.name (the column is named name), or the same without AS.
void TDataQuery::ParseAlias(TResultDataField& column) {
    if (Scanner.TokenIsKeyword("AS")) {
        Scanner.NextToken();
        if (!TokenIsName()) Fail(kAliasExpected);
    } else if (!Scanner.TokenIs(tkString) &&
               (!Scanner.TokenIs(tkIdentifier) || Scanner.TokenIsKeyword("INTO") ||
                Scanner.TokenIsKeyword("FROM"))) {
        return;
    }
    column.ResultName = TakeName();
    if (!Scanner.TokenIs('.')) return;
    Scanner.NextToken();
    if (!TokenIsName()) Fail(kAliasAfterCorrelationExpected);
    column.ResultName = TakeName();
}

// Tables separated by commas, each followed by its joins. Tables are numbered in the order they stand in
// the text; the numbers fit 16 bits because every table takes at least two characters of a statement
// that is at most MaxStatementLength long.
void TDataQuery::ParseFromClause() {
    std::uint16_t tableCounter = 1;
    for (;;) {
        TSourceDataFile& table = ParseTable(tableCounter++, false, kFromTableExpected);
        // The words that may follow a table are no correlation names.
        ParseCorrelation(table, true, false,
                         {"LEFT", "RIGHT", "INNER", "FULL", "JOIN", "WHERE", "ORDER", "GROUP", "HAVING",
                          "WITH", "ENCRYPTED"});
        CheckDuplicateCorrelation(table.CorrelationName);
        while (Scanner.TokenIsKeyword("JOIN") || Scanner.TokenIsKeyword("INNER") ||
               Scanner.TokenIsKeyword("LEFT") || Scanner.TokenIsKeyword("RIGHT") ||
               Scanner.TokenIsKeyword("FULL")) {
            ParseJoin(tableCounter);
        }
        if (!Scanner.TokenIs(',')) return;
        HasJoin = true;
        Scanner.NextToken();
    }
}

void TDataQuery::ParseJoin(std::uint16_t& tableCounter) {
    std::uint8_t kind = jkInner;
    if (Scanner.TokenIsKeyword("INNER")) {
        Scanner.NextToken();
        ExpectKeyword("JOIN", kInnerJoinExpected);
    } else if (Scanner.TokenIsKeyword("LEFT") || Scanner.TokenIsKeyword("RIGHT")) {
        const bool left = Scanner.TokenIsKeyword("LEFT");
        kind = left ? jkLeftOuter : jkRightOuter;
        Scanner.NextToken();
        if (Scanner.TokenIsKeyword("OUTER")) Scanner.NextToken();
        ExpectKeyword("JOIN", left ? kLeftJoinExpected : kRightJoinExpected);
    } else if (Scanner.TokenIsKeyword("FULL")) {
        RaiseSqlError(kFullJoinNotSupported);
    } else {
        Scanner.NextToken();  // JOIN
    }
    HasJoin = true;
    // A right join's table goes first: the planner then links it as the outer table of a left join.
    TSourceDataFile& table = ParseTable(tableCounter++, kind == jkRightOuter, kJoinTableExpected);
    table.JoinKind = kind;
    ParseCorrelation(table, true, false, {"ON"});
    CheckDuplicateCorrelation(table.CorrelationName);
    ExpectKeyword("ON", kOnExpected);
    TExprNode* condition = ParseWhereClause();
    MarkJoinType(kind, condition);
    // The merged tree no longer shows which clause a condition came from; outer joins need to know.
    MarkClause(*condition, table.FromPosition);
    HasWhere = true;
}

// [MEMORY] name: a new source table, appended or put first.
TSourceDataFile& TDataQuery::ParseTable(std::uint16_t position, bool atFront, std::string_view missingName) {
    auto created = std::make_unique<TSourceDataFile>(this);
    TSourceDataFile& table = *created;
    Sources.insert(atFront ? Sources.begin() : Sources.end(), std::move(created));
    if (Scanner.TokenIsKeyword("MEMORY")) {
        table.InMemory = true;
        Scanner.NextToken();
    }
    if (!TokenIsName()) Fail(missingName);
    table.TableNumber = position;
    table.FromPosition = position;
    table.SetTableName(TakeName());
    return table;
}

// AS name, or without AS an identifier that is none of the clause's words (or, where allowed, a string).
void TDataQuery::ParseCorrelation(TSourceDataFile& table, bool asAllowed, bool stringAllowed,
                                  std::initializer_list<std::string_view> notNames) {
    if (asAllowed && Scanner.TokenIsKeyword("AS")) {
        Scanner.NextToken();
        if (!TokenIsName()) Fail(kAliasExpected);
    } else if (Scanner.TokenIs(tkIdentifier)) {
        const bool word = std::any_of(notNames.begin(), notNames.end(),
                                      [this](std::string_view name) { return Scanner.TokenIsKeyword(name); });
        if (word) return;
    } else if (!stringAllowed || !Scanner.TokenIs(tkString)) {
        return;
    }
    table.SetCorrelationName(TakeName());
}

void TDataQuery::CheckDuplicateCorrelation(std::string_view name) {
    if (!correlations_.emplace(name).second) RaiseSqlError(kDuplicateCorrelation, {name});
}

// [GROUP BY item {, item}] [ORDER BY item [ASC | DESC] {, ...} [NOCASE]], in this order.
void TDataQuery::ParseOrderAndGroup() {
    if (Scanner.TokenIsKeyword("GROUP")) {
        Scanner.NextToken();
        ExpectKeyword("BY", kGroupByExpected);
        Grouped = true;
        ParseCommaList(Scanner, [this] {
            TGroupByDataField& item = *GroupBy.emplace_back(std::make_unique<TGroupByDataField>(this));
            if (!ParseClauseColumn(item)) Fail(kGroupByItemExpected);
        });
    }
    if (Scanner.TokenIsKeyword("ORDER")) {
        Scanner.NextToken();
        ExpectKeyword("BY", kOrderByExpected);
        HasOrderBy = true;
        ParseCommaList(Scanner, [this] {
            TOrderByDataField& item = *OrderBy.emplace_back(std::make_unique<TOrderByDataField>(this));
            if (!ParseClauseColumn(item)) Fail(kOrderByItemExpected);
            if (Scanner.TokenIsKeyword("DESC") || Scanner.TokenIsKeyword("DESCENDING")) {
                item.Descending = true;
                Scanner.NextToken();
            } else if (Scanner.TokenIsKeyword("ASC") || Scanner.TokenIsKeyword("ASCENDING")) {
                Scanner.NextToken();
            }
        });
        if (Scanner.TokenIsKeyword("NOCASE")) {
            NoCase = true;
            Scanner.NextToken();
        }
    }
}

// A column name, correlation.column (the column being the next token's text, whatever its kind), or a
// select-list position from 1 to 65535. False, with the offending token current, when the item names
// nothing: binding would match an empty name to the first expression column.
bool TDataQuery::ParseClauseColumn(TClauseColumn& item) {
    if (Scanner.TokenIs(tkInteger)) {
        const int number = ColumnNumber(Scanner.TokenText());
        if (number == 0) return false;
        item.ColumnNumber = static_cast<std::uint16_t>(number);
        Scanner.NextToken();
        return true;
    }
    if (!TokenIsName() || Scanner.TokenValue(TokenUse::Name).empty()) return false;
    std::string name = TakeName();
    if (Scanner.TokenIs('.')) {
        Scanner.NextToken();
        item.CorrelationName = std::move(name);
        name = Scanner.TokenValue(TokenUse::Name);
        if (name.empty()) return false;
        Scanner.NextToken();
    }
    item.ColumnName = std::move(name);
    return true;
}

void TDataQuery::ParseInsert() {
    Scanner.NextToken();
    RequestLive = true;
    ExpectKeyword("INTO", kIntoExpected);
    if (!TokenIsName()) Fail(kInsertTableAfterIntoExpected);
    TSourceDataFile& table = ParseTable(1, false, kInsertTableExpected);
    if (Scanner.TokenIs(tkIdentifier) && !Scanner.TokenIsKeyword("VALUES"))
        table.SetCorrelationName(TakeName());
    if (Scanner.TokenIs('(')) {
        Scanner.NextToken();
        ParseCommaList(Scanner, [this] {
            ParseInsertColumn(*TargetColumns.emplace_back(std::make_unique<TUpdateDataField>(this)));
        });
        if (!Scanner.TokenIs(')')) Fail(kTargetListEndExpected);
        Scanner.NextToken();
    } else {
        // Every column of the table, in field order; binding expands it.
        TargetColumns.emplace_back(std::make_unique<TUpdateDataField>(this))->SetColumnName(AllColumnsName);
    }
    ExpectKeyword("VALUES", kValuesExpected);
    if (!Scanner.TokenIs('(')) Fail(kValuesLeftParenExpected);
    Scanner.NextToken();
    ParseCommaList(Scanner, [this] {
        ParseInsertValue(*Values.emplace_back(std::make_unique<TUpdateDataValue>(this)));
    });
    if (!Scanner.TokenIs(')')) Fail(kValueListEndExpected);
    Scanner.NextToken();
}

void TDataQuery::ParseUpdate() {
    Scanner.NextToken();
    RequestLive = true;
    if (!TokenIsName()) Fail(kTableNameExpected);
    ParseCorrelation(ParseTable(1, false, kTableNameExpected), true, true, {"SET"});
    ExpectKeyword("SET", kSetExpected);
    ParseCommaList(Scanner, [this] {
        ParseUpdateColumn(*TargetColumns.emplace_back(std::make_unique<TUpdateDataField>(this)));
        if (!Scanner.TokenIs('=')) Fail(kAssignmentExpected);
        Scanner.NextToken();
        ParseUpdateValue(*Values.emplace_back(std::make_unique<TUpdateDataValue>(this)));
    });
    ParseOptionalWhere();
}

void TDataQuery::ParseDelete() {
    Scanner.NextToken();
    RequestLive = true;
    ExpectKeyword("FROM", kFromExpected);
    if (!TokenIsName()) Fail(kTableNameExpected);
    ParseCorrelation(ParseTable(1, false, kTableNameExpected), true, true, {"WHERE"});
    ParseOptionalWhere();
}

// --- List items ------------------------------------------------------------------------------------------

// A select item is classified by its root: a column, an aggregate of a column, or an expression (an
// aggregate deeper in the tree is refused by the type checker at binding).
void TDataQuery::ParseSourceColumn(TResultDataField& column) {
    Scanner.MarkStart();
    column.Expression = Scanner.ParseCondition(pfAggregates | pfAllColumns, kSourceColumnsContext);
    const TExprNode* plain = column.Expression.get();
    if (plain->NodeClass == engine::ncFunction) {
        column.Aggregate = AggregateOf(plain->Operator);
        if (column.Aggregate == AggregateKind::Avg) HasAverages = true;
        if (column.Aggregate != AggregateKind::None) plain = plain->Left.get();
    }
    if (plain != nullptr && plain->NodeClass == engine::ncField) {
        column.IsExpression = false;
        column.CorrelationName = plain->Correlation;
        column.SetColumnName(plain->ColumnName);
        // Binding makes an aggregate's caption from the column's name.
        if (column.Aggregate != AggregateKind::None) column.ResultName.clear();
        return;
    }
    column.IsExpression = true;
    column.ExpressionText = Scanner.MarkedText();
    HasComputedColumns = true;
}

void TDataQuery::ParseInsertColumn(TUpdateDataField& target) {
    Scanner.MarkStart();
    TakeTarget(target, Scanner.ParseCondition(0, kTableColumnsContext));
}

// A primary only, so that the "=" after it is left for the SET list.
void TDataQuery::ParseUpdateColumn(TUpdateDataField& target) {
    Scanner.MarkStart();
    TakeTarget(target, Scanner.ParsePrimary(0, kTableColumnsContext));
}

// Target places hold only names, so quoted text there names a column, without any lookup. Anything that is
// then no column would reach binding with an empty name, and is refused.
void TDataQuery::TakeTarget(TUpdateDataField& target, NodePtr tree) {
    if (tree->NodeClass == engine::ncConstant && tree->Value.FieldType == engine::FieldTypeString &&
        tree->IsParam == 0 && !tree->Text.empty()) {
        tree->ColumnName = tree->Text;
        tree->SavedFieldType = tree->Value.FieldType;
        tree->SavedSubType = tree->Value.SubType;
        tree->SavedSize = tree->Value.Size;
        tree->SavedScale = tree->Value.Scale;
        tree->NodeClass = engine::ncField;
        tree->FromString = 1;
    }
    if (tree->NodeClass != engine::ncField)
        RaiseSqlError(kInvalidColumnName, {Scanner.MarkedText(), "", kTableColumnsContext});
    target.CorrelationName = tree->Correlation;
    target.SetColumnName(tree->ColumnName);
    target.Expression = std::move(tree);
}

void TDataQuery::ParseInsertValue(TUpdateDataValue& value) {
    ParseValue(value);
}

void TDataQuery::ParseUpdateValue(TUpdateDataValue& value) {
    ParseValue(value);
}

void TDataQuery::ParseValue(TUpdateDataValue& value) {
    Scanner.MarkStart();
    value.Expression = Scanner.ParseCondition(pfParameters, kValuesContext);
    CollectParams(value.Expression.get());
    value.ValueText = Scanner.MarkedText();
}

// --- Conditions ------------------------------------------------------------------------------------------

void TDataQuery::ParseOptionalWhere() {
    if (!Scanner.TokenIsKeyword("WHERE")) return;
    HasWhere = true;
    Scanner.NextToken();
    ParseWhereClause();
}

TExprNode* TDataQuery::ParseWhereClause() {
    NodePtr condition = Scanner.ParseCondition(pfPredicates | pfParameters, kWhereContext);
    // Comparisons, predicates, AND, OR and NOT are typed boolean while parsing; a bare column is not.
    if (condition->Value.FieldType != engine::FieldTypeBoolean) RaiseSqlError(kWhereNotBoolean);
    TExprNode* added = condition.get();
    const int levels = engine::ExprTreeDepth(added);
    if (!WhereCondition) {
        WhereCondition = std::move(condition);
        whereLevels_ = levels;
    } else {
        // Conditions accumulate from the left in the order they stand in the text.
        const int merged = 1 + std::max(whereLevels_, levels);
        if (merged > MaxConditionLevels) RaiseSqlError(kExpressionTooComplex, {kWhereContext});
        auto conjunction = std::make_unique<TExprNode>();
        conjunction->NodeClass = engine::ncBinary;
        conjunction->Operator = engine::opAnd;
        conjunction->Text = "AND";
        conjunction->Value.FieldType = engine::FieldTypeBoolean;
        conjunction->Left = std::move(WhereCondition);
        conjunction->Right = std::move(condition);
        WhereCondition = std::move(conjunction);
        whereLevels_ = merged;
    }
    CollectParams(added);
    return added;
}

// Left before Right before the items is text order for every shape but TRIM, whose character (Right)
// stands before its string (Left).
void TDataQuery::CollectParams(TExprNode* node) {
    if (node == nullptr) return;
    if (node->NodeClass == engine::ncConstant && node->IsParam != 0) Params.push_back(node);
    const bool trim = node->NodeClass == engine::ncFunction && node->Operator >= engine::opTrimLeading &&
                      node->Operator <= engine::opTrimBoth;
    if (trim) {
        CollectParams(node->Right.get());
        CollectParams(node->Left.get());
    } else {
        CollectParams(node->Left.get());
        CollectParams(node->Right.get());
    }
    for (const NodePtr& item : node->Items) CollectParams(item.get());
}

void TDataQuery::MarkJoinType(std::uint8_t joinKind, TExprNode* node) {
    if (node == nullptr) return;
    if (node->NodeClass == engine::ncUnary) {
        MarkJoinType(joinKind, node->Left.get());
    } else if (node->NodeClass == engine::ncBinary &&
               (node->Operator == engine::opAnd || node->Operator == engine::opOr)) {
        MarkJoinType(joinKind, node->Left.get());
        MarkJoinType(joinKind, node->Right.get());
    } else if (IsComparison(*node) && ContainsColumnRef(node->Left.get()) &&
               ContainsColumnRef(node->Right.get())) {
        node->JoinKind = joinKind;
    }
}

}  // namespace sql
