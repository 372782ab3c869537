#include "sql/SourceDataLink.h"

#include <utility>

#include "engine/base/EngineError.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/table/Optimiser.h"
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

// The first equality among the ANDed parts of a link's condition whose right side is the inner table's
// (CopyExprForLink turns it into inner side = outer value); none when there is no such part.
const TExprNode* KeyEquality(TDataQuery& query, TExprNode& node, const TSourceDataFile* target) {
    if (node.NodeClass == engine::ncBinary && node.Operator == engine::opAnd) {
        const TExprNode* left = node.Left ? KeyEquality(query, *node.Left, target) : nullptr;
        if (left != nullptr || !node.Right) return left;
        return KeyEquality(query, *node.Right, target);
    }
    if (IsComparison(&node) && node.Operator == engine::opEqual && NamesTable(query, node.Right.get(), target))
        return &node;
    return nullptr;
}

// The inner rows a key table may hold: a million images of 128 bytes.
constexpr std::size_t kKeyTableMaxBytes = std::size_t{128} << 20;
// A filter an index serves costs about twenty thousand instructions an outer row, and reading the inner
// table once into its key table about three thousand an inner row (callgrind over sql-bench): the key table
// pays once the filters number some fifteen per hundred inner rows. Switching at five per hundred (and after
// a few for any table) gains most of that on a join of equal sides and costs at most a few times the filters
// where the outer side turns out small.
constexpr std::int64_t kFiltersPerThousandRows = 50;
constexpr std::int64_t kFiltersBeforeKeys = 8;

}  // namespace

bool TSourceDataLink::UseKeyTable() {
    if (keys_) return true;
    if (!planned_) {
        planned_ = true;
        keyEquality_ = KeyEquality(*Owner->Owner, *Condition, Target);
        keysRefused_ = keyEquality_ == nullptr;
        innerRows_ = Target->Table->GetRecordCount();
    }
    // The first outer row is filtered: the filter tells whether an index serves the condition. One that
    // indexes answer alone goes on until the filters have cost what reading the inner table would.
    if (keysRefused_ || FilterHandle == nullptr) return false;
    if (FilterHandle->OptLevel() == engine::OptIndexed &&
        filterBuilds_ < kFiltersBeforeKeys + innerRows_ * kFiltersPerThousandRows / 1000)
        return false;
    // The key table reads what the inner table's own filters pass, without the link's.
    DropFilter();
    keys_ = TJoinKeyTable::Build(*Target->Table, *keyEquality_->Right, kKeyTableMaxBytes);
    keysRefused_ = !keys_;
    return !keysRefused_;
}

void TSourceDataLink::PositionTarget() {
    if (!Condition || Target == nullptr) return;
    if (!UseKeyTable()) {
        SetFilter();
        ++filterBuilds_;
        return;
    }
    TDataQuery& query = *Owner->Owner;
    // The outer value as the filter would compare it (CopyExprForLink).
    const TJoinKeyTable::Candidates found =
        keys_->Find(query.EvaluateToValue(*keyEquality_->Right, *keyEquality_->Left));
    // A row the key does not decide alone is tested with the filter's condition, record by record.
    std::unique_ptr<TExprNode> test;
    if (!found.Exact || Condition.get() != keyEquality_) test = CopyExprForLink(*Condition);
    Target->ReadKeyRows(*keys_, found.Rows, std::move(test));
}

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

void TSourceDataLink::ReleaseKeyTable() noexcept {
    if (Target != nullptr) Target->ReadOwnRows();
    keys_.reset();
    keyEquality_ = nullptr;
    keysRefused_ = false;
    planned_ = false;
    innerRows_ = 0;
    filterBuilds_ = 0;
}

void TSourceDataLink::ClearFilter() {
    ReleaseKeyTable();
    DropFilter();
}

void TSourceDataLink::DropFilter() {
    if (FilterHandle == nullptr || Target == nullptr) return;
    // The handle goes first: whatever the drop does, it is never used again.
    engine::TFilter* handle = std::exchange(FilterHandle, nullptr);
    CheckFilterResult(Target->Table->DropFilter(handle), *Target->Table);
}

}  // namespace sql
