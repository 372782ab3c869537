#include "sql/SourceDataLink.h"

#include <utility>

#include "engine/base/EngineError.h"
#include "engine/table/DataFile.h"
#include "sql/DataQuery.h"
#include "sql/PlanPredicates.h"
#include "sql/SourceDataFile.h"

namespace sql {

using engine::TExprNode;

namespace {

// Raises the engine's code for a filter operation on the table, naming it.
void CheckFilterResult(std::uint16_t code, const engine::TDataFile& table) {
    if (code != 0) engine::RaiseEngineError(code, table.TableFileName());
}

// The tree names a column of the table.
bool NamesTable(TDataQuery& query, TExprNode* node, const TSourceDataFile* table) {
    std::vector<TSourceDataFile*> tables;
    TablesOfExpr(query, node, tables);
    for (const TSourceDataFile* named : tables)
        if (named == table) return true;
    return false;
}

}  // namespace

void TSourceDataLink::AddCondition(std::uint8_t joinType, std::unique_ptr<TExprNode> condition) {
    if (!condition) return;
    if (JoinType == jkNone || !Condition) {
        JoinType = joinType;
        Condition = std::move(condition);
        Condition->Parent = nullptr;
        return;
    }
    Condition = MakeAndNode(std::move(Condition), std::move(condition));
}

std::unique_ptr<TExprNode> TSourceDataLink::CopyExprForLink(const TExprNode& condition) const {
    TDataQuery& query = *Owner->Owner;
    TExprNode& node = const_cast<TExprNode&>(condition);
    if (node.NodeClass == engine::ncBinary && node.Operator == engine::opAnd) {
        std::unique_ptr<TExprNode> copy = engine::CopyExprNode(node);
        copy->Left = CopyExprForLink(*node.Left);
        copy->Right = CopyExprForLink(*node.Right);
        copy->Left->Parent = copy.get();
        copy->Right->Parent = copy.get();
        return copy;
    }
    if (IsComparison(&node) && NamesTable(query, node.Right.get(), Target)) {
        // The inner table's operand goes left, where an index of the inner table can serve it; the outer
        // row's value is the constant it is compared with.
        std::unique_ptr<TExprNode> copy = engine::CopyExprNode(node);
        copy->Operator = engine::MirrorComparison(node.Operator);
        copy->Left = engine::CopyExprTree(node.Right.get());
        copy->Right = query.EvaluateToConstant(*node.Right, *node.Left);
        copy->Left->Parent = copy.get();
        copy->Right->Parent = copy.get();
        return copy;
    }
    // A part that names only the outer side: its truth value for this outer row. False leaves the inner
    // table without candidates, so an outer link gives the row unmatched.
    return query.EvaluateToConstant(node, node);
}

void TSourceDataLink::SetFilter() {
    if (!Condition || Target == nullptr) return;
    engine::TDataFile& table = *Target->Table;
    std::unique_ptr<TExprNode> tree = CopyExprForLink(*Condition);
    if (FilterHandle == nullptr) {
        engine::TFilter* handle = nullptr;
        CheckFilterResult(table.AddFilter(nullptr, {}, handle, true, nullptr, true, tree.release()), table);
        FilterHandle = handle;
        CheckFilterResult(table.ActivateFilter(handle), table);
        return;
    }
    CheckFilterResult(table.ModifyFilter(FilterHandle, {}, tree.release(), true), table);
}

void TSourceDataLink::ClearFilter() {
    if (FilterHandle == nullptr || Target == nullptr) return;
    // The handle goes first: whatever the drop does, it is never used again.
    engine::TFilter* handle = std::exchange(FilterHandle, nullptr);
    CheckFilterResult(Target->Table->DropFilter(handle), *Target->Table);
}

}  // namespace sql
