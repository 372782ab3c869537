// The optimiser's ratings and serving rules (Optimiser.h), and TFilter::EvaluateNode (Filter.h), which walks
// a condition marking what the indexes answer and evaluating the rest record by record.
#include "engine/table/Optimiser.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/expr/ExprOperators.h"
#include "engine/index/BuildIndex.h"
#include "engine/index/IndexFile.h"
#include "engine/index/KeyInterval.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/values/FieldTypes.h"

namespace engine {

namespace {

bool IsOrderComparison(ExprOperator op) noexcept {
    return op == opGreater || op == opLess || op == opGreaterEqual || op == opLessEqual;
}

// Types whose keys sort by value: a value comparison on any other is answered record by record.
bool HasOrderedKey(std::uint8_t fieldType) noexcept {
    switch (fieldType) {
        case FieldTypeString:
        case FieldTypeDate:
        case FieldTypeBoolean:
        case FieldTypeSmallInt:
        case FieldTypeInteger:
        case FieldTypeFloat:
        case FieldTypeBcd:
        case FieldTypeTime:
        case FieldTypeDateTime:
        case FieldTypeWord:
            return true;
        default:
            return false;
    }
}

// The constants a node compares its column with: Right, or the items its predicate reads.
std::vector<const TExprNode*> Constants(const TExprNode& node) {
    std::vector<const TExprNode*> constants;
    if (node.NodeClass == ncPredicate) {
        const std::size_t used =
            node.Operator == opBetween || node.Operator == opNotBetween ? 2 : node.Items.size();
        for (std::size_t i = 0; i < used && i < node.Items.size(); ++i)
            constants.push_back(node.Items[i].get());
    } else if (node.Right) {
        constants.push_back(node.Right.get());
    }
    return constants;
}

// Whether the constant gives the same records through the column's key as the evaluator does.
bool ServableConstant(const TIndexFile& file, const TExprNode& node, const TExprNode& constant,
                      const TServedComparison& served, bool upperCaseSensitive) {
    if (constant.NodeClass != ncConstant) return false;
    const ExprValue& value = constant.Value;
    const ExprOperator op = node.Operator;
    if (value.IsNull != 0) {
        // = NULL, <> NULL and a null IN item are IS [NOT] NULL; anything else with null holds for no record.
        return op == opEqual || op == opNotEqual || op == opIn || op == opNotIn;
    }
    const TFieldDesc& field = *served.Field;
    if (value.FieldType != field.FieldType) return false;
    if (field.FieldType == FieldTypeBcd && value.Scale != field.Scale) return false;
    if (field.FieldType != FieldTypeString) return true;
    const std::string_view text = value.GetText();
    const std::size_t characters = field.StoredSize - 1u;
    const std::size_t compared =
        served.PartialLength != 0 ? std::min<std::size_t>(text.size(), served.PartialLength) : text.size();
    if (compared > characters) return false;
    if (upperCaseSensitive) {
        const IndexFileOwner& owner = file.Owner();
        const Collation& collation = ExprCollation(owner.GetLanguageId(), owner.GetSortId());
        if (collation.ChangeCase(text, LetterCase::Upper) != text) return false;
    }
    return true;
}

// The constant a comparison's selectivity is counted with: Right, or the first item.
const TExprNode* CountedConstant(const TExprNode& node) noexcept {
    if (node.NodeClass == ncPredicate) return node.Items.empty() ? nullptr : node.Items[0].get();
    return node.Right.get();
}

std::uint8_t RateComparison(TIndexFile& file, ExprOperator parentOperator, const TExprNode& node,
                            bool selectivity) {
    const std::optional<TServedComparison> served = ServedComparison(file, node);
    if (!served) return OptByRecords;
    if (!file.SelectIndexForField(served->Column->FieldNo, served->CaseInsensitive, served->AnyCase))
        return OptByRecords;
    // A comparison at the root of a condition keeps its index whatever it holds.
    if (!selectivity || parentOperator == opNone) return OptIndexed;
    bool changed = false;
    const std::uint64_t count = CountKeysForComparison(file, node.Operator, *served->Column,
                                                       served->PartialLength, CountedConstant(node), changed);
    // Record by record is always right, and the change check has dropped the stale caches already.
    if (changed) return OptByRecords;
    // Trunc(total x 0.9), exactly, for every count up to 200,000,000 and beyond.
    const std::uint64_t total = file.GetRecordCount();
    return total * 9 / 10 >= count ? OptIndexed : OptByRecords;
}

}  // namespace

std::uint8_t CombineOptimizationLevels(std::uint8_t a, std::uint8_t b) noexcept {
    if (a == OptIndexed && b == OptIndexed) return OptIndexed;
    if (a == OptByRecords && b == OptByRecords) return OptByRecords;
    return OptPartly;
}

bool IsUpperOfColumn(const TExprNode* node) noexcept {
    return node != nullptr && node->NodeClass == ncFunction && node->Operator == opUpper && node->Left &&
           node->Left->NodeClass == ncField;
}

std::optional<TServedComparison> ServedComparison(const TIndexFile& file, const TExprNode& node) {
    const ExprOperator op = node.Operator;
    const bool nullTest = node.NodeClass == ncUnary && (op == opIsNull || op == opIsNotNull);
    const bool comparison = node.NodeClass == ncBinary && op >= opEqual && op <= opLessEqual;
    const bool stringCompare = node.NodeClass == ncCompare && (op == opEqual || op == opNotEqual);
    const bool predicate = node.NodeClass == ncPredicate &&
                           (op == opIn || op == opNotIn || op == opBetween || op == opNotBetween);
    if (!nullTest && !comparison && !stringCompare && !predicate) return std::nullopt;
    if (!node.Left) return std::nullopt;
    const bool upper = !nullTest && IsUpperOfColumn(node.Left.get());
    if (node.Left->NodeClass != ncField && !upper) return std::nullopt;
    TServedComparison served;
    served.Column = upper ? node.Left->Left.get() : node.Left.get();
    served.Field = ColumnField(file, *served.Column);
    if (served.Field == nullptr) return std::nullopt;
    if (nullTest) {
        served.AnyCase = true;
        return served;
    }
    const std::uint8_t type = served.Field->FieldType;
    if (!HasOrderedKey(type)) return std::nullopt;
    if (type == FieldTypeBoolean && (IsOrderComparison(op) || op == opBetween || op == opNotBetween))
        return std::nullopt;
    if ((upper || stringCompare) && type != FieldTypeString) return std::nullopt;
    bool upperCaseSensitive = upper;
    if (stringCompare) {
        served.PartialLength = node.PartialLen;
        if (served.PartialLength > served.Field->StoredSize - 1u) return std::nullopt;
        if (node.CaseInsensitive != 0) upperCaseSensitive = false;
        served.CaseInsensitive = upper || node.CaseInsensitive != 0;
    } else {
        served.CaseInsensitive = upper;
    }
    if (predicate && node.Items.size() < (op == opIn || op == opNotIn ? 1u : 2u)) return std::nullopt;
    if (!predicate && !node.Right) return std::nullopt;
    for (const TExprNode* constant : Constants(node)) {
        if (!ServableConstant(file, node, *constant, served, upperCaseSensitive)) return std::nullopt;
    }
    return served;
}

namespace {

// The comparisons whose records are exactly one interval of an index's keys.
bool OneInterval(const TExprNode& node) noexcept {
    const ExprOperator op = node.Operator;
    switch (node.NodeClass) {
        case ncBinary:
            return op == opEqual || IsOrderComparison(op);
        case ncUnary:
            return op == opIsNull || op == opIsNotNull;
        case ncCompare:
            return op == opEqual;
        default:
            return false;
    }
}

bool IsIndexedOrderComparison(const TExprNode* node) noexcept {
    return node != nullptr && node->NodeClass == ncBinary && IsOrderComparison(node->Operator) &&
           node->OptLevel == OptIndexed && node->Right;
}

// The keys of the current index that satisfy both comparisons of the field with constants, when one bounds
// it from below and the other from above; none when both bound the same side.
std::optional<TKeyInterval> BothBounds(const TIndexFile& file, const TFieldDesc& field, ExprOperator firstOp,
                                       const ExprValue& first, ExprOperator secondOp,
                                       const ExprValue& second) {
    TKeyInterval both;
    if (!IntersectBounds(BuildComparisonKeys(file, firstOp, field, 0, &first).Interval,
                         BuildComparisonKeys(file, secondOp, field, 0, &second).Interval, both))
        return std::nullopt;
    return both;
}

}  // namespace

std::optional<TKeyInterval> IndexedInterval(TIndexFile& file, const TExprNode& node) {
    if (node.OptLevel != OptIndexed) return std::nullopt;
    if (node.NodeClass == ncBinary && node.Operator == opAnd) {
        const TExprNode* left = node.Left.get();
        const TExprNode* right = node.Right.get();
        if (!IsIndexedOrderComparison(left) || !IsIndexedOrderComparison(right)) return std::nullopt;
        const std::optional<TServedComparison> first = ServedComparison(file, *left);
        const std::optional<TServedComparison> second = ServedComparison(file, *right);
        if (!first || !second || first->Column->FieldNo != second->Column->FieldNo ||
            first->CaseInsensitive != second->CaseInsensitive ||
            !file.SelectIndexForField(first->Column->FieldNo, first->CaseInsensitive, false))
            return std::nullopt;
        return BothBounds(file, *first->Field, left->Operator, left->Right->Value, right->Operator,
                          right->Right->Value);
    }
    if (!OneInterval(node)) return std::nullopt;
    const std::optional<TServedComparison> served = ServedComparison(file, node);
    if (!served ||
        !file.SelectIndexForField(served->Column->FieldNo, served->CaseInsensitive, served->AnyCase))
        return std::nullopt;
    const TExprNode* constant = node.NodeClass == ncUnary ? nullptr : node.Right.get();
    return BuildComparisonKeys(file, node.Operator, *served->Field, served->PartialLength,
                               constant != nullptr ? &constant->Value : nullptr)
        .Interval;
}

std::uint8_t AnalyseOptimization(TIndexFile& file, ExprOperator parentOperator, TExprNode* node,
                                 bool selectivity) {
    if (node == nullptr) return OptByRecords;
    const TBuildIndex keep(file);
    std::uint8_t level = OptByRecords;
    const ExprOperator op = node->Operator;
    if (node->NodeClass == ncUnary && op == opNot) {
        level = AnalyseOptimization(file, opNot, node->Left.get(), selectivity);
    } else if (node->NodeClass == ncUnary && (op == opNegate || op == opPlus)) {
        // The sign of a truth value is not a truth value the record path knows: record by record.
        AnalyseOptimization(file, op, node->Left.get(), selectivity);
    } else if (node->NodeClass == ncBinary && (op == opAnd || op == opOr)) {
        const std::uint8_t left = AnalyseOptimization(file, op, node->Left.get(), selectivity);
        const std::uint8_t right = AnalyseOptimization(file, op, node->Right.get(), selectivity);
        if (!node->Left || !node->Right) {
            level = OptByRecords;
        } else if (op == opOr) {
            level = left == OptIndexed && right == OptIndexed ? OptIndexed : OptByRecords;
        } else {
            level = CombineOptimizationLevels(left, right);
            if ((left == OptByRecords && right < OptByRecords) || (left == OptPartly && right == OptIndexed))
                std::swap(node->Left, node->Right);
        }
    } else {
        level = RateComparison(file, parentOperator, *node, selectivity);
    }
    node->OptLevel = level;
    return level;
}

// ---- Evaluation ----

namespace {

using Bits = std::vector<std::uint8_t>;

Bits Copy(std::span<const std::uint8_t> bitmap) {
    return Bits(bitmap.begin(), bitmap.end());
}

void Invert(std::span<std::uint8_t> bitmap, std::uint32_t highest) noexcept {
    const std::int64_t size = static_cast<std::int64_t>(bitmap.size());
    BitmapNot(bitmap.data(), bitmap.data(), size);
    BitmapClearAbove(highest, bitmap.data(), size);
}

}  // namespace

std::uint8_t TFilter::EvaluateNode(std::span<std::uint8_t> bitmap, bool& changed, ExprOperator parentOperator,
                                   TExprNode* node) {
    if (bitmap.empty() || node == nullptr) return OptByRecords;
    TIndexFile& file = owner_.IndexFile();
    const std::uint32_t highest = file.PhysicalRecordCount();
    const std::int64_t size = static_cast<std::int64_t>(bitmap.size());
    const auto byRecords = [&](ExprOperator op) {
        EvaluateByRecords(bitmap, changed, op, node);
        return OptByRecords;
    };
    const ExprOperator op = node->Operator;
    if (node->NodeClass == ncUnary && op == opNot) {
        if (node->OptLevel == OptByRecords || !node->Left) return byRecords(opNot);
        Bits operand = Copy(bitmap);
        const std::uint8_t level = EvaluateNode(operand, changed, opNot, node->Left.get());
        if (changed) return level;
        std::copy(operand.begin(), operand.end(), bitmap.begin());
        Invert(bitmap, highest);
        return level;
    }
    if (node->NodeClass == ncUnary && (op == opNegate || op == opPlus)) return byRecords(op);
    if (node->NodeClass == ncBinary && op == opAnd) {
        if (node->OptLevel == OptByRecords || !node->Left || !node->Right) return byRecords(opAnd);
        if ((node->Left->OptLevel == OptByRecords && node->Right->OptLevel < OptByRecords) ||
            (node->Left->OptLevel == OptPartly && node->Right->OptLevel == OptIndexed))
            std::swap(node->Left, node->Right);
        if (node->OptLevel == OptIndexed && node->Left->NodeClass == ncBinary &&
            node->Right->NodeClass == ncBinary) {
            // Two bounds of one column: the keys between them walked once, rather than each bound's side,
            // most of the table for a narrow range.
            const TBuildIndex keep(file);
            if (const std::optional<TKeyInterval> range = IndexedInterval(file, *node)) {
                Bits marked(bitmap.size(), 0);
                MarkSmallerSide(file, *range, changed, marked, highest);
                if (!changed) BitmapAnd(marked.data(), bitmap.data(), size);
                return OptIndexed;
            }
        }
        Bits left = Copy(bitmap);
        const std::uint8_t l = EvaluateNode(left, changed, opAnd, node->Left.get());
        if (changed) return l;
        // A marked operand holds the whole table's records: the right operand reads only the candidates.
        BitmapAnd(bitmap.data(), left.data(), size);
        Bits right = left;
        const std::uint8_t r = EvaluateNode(right, changed, opAnd, node->Right.get());
        if (changed) return r;
        BitmapAnd(left.data(), right.data(), size);
        std::copy(right.begin(), right.end(), bitmap.begin());
        return CombineOptimizationLevels(l, r);
    }
    if (node->NodeClass == ncBinary && op == opOr) {
        if (node->OptLevel != OptIndexed || !node->Left || !node->Right) return byRecords(opOr);
        Bits left = Copy(bitmap);
        const std::uint8_t l = EvaluateNode(left, changed, opOr, node->Left.get());
        if (changed) return l;
        Bits right(bitmap.size(), 0);
        BitmapSetAll(right.data(), size);
        BitmapClearAbove(highest, right.data(), size);
        const std::uint8_t r = EvaluateNode(right, changed, opOr, node->Right.get());
        if (changed) return r;
        BitmapOr(left.data(), right.data(), size);
        std::copy(right.begin(), right.end(), bitmap.begin());
        return l == OptIndexed && r == OptIndexed ? OptIndexed : CombineOptimizationLevels(l, r);
    }
    if (node->OptLevel != OptIndexed) return byRecords(parentOperator);
    // The analysis found an index for the node; one gone since is made good record by record.
    const TBuildIndex keep(file);
    const std::optional<TServedComparison> served = ServedComparison(file, *node);
    if (!served ||
        !file.SelectIndexForField(served->Column->FieldNo, served->CaseInsensitive, served->AnyCase))
        return byRecords(parentOperator);
    const TExprNode& column = *served->Column;
    const std::uint8_t partial = served->PartialLength;
    if (node->NodeClass == ncPredicate && (op == opBetween || op == opNotBetween)) {
        // One walk between the bounds, as for an AND of the two.
        const std::optional<TKeyInterval> range = BothBounds(
            file, *served->Field, opGreaterEqual, node->Items[0]->Value, opLessEqual, node->Items[1]->Value);
        if (!range) return byRecords(parentOperator);
        MarkSmallerSide(file, *range, changed, bitmap, highest);
        if (changed) return OptIndexed;
        if (op == opNotBetween) Invert(bitmap, highest);
        return OptIndexed;
    }
    if (node->NodeClass == ncPredicate) {
        MarkComparison(file, opEqual, column, 0, node->Items[0].get(), changed, bitmap, highest);
        Bits item(bitmap.size(), 0);
        for (std::size_t i = 1; i < node->Items.size() && !changed; ++i) {
            MarkComparison(file, opEqual, column, 0, node->Items[i].get(), changed, item, highest);
            BitmapOr(item.data(), bitmap.data(), size);
        }
        if (changed) return OptIndexed;
        if (op == opNotIn) Invert(bitmap, highest);
        return OptIndexed;
    }
    const TExprNode* constant = node->NodeClass == ncUnary ? nullptr : node->Right.get();
    MarkComparison(file, op, column, partial, constant, changed, bitmap, highest);
    if (changed) return OptIndexed;
    // <> marked the constant's keys; with a null constant it was IS NOT NULL already.
    if (op == opNotEqual && constant != nullptr && constant->Value.IsNull == 0) Invert(bitmap, highest);
    return OptIndexed;
}

}  // namespace engine
