#include "sql/TypeChecker.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "rtl/Format.h"
#include "sql/SqlMessages.h"
#include "sql/TypeRules.h"

namespace sql {

using engine::TExprNode;
using NodePtr = std::unique_ptr<TExprNode>;

namespace {

// A string value's Size counts its terminator: the evaluator makes strings of at most MaxExprTextLength
// characters.
constexpr int kMaxStringSize = static_cast<int>(engine::MaxExprTextLength) + 1;
constexpr std::uint8_t kBooleanSize = 2;    // a u16 truth value
constexpr std::uint8_t kIntegerSize = 4;    // an i32
constexpr std::uint8_t kCharacterSize = 2;  // one character and the terminator

std::uint8_t TypeOf(const TExprNode* node) noexcept {
    return node != nullptr ? node->Value.FieldType : engine::FieldTypeNone;
}

std::string_view TextOf(const TExprNode* node) noexcept {
    return node != nullptr ? std::string_view(node->Text) : std::string_view();
}

bool IsConstant(const TExprNode* node) noexcept {
    return node != nullptr && node->NodeClass == engine::ncConstant;
}

// What the type-mismatch message calls an operand.
std::string_view KindOf(const TExprNode* node) noexcept {
    if (node == nullptr) return {};
    switch (node->NodeClass) {
        case engine::ncUnary:
        case engine::ncBinary:
            return "expression";
        case engine::ncField:
            return "column";
        case engine::ncFunction:
            return "function";
        case engine::ncConstant:
            return "constant";
        default:
            return {};
    }
}

std::string_view PredicateName(engine::ExprOperator op) noexcept {
    switch (op) {
        case engine::opLike:
            return "LIKE";
        case engine::opNotLike:
            return "NOT LIKE";
        case engine::opBetween:
            return "BETWEEN";
        case engine::opNotBetween:
            return "NOT BETWEEN";
        case engine::opIn:
            return "IN";
        case engine::opNotIn:
            return "NOT IN";
        default:
            return {};
    }
}

std::string_view AggregateName(engine::ExprOperator op) noexcept {
    switch (op) {
        case engine::opSum:
            return "SUM";
        case engine::opCount:
            return "COUNT";
        case engine::opMin:
            return "MIN";
        case engine::opMax:
            return "MAX";
        case engine::opAvg:
            return "AVG";
        default:
            return {};
    }
}

bool IsTrim(engine::ExprOperator op) noexcept {
    return op == engine::opTrimLeading || op == engine::opTrimTrailing || op == engine::opTrimBoth;
}

bool IsExtract(engine::ExprOperator op) noexcept {
    return op == engine::opExtractYear || op == engine::opExtractMonth || op == engine::opExtractDay;
}

std::uint8_t ClampedSize(int size) noexcept {
    return static_cast<std::uint8_t>(std::clamp(size, 1, kMaxStringSize));
}

void SetTypeFields(TExprNode& node, std::uint8_t type, std::uint8_t subType, std::uint8_t size,
                   std::uint8_t scale) noexcept {
    node.Value.FieldType = type;
    node.Value.SubType = subType;
    node.Value.Size = size;
    node.Value.Scale = scale;
}

// One run of CheckExprTypes.
class TypeChecker {
public:
    TypeChecker(std::int32_t errorCode, std::string_view context, const TColumnResolver& resolveColumn,
                RowAccess access, ParamTyping params, const TExprNode& root)
        : errorCode_(errorCode),
          context_(context),
          resolveColumn_(resolveColumn),
          access_(access),
          params_(params),
          root_(root) {}

    // The types lent to open operands were for this run only: the tree keeps no type its values did not give.
    ~TypeChecker() {
        for (auto lent = lent_.rbegin(); lent != lent_.rend(); ++lent) {
            SetTypeFields(*lent->node, lent->fieldType, lent->subType, lent->size, lent->scale);
        }
    }

    TypeChecker(const TypeChecker&) = delete;
    TypeChecker& operator=(const TypeChecker&) = delete;

    // The node's quoted text resolved, then the node checked by its class.
    void Check(TExprNode& node, int depth) {
        ResolveQuotedName(node);
        CheckResolved(node, depth);
    }

private:
    // Every pattern ends with the context's slot.
    template <class... Args>
    [[noreturn]] void Fail(std::string_view pattern, const Args&... args) const {
        engine::RaiseEngineError(errorCode_, {}, {}, {},
                                 rtl::Format(pattern, {std::string_view(args)..., context_}));
    }

    bool Resolve(TExprNode& column) const { return resolveColumn_ && resolveColumn_(column); }

    // Under ParamTyping::Deferred: a parameter that has no value yet, or a node whose type rests on one.
    // Its type is unknown until the values are set, so no rule can refuse it yet.
    bool IsOpen(const TExprNode* node) const {
        if (params_ != ParamTyping::Deferred || node == nullptr ||
            node->Value.FieldType != engine::FieldTypeNone)
            return false;
        if (node->NodeClass == engine::ncConstant && node->IsParam != 0) return true;
        return std::find(open_.begin(), open_.end(), node) != open_.end();
    }

    void MarkOpen(TExprNode& node) {
        SetTypeFields(node, engine::FieldTypeNone, 0, 0, 0);
        open_.push_back(&node);
    }

    // An open operand checked as if it had the other operand's type, until the run ends.
    void Lend(TExprNode& open, const TExprNode& typed) {
        const engine::ExprValue& own = open.Value;
        lent_.push_back({&open, own.FieldType, own.SubType, own.Size, own.Scale});
        const engine::ExprValue& other = typed.Value;
        SetTypeFields(open, other.FieldType, other.SubType, other.Size, other.Scale);
    }

    // Text in double quotes that names a column becomes that column; text in single quotes never does.
    void ResolveQuotedName(TExprNode& node) {
        if (node.NodeClass != engine::ncConstant || node.Value.FieldType != engine::FieldTypeString ||
            node.IsParam != 0 || node.Quote != '"') {
            return;
        }
        node.ColumnName = std::string(node.Value.GetText());
        if (node.ColumnName.empty()) return;
        node.SavedFieldType = node.Value.FieldType;
        node.SavedSubType = node.Value.SubType;
        node.SavedSize = node.Value.Size;
        node.SavedScale = node.Value.Scale;
        if (!Resolve(node)) {
            node.ColumnName.clear();
            return;
        }
        node.NodeClass = engine::ncField;
        node.FromString = 1;
        if (access_ == RowAccess::NoRecord) Fail(kColumnWithoutRecord, node.Text);
    }

    void CheckResolved(TExprNode& node, int depth) {
        if (depth > engine::MaxExprDepth) Fail(kExpressionTooComplex);
        switch (node.NodeClass) {
            case engine::ncBinary:
                return CheckBinary(node, depth);
            case engine::ncUnary:
                return CheckUnary(node, depth);
            case engine::ncPredicate:
                return CheckPredicate(node, depth);
            case engine::ncFunction:
                return CheckFunction(node, depth);
            case engine::ncField:
                return CheckColumn(node);
            default:
                return;  // constants and filter string comparisons carry their types already
        }
    }

    // A missing operand is a fault of the tree's builder; it is refused like an operand of no type.
    void CheckOperand(TExprNode* operand, int depth) {
        if (operand != nullptr) Check(*operand, depth + 1);
    }

    void CheckColumn(TExprNode& node) {
        if (node.ColumnName == "*") return;
        if (!Resolve(node)) Fail(kUnknownColumnReference, node.ColumnName, node.Correlation);
        if (access_ == RowAccess::NoRecord) Fail(kColumnWithoutRecord, node.Text);
    }

    // A date, time or date-time text read into the moment type's stored value; the text node takes that
    // type. Only a constant has a text to read.
    void ConvertMomentText(TExprNode& text, const TExprNode& moment) {
        if (!IsConstant(&text) || !engine::TextToDateTimeValue(text.Value.Bytes, moment.Value.FieldType))
            Fail(kDateTextExpected, text.Text);
        text.Value.FieldType = moment.Value.FieldType;
        text.Value.Size = moment.Value.Size;
        text.Value.Scale = moment.Value.Scale;
    }

    // A boolean column or function standing as an operand of NOT, AND or OR is compared with TRUE, so that
    // every condition the planner and evaluator meet there is a comparison.
    void CompareWithTrue(NodePtr& operand) {
        const bool boolean = operand->Value.FieldType == engine::FieldTypeBoolean;
        const bool columnOrFunction =
            operand->NodeClass == engine::ncField || operand->NodeClass == engine::ncFunction;
        if (!boolean || !columnOrFunction) return;
        operand = MakeTrueComparison(std::move(operand));
        TypeBinaryResult(*operand);
    }

    void CheckBinary(TExprNode& node, int depth) {
        if (!node.Left || !node.Right) {
            Fail(kBinaryTypeMismatch, KindOf(node.Left.get()), TextOf(node.Left.get()),
                 KindOf(node.Right.get()), TextOf(node.Right.get()));
        }
        TExprNode& left = *node.Left;
        TExprNode& right = *node.Right;
        Check(left, depth + 1);
        Check(right, depth + 1);
        const bool leftOpen = IsOpen(&left);
        const bool rightOpen = IsOpen(&right);
        if (leftOpen && rightOpen) return MarkOpen(node);
        if (leftOpen) Lend(left, right);
        if (rightOpen) Lend(right, left);
        if (IsConstant(&left) || IsConstant(&right)) {
            if (IsMomentType(left.Value.FieldType) && right.Value.FieldType == engine::FieldTypeString) {
                ConvertMomentText(right, left);
            } else if (IsMomentType(right.Value.FieldType) &&
                       left.Value.FieldType == engine::FieldTypeString) {
                ConvertMomentText(left, right);
            }
        }
        if (!BinaryOperandTypesValid(node.Operator, left.Value.FieldType, right.Value.FieldType))
            Fail(kBinaryTypeMismatch, KindOf(&left), left.Text, KindOf(&right), right.Text);
        if (node.Operator == engine::opAnd || node.Operator == engine::opOr) {
            CompareWithTrue(node.Left);
            CompareWithTrue(node.Right);
        }
        TypeBinaryResult(node);
    }

    // The result fields of a binary node whose operands are checked and valid for its operator.
    static void TypeBinaryResult(TExprNode& node) {
        const engine::ExprValue& left = node.Left->Value;
        const engine::ExprValue& right = node.Right->Value;
        const std::uint8_t subType =
            BinaryResultSubType(node.Operator, left.FieldType, left.SubType, right.FieldType, right.SubType);
        if (node.Operator == engine::opAdd && left.FieldType == engine::FieldTypeString &&
            right.FieldType == engine::FieldTypeString) {
            // The two lengths and one terminator, in int: two long strings would wrap a byte.
            const std::uint8_t size = ClampedSize((left.Size - 1) + (right.Size - 1) + 1);
            return SetTypeFields(node, engine::FieldTypeString, subType, size, 0);
        }
        SetTypeFields(node, BinaryResultType(node.Operator, left.FieldType, right.FieldType), subType,
                      std::max(left.Size, right.Size), std::max(left.Scale, right.Scale));
    }

    void CheckUnary(TExprNode& node, int depth) {
        if (!node.Left) Fail(kUnaryTypeMismatch, node.Text, "");
        Check(*node.Left, depth + 1);
        if (IsOpen(node.Left.get())) return MarkOpen(node);
        const engine::ExprValue& operand = node.Left->Value;
        if (!UnaryOperandTypeValid(node.Operator, operand.FieldType))
            Fail(kUnaryTypeMismatch, node.Text, node.Left->Text);
        CompareWithTrue(node.Left);
        const engine::ExprValue& typed = node.Left->Value;
        SetTypeFields(node, UnaryResultType(node.Operator, typed.FieldType),
                      UnaryResultSubType(node.Operator, typed.FieldType, typed.SubType), typed.Size,
                      typed.Scale);
    }

    void CheckPredicate(TExprNode& node, int depth) {
        const std::string_view name = PredicateName(node.Operator);
        if (name.empty()) return;  // no predicate the parser builds
        CheckOperand(node.Left.get(), depth);
        const TExprNode* const tested = node.Left.get();
        if (node.Operator == engine::opLike || node.Operator == engine::opNotLike) {
            if (TypeOf(tested) != engine::FieldTypeString && !IsOpen(tested))
                Fail(kPredicateTypeMismatch, name, TextOf(tested));
            TExprNode* const pattern = node.Right.get();
            ResolveItem(pattern);
            if (!IsConstant(pattern)) Fail(kPredicateConstantExpected, name, TextOf(pattern));
            CheckResolved(*pattern, depth + 1);
            if (pattern->Value.FieldType != engine::FieldTypeString && !IsOpen(pattern))
                Fail(kPredicateTypeMismatch, name, pattern->Text);
        } else {
            // BETWEEN's two bounds or IN's items: every text read as a moment first, then each one tested.
            if (IsMomentType(TypeOf(tested))) {
                for (const NodePtr& item : node.Items) {
                    if (TypeOf(item.get()) == engine::FieldTypeString) ConvertMomentText(*item, *tested);
                }
            }
            for (const NodePtr& item : node.Items) {
                ResolveItem(item.get());
                const bool constant = IsConstant(item.get()) || (item && item->NodeClass == engine::ncUnary &&
                                                                 IsConstant(item->Left.get()));
                if (!constant) Fail(kPredicateConstantExpected, name, TextOf(item.get()));
                CheckResolved(*item, depth + 1);
                if (!IsOpen(tested) && !IsOpen(item.get()) &&
                    !BinaryOperandTypesValid(engine::opEqual, TypeOf(tested), item->Value.FieldType))
                    Fail(kPredicateTypeMismatch, name, item->Text);
            }
        }
        SetTypeFields(node, engine::FieldTypeBoolean, node.Value.SubType, kBooleanSize, 0);
    }

    // An item that must be a constant (or a signed one) has its double-quoted text resolved before the
    // test, so that a text naming a column fails it.
    void ResolveItem(TExprNode* item) {
        if (item == nullptr) return;
        ResolveQuotedName(*item);
        if (item->NodeClass == engine::ncUnary && item->Left) ResolveQuotedName(*item->Left);
    }

    void CheckFunction(TExprNode& node, int depth) {
        const engine::ExprOperator op = node.Operator;
        const std::string_view aggregate = AggregateName(op);
        if (!aggregate.empty() && &node != &root_) Fail(kNestedAggregate, aggregate);
        CheckOperand(node.Left.get(), depth);
        const TExprNode* const argument = node.Left.get();
        if (op != engine::opCount && IsOpen(argument)) return MarkOpen(node);
        const std::uint8_t type = TypeOf(argument);
        if (op == engine::opCount) {
            SetTypeFields(node, engine::FieldTypeInteger, 0, kIntegerSize, 0);
        } else if (!aggregate.empty()) {
            static constexpr std::uint8_t kAggregable[] = {2, 5, 6, 7, 8, 10, 11, 12};
            if (std::find(std::begin(kAggregable), std::end(kAggregable), type) == std::end(kAggregable))
                Fail(kAggregateArgumentType, aggregate);
            const engine::ExprValue& value = argument->Value;
            SetTypeFields(node, value.FieldType, value.SubType, value.Size, value.Scale);
        } else if (op == engine::opUpper || op == engine::opLower) {
            if (type != engine::FieldTypeString)
                Fail(kCaseFunctionArgumentType, op == engine::opUpper ? "UPPER" : "LOWER");
            SetTypeFields(node, engine::FieldTypeString, node.Value.SubType, argument->Value.Size, 0);
        } else if (op == engine::opSubstring) {
            if (type != engine::FieldTypeString) Fail(kSubstringArgumentType);
            const int start = PositionConstant(node.Items.empty() ? nullptr : node.Items[0].get(),
                                               kSubstringFromConstant, kSubstringFromRange);
            // Without FOR, the characters from the start to the end; none when the start lies past the end.
            int length = argument->Value.Size - start;
            if (node.Items.size() > 1)
                length = PositionConstant(node.Items[1].get(), kSubstringForConstant, kSubstringForRange);
            SetTypeFields(node, engine::FieldTypeString, node.Value.SubType,
                          ClampedSize(std::max(length, 0) + 1), 0);
        } else if (IsTrim(op)) {
            if (type != engine::FieldTypeString) Fail(kTrimArgumentType);
            const TExprNode* const character = node.Right.get();
            if (!IsConstant(character) || character->Value.FieldType != engine::FieldTypeString ||
                character->Value.Size != kCharacterSize) {
                Fail(kTrimCharacterConstant);
            }
            SetTypeFields(node, engine::FieldTypeString, node.Value.SubType, argument->Value.Size, 0);
        } else if (IsExtract(op)) {
            if (type != engine::FieldTypeDate && type != engine::FieldTypeDateTime)
                Fail(kExtractArgumentType);
            SetTypeFields(node, engine::FieldTypeInteger, node.Value.SubType, kIntegerSize, 0);
        }
    }

    // SUBSTRING's start or length: an integer constant from 1 to MaxSubstringPosition.
    int PositionConstant(const TExprNode* node, std::string_view notConstant,
                         std::string_view outOfRange) const {
        if (!IsConstant(node) || node->Value.FieldType != engine::FieldTypeInteger) Fail(notConstant);
        const std::int32_t value = node->Value.GetInt32();
        if (value < 1 || value > MaxSubstringPosition) Fail(outOfRange, std::to_string(MaxSubstringPosition));
        return value;
    }

    std::int32_t errorCode_;
    std::string_view context_;
    const TColumnResolver& resolveColumn_;
    RowAccess access_;
    ParamTyping params_;
    const TExprNode& root_;
    std::vector<const TExprNode*> open_;  // the open nodes that are no parameters
    struct LentType {
        TExprNode* node;
        std::uint8_t fieldType, subType, size, scale;
    };
    std::vector<LentType> lent_;  // in the order lent, each with the type fields it had before
};

}  // namespace

void CheckExprTypes(std::int32_t errorCode, std::string_view context, TExprNode& node,
                    const TColumnResolver& resolveColumn, RowAccess access, ParamTyping params) {
    TypeChecker(errorCode, context, resolveColumn, access, params, node).Check(node, 1);
}

NodePtr MakeTrueComparison(NodePtr operand) {
    auto comparison = std::make_unique<TExprNode>();
    comparison->Text.assign(1, '=');  // a literal's assign draws GCC 12's false -Wrestrict from libstdc++
    comparison->NodeClass = engine::ncBinary;
    comparison->Operator = engine::opEqual;
    comparison->Value.FieldType = engine::FieldTypeBoolean;
    auto truth = std::make_unique<TExprNode>();
    truth->Text = "True";
    truth->NodeClass = engine::ncConstant;
    truth->Value.FieldType = engine::FieldTypeBoolean;
    truth->Value.Size = kBooleanSize;
    truth->Value.SetUInt16(1);
    truth->Parent = comparison.get();
    if (operand) {
        // The rewrite stays in the clause its operand came from, so the planner still tells an ON part
        // from a WHERE part by it.
        comparison->ClausePosition = operand->ClausePosition;
        truth->ClausePosition = operand->ClausePosition;
        comparison->Parent = operand->Parent;
        operand->Parent = comparison.get();
    }
    comparison->Left = std::move(operand);
    comparison->Right = std::move(truth);
    return comparison;
}

}  // namespace sql
