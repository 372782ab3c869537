// The filter blob's codec, writer and reader (declared in FilterBlob.h).
#include "engine/expr/FilterBlob.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/base/FileBytes.h"
#include "engine/values/FieldTypes.h"

namespace engine {

// ---- Layout ----

void EncodeFilterBlobHeader(const TFilterBlobHeader& header,
                            std::span<std::uint8_t, FilterBlobHeaderSize> bytes) noexcept {
    StoreU16(bytes.data(), 0);
    StoreU16(bytes.data() + FilterBlobTotalSizeOffset, header.TotalSize);
    StoreU16(bytes.data() + FilterBlobMarkerOffset, FilterBlobMarker);
    StoreU16(bytes.data() + FilterBlobNodeStartOffset, header.NodeStart);
    StoreU16(bytes.data() + FilterBlobLiteralStartOffset, header.LiteralStart);
}

TFilterBlobHeader DecodeFilterBlobHeader(std::span<const std::uint8_t, FilterBlobHeaderSize> bytes) noexcept {
    TFilterBlobHeader header;
    header.TotalSize = LoadU16(bytes.data() + FilterBlobTotalSizeOffset);
    header.NodeStart = LoadU16(bytes.data() + FilterBlobNodeStartOffset);
    header.LiteralStart = LoadU16(bytes.data() + FilterBlobLiteralStartOffset);
    return header;
}

std::size_t FilterBlobOperandCount(std::uint32_t nodeClass) noexcept {
    switch (nodeClass) {
        case ncUnary:
            return 1;
        case ncBinary:
        case ncField:
            return 2;
        case ncCompare:
            return 4;
        case ncConstant:
            return 3;
        default:
            return 0;
    }
}

std::size_t FilterBlobNodeSize(std::uint32_t nodeClass) noexcept {
    return FilterBlobNodeFixedSize + 2 * FilterBlobOperandCount(nodeClass);
}

void EncodeFilterBlobNode(const TFilterBlobNode& node, std::span<std::uint8_t> bytes) noexcept {
    StoreU32(bytes.data(), node.NodeClass);
    StoreU32(bytes.data() + 4, node.Operator);
    for (std::size_t i = 0; i < FilterBlobOperandCount(node.NodeClass); ++i)
        StoreU16(bytes.data() + FilterBlobNodeFixedSize + 2 * i, node.Operands[i]);
}

bool DecodeFilterBlobNode(std::span<const std::uint8_t> bytes, TFilterBlobNode& node) noexcept {
    if (bytes.size() < FilterBlobNodeFixedSize) return false;
    node = TFilterBlobNode{};
    node.NodeClass = LoadU32(bytes.data());
    node.Operator = LoadU32(bytes.data() + 4);
    const std::size_t count = FilterBlobOperandCount(node.NodeClass);
    if (count == 0 || bytes.size() < FilterBlobNodeSize(node.NodeClass)) return false;
    for (std::size_t i = 0; i < count; ++i)
        node.Operands[i] = LoadU16(bytes.data() + FilterBlobNodeFixedSize + 2 * i);
    return true;
}

// ---- Writer ----

void TFilterBlobWriter::CheckRoom(std::size_t more) const {
    if (FilterBlobHeaderSize + nodes_.size() + literals_.size() + more > MaxFilterBlobSize)
        RaiseEngineError(ErrInvalidFilterExpression);
}

std::uint16_t TFilterBlobWriter::AppendNode(std::uint32_t nodeClass, std::uint32_t op) {
    const std::size_t size = FilterBlobNodeSize(nodeClass);
    CheckRoom(size);
    const auto offset = static_cast<std::uint16_t>(nodes_.size());
    nodes_.resize(nodes_.size() + size);
    TFilterBlobNode node;
    node.NodeClass = nodeClass;
    node.Operator = op;
    EncodeFilterBlobNode(node, std::span<std::uint8_t>(nodes_).subspan(offset));
    return offset;
}

void TFilterBlobWriter::SetNodeOperand(std::uint16_t node, std::size_t index, std::uint16_t value) {
    StoreU16(nodes_.data() + node + FilterBlobNodeFixedSize + 2 * index, value);
}

std::uint16_t TFilterBlobWriter::AppendLiteral(std::span<const std::uint8_t> bytes) {
    CheckRoom(bytes.size());
    const auto offset = static_cast<std::uint16_t>(literals_.size());
    literals_.insert(literals_.end(), bytes.begin(), bytes.end());
    return offset;
}

std::vector<std::uint8_t> TFilterBlobWriter::Blob() const {
    // Sized once and filled in place: inserting behind the header draws GCC 12's false -Warray-bounds from
    // libstdc++'s vector.
    std::vector<std::uint8_t> blob(FilterBlobHeaderSize + nodes_.size() + literals_.size());
    TFilterBlobHeader header;
    header.TotalSize = static_cast<std::uint16_t>(FilterBlobHeaderSize + nodes_.size() + literals_.size());
    header.NodeStart = FilterBlobHeaderSize;
    header.LiteralStart = static_cast<std::uint16_t>(FilterBlobHeaderSize + nodes_.size());
    EncodeFilterBlobHeader(header,
                           std::span<std::uint8_t, FilterBlobHeaderSize>(blob.data(), FilterBlobHeaderSize));
    const auto literalsAt = std::copy(nodes_.begin(), nodes_.end(), blob.begin() + FilterBlobHeaderSize);
    std::copy(literals_.begin(), literals_.end(), literalsAt);
    return blob;
}

// ---- Reader ----

namespace {

// The size a constant of the type takes; none for a type the blob does not write. Strings vary.
std::optional<std::size_t> ConstantWidth(std::uint16_t type) noexcept {
    switch (type) {
        case FieldTypeBoolean:
        case FieldTypeSmallInt:
        case FieldTypeWord:
            return 2;
        case FieldTypeDate:
        case FieldTypeInteger:
        case FieldTypeTime:
            return 4;
        case FieldTypeFloat:
        case FieldTypeBcd:
        case FieldTypeDateTime:
            return 8;
        default:
            return std::nullopt;
    }
}

// The largest string constant: 255 characters and their zero.
constexpr std::size_t MaxStringConstantSize = 256;

bool IsOperatorOf(std::uint32_t nodeClass, std::uint32_t op) noexcept {
    switch (nodeClass) {
        case ncUnary:
            return op == opIsNull || op == opIsNotNull || op == opNot;
        case ncBinary:
            return (op >= opEqual && op <= opLessEqual) || op == opAnd || op == opOr;
        case ncCompare:
            return op == opEqual || op == opNotEqual;
        case ncField:
            return op == opField;
        case ncConstant:
            return op == opConstant;
        default:
            return false;
    }
}

// A checked node: its decoded form, and its name or its value as the literal area holds it.
struct CheckedNode {
    TFilterBlobNode node;
    std::span<const std::uint8_t> literal;
};

class BlobReader {
public:
    BlobReader(std::span<const std::uint8_t> nodes, std::span<const std::uint8_t> literals)
        : nodes_(nodes), literals_(literals), seen_(nodes.size(), false) {}

    // Checks the node at the offset and everything under it; none for a damaged blob.
    std::optional<std::size_t> Check(std::uint16_t offset, int depth) {
        if (depth > MaxExprDepth || offset >= nodes_.size() || seen_[offset]) return std::nullopt;
        seen_[offset] = true;
        CheckedNode checked;
        TFilterBlobNode& node = checked.node;
        if (!DecodeFilterBlobNode(nodes_.subspan(offset), node)) return std::nullopt;
        if (!IsOperatorOf(node.NodeClass, node.Operator)) return std::nullopt;
        const std::size_t index = checked_.size();
        checked_.push_back(checked);
        bool sound = true;
        switch (node.NodeClass) {
            case ncUnary:
                sound = Operand(offset, node.Operands[0], depth, std::nullopt);
                break;
            case ncBinary:
                sound = Operand(offset, node.Operands[0], depth, std::nullopt) &&
                        Operand(offset, node.Operands[1], depth, std::nullopt);
                break;
            case ncCompare:
                sound = node.Operands[1] <= MaxExprTextLength + 1 &&
                        Operand(offset, node.Operands[2], depth, ncField) &&
                        Operand(offset, node.Operands[3], depth, ncConstant) &&
                        checked_[byOffset_.at(node.Operands[3])].node.Operands[0] == FieldTypeString;
                break;
            case ncField:
                sound = CheckName(index);
                break;
            default:
                sound = CheckConstant(index);
                break;
        }
        if (!sound) return std::nullopt;
        byOffset_.emplace(offset, index);
        return index;
    }

    std::unique_ptr<TExprNode> Build(std::uint16_t offset, const TFilterFieldLookup& lookup) const {
        const CheckedNode& checked = checked_[byOffset_.at(offset)];
        const TFilterBlobNode& blob = checked.node;
        auto node = std::make_unique<TExprNode>();
        node->NodeClass = static_cast<ExprNodeClass>(blob.NodeClass);
        switch (blob.NodeClass) {
            case ncUnary:
                node->Operator = static_cast<ExprOperator>(blob.Operator);
                node->Left = Build(blob.Operands[0], lookup);
                break;
            case ncBinary:
                node->Operator = static_cast<ExprOperator>(blob.Operator);
                node->Left = Build(blob.Operands[0], lookup);
                node->Right = Build(blob.Operands[1], lookup);
                break;
            case ncCompare:
                node->Operator = static_cast<ExprOperator>(blob.Operator);
                node->CaseInsensitive = blob.Operands[0] != 0 ? 1 : 0;
                node->PartialLen = static_cast<std::uint8_t>(blob.Operands[1]);
                node->Left = Build(blob.Operands[2], lookup);
                node->Right = Build(blob.Operands[3], lookup);
                break;
            case ncField: {
                // The name runs to its zero, which the check found.
                const auto* name = reinterpret_cast<const char*>(checked.literal.data());
                node->ColumnName.assign(name, checked.literal.size() - 1);
                const TFieldDesc& field = lookup(node->ColumnName);
                node->FieldNo = field.FieldNumber;
                node->Value.FieldType = field.FieldType;
                node->Value.Size = field.StoredSize;
                node->Value.Scale = field.Scale;
                break;
            }
            default: {
                node->Value.FieldType = static_cast<std::uint8_t>(blob.Operands[0]);
                node->Value.Size = static_cast<std::uint8_t>(std::min<std::size_t>(blob.Operands[1], 255));
                const std::span<const std::uint8_t> value = checked.literal;
                if (node->Value.FieldType != FieldTypeString) {
                    node->Value.SetBytes(value.data(), value.size());
                } else if (value.size() == 1) {
                    node->Value.IsNull = 1;
                } else {
                    node->Value.SetText(std::string_view(reinterpret_cast<const char*>(value.data())));
                }
                break;
            }
        }
        return node;
    }

private:
    // An operand node: present, after its own node, sound, and of the class wanted when one is.
    bool Operand(std::uint16_t own, std::uint16_t offset, int depth, std::optional<std::uint32_t> wanted) {
        if (offset <= own) return false;
        const std::optional<std::size_t> index = Check(offset, depth + 1);
        return index && (!wanted || checked_[*index].node.NodeClass == *wanted);
    }

    bool CheckName(std::size_t index) {
        CheckedNode& checked = checked_[index];
        const std::uint16_t at = checked.node.Operands[1];
        if (at >= literals_.size()) return false;
        const std::span<const std::uint8_t> rest =
            literals_.subspan(at, std::min(literals_.size() - at, MaxFilterNameLength + 1));
        const auto zero = std::find(rest.begin(), rest.end(), 0);
        if (zero == rest.end()) return false;
        checked.literal = rest.first(static_cast<std::size_t>(zero - rest.begin()) + 1);
        return true;
    }

    bool CheckConstant(std::size_t index) {
        CheckedNode& checked = checked_[index];
        const std::uint16_t type = checked.node.Operands[0];
        const std::size_t size = checked.node.Operands[1];
        const std::size_t at = checked.node.Operands[2];
        if (type == FieldTypeString) {
            if (size < 1 || size > MaxStringConstantSize) return false;
        } else if (ConstantWidth(type) != size) {
            return false;
        }
        if (at > literals_.size() || size > literals_.size() - at) return false;
        checked.literal = literals_.subspan(at, size);
        // A string's characters end with the zero at its last byte.
        return type != FieldTypeString || checked.literal.back() == 0;
    }

    std::span<const std::uint8_t> nodes_;
    std::span<const std::uint8_t> literals_;
    std::vector<bool> seen_;
    std::vector<CheckedNode> checked_;
    std::unordered_map<std::uint16_t, std::size_t> byOffset_;
};

}  // namespace

std::unique_ptr<TExprNode> BuildExpressionTree(std::span<const std::uint8_t> blob,
                                               const TFilterFieldLookup& lookup) {
    if (blob.size() < FilterBlobHeaderSize || blob.size() > MaxFilterBlobSize) return nullptr;
    const TFilterBlobHeader header = DecodeFilterBlobHeader(
        std::span<const std::uint8_t, FilterBlobHeaderSize>(blob.data(), FilterBlobHeaderSize));
    if (header.NodeStart < FilterBlobHeaderSize || header.NodeStart > header.LiteralStart ||
        header.LiteralStart > blob.size()) {
        return nullptr;
    }
    BlobReader reader(blob.subspan(header.NodeStart, header.LiteralStart - header.NodeStart),
                      blob.subspan(header.LiteralStart));
    if (!reader.Check(0, 1)) return nullptr;
    return reader.Build(0, lookup);
}

}  // namespace engine
