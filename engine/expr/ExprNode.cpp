#include "engine/expr/ExprNode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace engine {

namespace {

// Values are little-endian in the area whatever the machine, as in record images and filter blobs.
template <class Unsigned>
Unsigned ReadLittleEndian(const std::array<std::uint8_t, ExprValueSize>& bytes) noexcept {
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        value |= static_cast<Unsigned>(Unsigned{bytes[i]} << (8 * i));
    return value;
}

template <class Unsigned>
void WriteLittleEndian(std::array<std::uint8_t, ExprValueSize>& bytes, Unsigned value) noexcept {
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::int16_t ExprValue::GetInt16() const noexcept {
    return static_cast<std::int16_t>(ReadLittleEndian<std::uint16_t>(Bytes));
}

std::uint16_t ExprValue::GetUInt16() const noexcept {
    return ReadLittleEndian<std::uint16_t>(Bytes);
}

std::int32_t ExprValue::GetInt32() const noexcept {
    return static_cast<std::int32_t>(ReadLittleEndian<std::uint32_t>(Bytes));
}

std::uint32_t ExprValue::GetUInt32() const noexcept {
    return ReadLittleEndian<std::uint32_t>(Bytes);
}

std::int64_t ExprValue::GetInt64() const noexcept {
    return static_cast<std::int64_t>(ReadLittleEndian<std::uint64_t>(Bytes));
}

double ExprValue::GetDouble() const noexcept {
    return std::bit_cast<double>(ReadLittleEndian<std::uint64_t>(Bytes));
}

std::string_view ExprValue::GetText() const noexcept {
    const auto* const chars = reinterpret_cast<const char*>(Bytes.data());
    const void* const zero = std::memchr(chars, 0, MaxExprTextLength);
    return {chars, zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars)
                                   : MaxExprTextLength};
}

void ExprValue::SetInt16(std::int16_t value) noexcept {
    WriteLittleEndian(Bytes, static_cast<std::uint16_t>(value));
}

void ExprValue::SetUInt16(std::uint16_t value) noexcept {
    WriteLittleEndian(Bytes, value);
}

void ExprValue::SetInt32(std::int32_t value) noexcept {
    WriteLittleEndian(Bytes, static_cast<std::uint32_t>(value));
}

void ExprValue::SetUInt32(std::uint32_t value) noexcept {
    WriteLittleEndian(Bytes, value);
}

void ExprValue::SetInt64(std::int64_t value) noexcept {
    WriteLittleEndian(Bytes, static_cast<std::uint64_t>(value));
}

void ExprValue::SetDouble(double value) noexcept {
    WriteLittleEndian(Bytes, std::bit_cast<std::uint64_t>(value));
}

void ExprValue::SetTruth(bool value) noexcept {
    SetUInt16(value ? TruthTrue : 0);
}

void ExprValue::SetText(std::string_view text) noexcept {
    const std::size_t length = std::min(text.size(), MaxExprTextLength);
    // memmove: the text may be a view of this very area (a substring, a trimmed value).
    if (length > 0) std::memmove(Bytes.data(), text.data(), length);
    Bytes[length] = 0;
}

void ExprValue::SetBytes(const std::uint8_t* bytes, std::size_t count) noexcept {
    if (count > 0) std::memmove(Bytes.data(), bytes, std::min(count, ExprValueSize));
}

std::unique_ptr<TExprNode> CopyExprNode(const TExprNode& node) {
    auto copy = std::make_unique<TExprNode>();
    static_cast<ExprNodeFields&>(*copy) = node;
    return copy;
}

std::unique_ptr<TExprNode> CopyExprTree(const TExprNode* node) {
    if (node == nullptr) return nullptr;
    std::unique_ptr<TExprNode> copy = CopyExprNode(*node);
    const auto adopt = [&copy](const TExprNode* child) {
        std::unique_ptr<TExprNode> childCopy = CopyExprTree(child);
        if (childCopy) childCopy->Parent = copy.get();
        return childCopy;
    };
    copy->Left = adopt(node->Left.get());
    copy->Right = adopt(node->Right.get());
    copy->Items.reserve(node->Items.size());
    for (const auto& item : node->Items) copy->Items.push_back(adopt(item.get()));
    return copy;
}

void FreeExprTree(std::unique_ptr<TExprNode>& node) noexcept {
    node.reset();
}

std::unique_ptr<TExprNode> MakeConstantNode(const TExprNode& model, const ExprValue& value) {
    std::unique_ptr<TExprNode> node = CopyExprNode(model);
    node->Value = value;
    node->NodeClass = ncConstant;
    return node;
}

int ExprTreeDepth(const TExprNode* node) {
    if (node == nullptr) return 0;
    std::vector<std::pair<const TExprNode*, int>> pending{{node, 1}};
    int depth = 0;
    while (!pending.empty()) {
        const auto [current, level] = pending.back();
        pending.pop_back();
        depth = std::max(depth, level);
        const auto visit = [&pending, level](const TExprNode* child) {
            if (child != nullptr) pending.emplace_back(child, level + 1);
        };
        visit(current->Left.get());
        visit(current->Right.get());
        for (const auto& item : current->Items) visit(item.get());
    }
    return depth;
}

ExprOperator MirrorComparison(ExprOperator op) noexcept {
    switch (op) {
        case opGreater:
            return opLess;
        case opLess:
            return opGreater;
        case opGreaterEqual:
            return opLessEqual;
        case opLessEqual:
            return opGreaterEqual;
        default:
            return op;
    }
}

}  // namespace engine
