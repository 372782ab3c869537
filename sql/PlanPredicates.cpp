#include "sql/PlanPredicates.h"

#include <algorithm>

#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

// Unary chains run down Left, so the walk follows them without recursing; only a binary node's second
// operand takes a nested call, and trees are at most engine::MaxExprDepth levels deep.
bool ContainsColumnRef(const engine::TExprNode* node) noexcept {
    while (node != nullptr) {
        switch (node->NodeClass) {
            case engine::ncField:
                return true;
            case engine::ncUnary:
            case engine::ncFunction:
            case engine::ncPredicate:
                node = node->Left.get();
                break;
            case engine::ncBinary:
                if (ContainsColumnRef(node->Right.get())) return true;
                node = node->Left.get();
                break;
            default:
                return false;
        }
    }
    return false;
}

namespace {

// The table of a column node, bound on first sight.
TSourceDataFile* ColumnTable(TDataQuery& query, engine::TExprNode& column) {
    if (column.SourceTable == nullptr) {
        std::uint16_t fieldNumber = 0;
        TSourceDataFile* table = query.FindSourceField(column.Correlation, column.ColumnName, fieldNumber);
        if (table == nullptr) RaiseSqlError(kUndefinedWhereCorrelation, {column.Correlation});
        column.SourceTable = table;
        column.FieldNo = fieldNumber;
        column.Correlation = table->CorrelationName;
    }
    return column.SourceTable;
}

}  // namespace

// Trees are at most engine::MaxExprDepth levels deep, so the recursion is bounded.
void TablesOfExpr(TDataQuery& query, engine::TExprNode* node, std::vector<TSourceDataFile*>& tables) {
    if (node == nullptr) return;
    if (node->NodeClass == engine::ncField) {
        TSourceDataFile* table = ColumnTable(query, *node);
        if (std::find(tables.begin(), tables.end(), table) == tables.end()) tables.push_back(table);
        return;
    }
    if (node->NodeClass == engine::ncConstant) return;
    TablesOfExpr(query, node->Left.get(), tables);
    TablesOfExpr(query, node->Right.get(), tables);
    for (const auto& item : node->Items) TablesOfExpr(query, item.get(), tables);
}

bool SingleTableOfExpr(TDataQuery& query, engine::TExprNode* node, TSourceDataFile*& table) {
    std::vector<TSourceDataFile*> tables;
    TablesOfExpr(query, node, tables);
    table = tables.empty() ? nullptr : tables.front();
    return tables.size() > 1;
}

bool IsDisjunction(const engine::TExprNode* node) noexcept {
    bool negated = false;
    while (node != nullptr && node->NodeClass == engine::ncUnary && node->Operator == engine::opNot) {
        negated = !negated;
        node = node->Left.get();
    }
    const bool disjunction =
        node != nullptr && node->NodeClass == engine::ncBinary && node->Operator == engine::opOr;
    return disjunction != negated;
}

bool IsUnderNot(const engine::TExprNode* node) noexcept {
    while (node != nullptr && node->NodeClass == engine::ncBinary) node = node->Parent;
    return node != nullptr && node->NodeClass == engine::ncUnary && node->Operator == engine::opNot;
}

std::unique_ptr<engine::TExprNode> MakeAndNode(std::unique_ptr<engine::TExprNode> left,
                                               std::unique_ptr<engine::TExprNode> right) {
    auto both = std::make_unique<engine::TExprNode>();
    both->NodeClass = engine::ncBinary;
    both->Operator = engine::opAnd;
    both->Text = "AND";
    both->Value.FieldType = engine::FieldTypeBoolean;
    both->Value.Size = 2;
    left->Parent = both.get();
    right->Parent = both.get();
    both->Left = std::move(left);
    both->Right = std::move(right);
    return both;
}

bool IsComparison(const engine::TExprNode* node) noexcept {
    return node != nullptr && node->NodeClass == engine::ncBinary && node->Operator >= engine::opEqual &&
           node->Operator <= engine::opLessEqual;
}

bool HasJoinComparison(TDataQuery& query, engine::TExprNode* node) {
    if (node == nullptr) return false;
    if (IsComparison(node)) {
        TSourceDataFile* left = nullptr;
        TSourceDataFile* right = nullptr;
        // Each operand must name a table, and not the same single one.
        const bool leftMany = SingleTableOfExpr(query, node->Left.get(), left);
        const bool rightMany = SingleTableOfExpr(query, node->Right.get(), right);
        if (left == nullptr || right == nullptr) return false;
        return leftMany || rightMany || left != right;
    }
    if (node->NodeClass == engine::ncUnary) return HasJoinComparison(query, node->Left.get());
    if (node->NodeClass == engine::ncBinary &&
        (node->Operator == engine::opAnd || node->Operator == engine::opOr))
        return HasJoinComparison(query, node->Left.get()) || HasJoinComparison(query, node->Right.get());
    return false;
}

}  // namespace sql
