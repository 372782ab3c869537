// Push-down: each run's table filters and residual condition, derived from what the join analysis left of
// the WHERE tree and from the current parameter values; and the evaluator's column procedure over the
// source tables' current rows.
#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/table/Optimiser.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "sql/PlanPredicates.h"

namespace sql {

using engine::TExprNode;
using NodePtr = std::unique_ptr<TExprNode>;

namespace {

bool IsConstantSide(const TExprNode* node) noexcept {
    if (node == nullptr) return false;
    if (node->NodeClass == engine::ncConstant) return true;
    return node->NodeClass == engine::ncUnary &&
           (node->Operator == engine::opNegate || node->Operator == engine::opPlus) && node->Left &&
           node->Left->NodeClass == engine::ncConstant;
}

bool IsStringConstant(const TExprNode* node) noexcept {
    return node != nullptr && node->NodeClass == engine::ncConstant &&
           node->Value.FieldType == engine::FieldTypeString && node->Value.IsNull == 0;
}

// A LIKE pattern that only asks for a leading part: one '%', at its end, no '_', at least two characters.
bool IsPrefixPattern(std::string_view pattern) noexcept {
    return pattern.size() >= 2 && pattern.back() == '%' &&
           std::count(pattern.begin(), pattern.end(), '%') == 1 &&
           pattern.find('_') == std::string_view::npos;
}

void Adopt(TExprNode& parent) noexcept {
    if (parent.Left) parent.Left->Parent = &parent;
    if (parent.Right) parent.Right->Parent = &parent;
    for (const auto& item : parent.Items) item->Parent = &parent;
}

// The node as a leading-part string compare of `partial` characters, the constant copied with its size.
NodePtr PrefixCompare(NodePtr copy, NodePtr left, const TExprNode& constant, std::size_t partial,
                      std::size_t constantSize) {
    copy->NodeClass = engine::ncCompare;
    copy->PartialLen = static_cast<std::uint8_t>(partial);
    copy->CaseInsensitive = 0;
    copy->Left = std::move(left);
    copy->Right = engine::CopyExprTree(&constant);
    copy->Right->Value.Size = static_cast<std::uint8_t>(constantSize);
    Adopt(*copy);
    return copy;
}

}  // namespace

void TDataQuery::FetchColumnValue(void* /*owner*/, void* /*data*/, const TExprNode& column,
                                  engine::ExprValue& value) {
    value.Bytes.fill(0);
    const TSourceDataFile* table = column.SourceTable;
    if (table == nullptr || table->RecordBuffer.empty()) {
        // A table without a row (a live result reads no rows here) gives NULL.
        value.IsNull = 1;
        return;
    }
    value.IsNull = table->Table->GetField(false, column.FieldNo, table->RecordBuffer, value.Bytes) ? 1 : 0;
}

NodePtr TDataQuery::EvaluateToConstant(const TExprNode& model, const TExprNode& expression) {
    NodePtr constant = engine::MakeConstantNode(expression, EvaluateToValue(model, expression));
    constant->IsParam = 0;
    return constant;
}

engine::ExprValue TDataQuery::EvaluateToValue(const TExprNode& model, const TExprNode& expression) {
    engine::ExprValue result = expression.Value;
    engine::EvaluateExpr(expression, nullptr, this, FetchColumnValue, LanguageId, SortId, result);
    const engine::ExprValue& wanted = model.Value;
    if (result.IsNull != 0 || result.FieldType == engine::FieldTypeString ||
        result.FieldType == wanted.FieldType)
        return result;
    // Only an exact conversion may stand for the value: 1.5 must not become the integer 1.
    engine::ExprValue converted = result;
    converted.FieldType = wanted.FieldType;
    converted.SubType = wanted.SubType;
    converted.Size = wanted.Size;
    converted.Scale = wanted.Scale;
    if (!engine::ConvertExprValue(result, converted)) return result;
    engine::ExprValue back = result;
    if (!engine::ConvertExprValue(converted, back) || back.Bytes != result.Bytes) return result;
    return converted;
}

NodePtr TDataQuery::RewriteForFilter(const TExprNode& node) {
    NodePtr copy = engine::CopyExprNode(node);
    NodePtr left = node.Left ? RewriteForFilter(*node.Left) : nullptr;
    if (IsComparison(&node) && IsConstantSide(node.Right.get())) {
        const TExprNode& constant = *node.Right;
        const std::string_view text = constant.Value.GetText();
        if ((node.Operator == engine::opEqual || node.Operator == engine::opNotEqual) &&
            IsStringConstant(&constant) && !text.empty() && text.back() == '*') {
            // 'abc*' asks for the values beginning with abc; '*' alone compares the whole value.
            const std::size_t partial = text.size() - 1;
            return PrefixCompare(std::move(copy), std::move(left), constant, partial, partial + 1);
        }
        copy->Left = std::move(left);
        copy->Right = EvaluateToConstant(*node.Left, constant);
        Adopt(*copy);
        return copy;
    }
    if (node.NodeClass == engine::ncPredicate &&
        (node.Operator == engine::opLike || node.Operator == engine::opNotLike) &&
        IsStringConstant(node.Right.get())) {
        const std::string_view pattern = node.Right->Value.GetText();
        if (IsPrefixPattern(pattern)) {
            copy->Operator = node.Operator == engine::opLike ? engine::opEqual : engine::opNotEqual;
            return PrefixCompare(std::move(copy), std::move(left), *node.Right, pattern.size() - 1,
                                 pattern.size());
        }
    }
    copy->Left = std::move(left);
    if (node.Right) copy->Right = RewriteForFilter(*node.Right);
    const bool listed = node.NodeClass == engine::ncPredicate && node.Left &&
                        (node.Operator == engine::opIn || node.Operator == engine::opNotIn ||
                         node.Operator == engine::opBetween || node.Operator == engine::opNotBetween);
    for (const auto& item : node.Items)
        copy->Items.push_back(listed ? EvaluateToConstant(*node.Left, *item)
                                     : engine::CopyExprTree(item.get()));
    Adopt(*copy);
    return copy;
}

bool TDataQuery::PushFilterToSource(NodePtr& slot, TSourceDataFile& table) {
    NodePtr filter = RewriteForFilter(*slot);
    engine::TDataFile& file = *table.Table;
    // A copied single-table result reads every record anyway: a condition no index serves is cheaper
    // evaluated on each row than built into a filter first.
    if (!LiveResult && !HasJoin && !(Grouped && AllAggregates) &&
        engine::AnalyseOptimization(file.IndexFile(), engine::opNone, filter.get(), true) ==
            engine::OptByRecords) {
        AddResidualCondition(std::move(filter));
        slot.reset();
        return false;
    }
    engine::TFilter* handle = nullptr;
    std::uint16_t code = file.AddFilter(nullptr, {}, handle, false, nullptr, true, filter.release());
    if (code == 0) code = file.ActivateFilter(handle);
    if (code != 0) engine::RaiseEngineError(code, file.TableFileName());
    return true;
}

bool TDataQuery::SplitWhere(NodePtr& slot) {
    TExprNode& node = *slot;
    if (node.NodeClass == engine::ncBinary && node.Operator == engine::opAnd) {
        const bool leftGone = SplitWhere(node.Left);
        const bool rightGone = SplitWhere(node.Right);
        TExprNode* parent = node.Parent;
        if (leftGone && rightGone) {
            slot.reset();
            return true;
        }
        NodePtr keep;
        if (leftGone)
            keep = std::move(node.Right);
        else if (rightGone)
            keep = std::move(node.Left);
        if (keep) {
            keep->Parent = parent;
            slot = std::move(keep);
        }
        return false;
    }
    TSourceDataFile* table = nullptr;
    if (SingleTableOfExpr(*this, &node, table)) {
        // Naming several tables, it holds only on the joined row.
        AddResidualCondition(std::move(slot));
        return true;
    }
    if (table == nullptr) table = Sources.front().get();
    return !PushFilterToSource(slot, *table);
}

void TDataQuery::ApplyWhereToSources() {
    ResidualCondition = engine::CopyExprTree(BoundResidual.get());
    HasResidual = static_cast<bool>(ResidualCondition);
    RunWhereCondition = engine::CopyExprTree(WhereCondition.get());
    if (RunWhereCondition && SplitWhere(RunWhereCondition)) RunWhereCondition.reset();
    HasWhere = static_cast<bool>(RunWhereCondition);
}

void TDataQuery::CloseAllSourceFilters() {
    // Link handles first: once a table drops all its filters, no handle may point at one.
    for (const auto& source : Sources)
        for (const auto& link : source->Links) link->ClearFilter();
    for (const auto& source : Sources) {
        const std::uint16_t code = source->Table->DropFilter(nullptr);
        if (code != 0) engine::RaiseEngineError(code, source->Table->TableFileName());
    }
}

}  // namespace sql
