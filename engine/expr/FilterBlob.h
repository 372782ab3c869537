// The filter blob: the compact form of a filter condition that the dataset side writes and the engine turns
// into an expression tree; its layout codec, its writer and its reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "engine/records/FieldDesc.h"

namespace engine {

// Header (TFilterBlobHeader), little-endian, at the start of the blob:
//
// | Offset | Size | Field                                                        |
// |--------|------|--------------------------------------------------------------|
// | 0      | u16  | 0                                                            |
// | 2      | u16  | total size of the blob in bytes (low 16 bits)                |
// | 4      | u16  | 0xFFFF                                                       |
// | 6      | u16  | start of the node area: 10                                   |
// | 8      | u16  | start of the literal area: 10 + node area size               |
//
// The node area follows, the nodes back to back, then the literal area, the literals back to back. Node
// offsets count from the node area's start and literal offsets from the literal area's; the root is node 0,
// and every node stands before its operands, so an operand offset of 0 means no operand. The reader uses
// only the words at 6 and 8; the blob's length is the span it arrives in.
inline constexpr std::size_t FilterBlobHeaderSize = 10;
inline constexpr std::size_t FilterBlobTotalSizeOffset = 2;
inline constexpr std::size_t FilterBlobMarkerOffset = 4;
inline constexpr std::size_t FilterBlobNodeStartOffset = 6;
inline constexpr std::size_t FilterBlobLiteralStartOffset = 8;
inline constexpr std::uint16_t FilterBlobMarker = 0xFFFF;
// Offsets and the size are u16 words: a blob is at most this long.
inline constexpr std::size_t MaxFilterBlobSize = 65535;
// Field names in the literal area: at most this many characters before their zero.
inline constexpr std::size_t MaxFilterNameLength = 255;

struct TFilterBlobHeader {
    std::uint16_t TotalSize = 0;
    std::uint16_t NodeStart = FilterBlobHeaderSize;
    std::uint16_t LiteralStart = FilterBlobHeaderSize;
};

void EncodeFilterBlobHeader(const TFilterBlobHeader& header,
                            std::span<std::uint8_t, FilterBlobHeaderSize> bytes) noexcept;
TFilterBlobHeader DecodeFilterBlobHeader(std::span<const std::uint8_t, FilterBlobHeaderSize> bytes) noexcept;

// Node (TFilterBlobNode): u32 class at +0, u32 operator at +4, then the operands as u16 words from +8.
//
// | Class            | Operators                               | Operands                                 |
// |------------------|-----------------------------------------|------------------------------------------|
// | 1 unary          | 1 is null, 2 is not null, 9 NOT         | [0] node of the operand                  |
// | 2 binary         | 3 =, 4 <>, 5 >, 6 <, 7 >=, 8 <=, 10 AND, | [0] left node, [1] right node            |
// |                  | 11 OR                                   |                                          |
// | 3 string compare | 3 =, 4 <>                               | [0] case-insensitive (0 or 1), [1]       |
// |                  |                                         | partial length (0 the whole string),     |
// |                  |                                         | [2] node of the field, [3] node of the   |
// |                  |                                         | string constant                          |
// | 4 field          | 13                                      | [0] the dataset's field number (unused), |
// |                  |                                         | [1] literal: the name, zero-terminated   |
// | 5 constant       | 14                                      | [0] engine field type, [1] size in       |
// |                  |                                         | bytes, [2] literal: the value            |
//
// Constants by type, with their sizes: 1 string (the characters and a zero; size 1, the empty string, stands
// for NULL), 2 date (4, i32 day number), 4 boolean (2, u16), 5 smallint (2, i16), 6 integer (4, i32), 7 float
// (8, f64), 8 BCD (8, i64 scaled integer), 10 time (4, i32 milliseconds), 11 date-time (8, f64 milliseconds),
// 12 word (2, u16).
inline constexpr std::size_t FilterBlobNodeFixedSize = 8;
inline constexpr std::size_t MaxFilterBlobOperands = 4;

struct TFilterBlobNode {
    std::uint32_t NodeClass = 0;
    std::uint32_t Operator = 0;
    std::array<std::uint16_t, MaxFilterBlobOperands> Operands{};
};

// The operands of a class; 0 for a class the blob does not have.
std::size_t FilterBlobOperandCount(std::uint32_t nodeClass) noexcept;
// 8 + 2 x the operands of the class.
std::size_t FilterBlobNodeSize(std::uint32_t nodeClass) noexcept;
// Writes the node's class, operator and its class's operands; the bytes hold FilterBlobNodeSize at least.
void EncodeFilterBlobNode(const TFilterBlobNode& node, std::span<std::uint8_t> bytes) noexcept;
// Reads a node from the bytes: false when the bytes do not hold its class and operator, when the class is
// none the blob has, or when they do not hold its operands whole.
bool DecodeFilterBlobNode(std::span<const std::uint8_t> bytes, TFilterBlobNode& node) noexcept;

// Writes a blob a node and a literal at a time, in the writer's order: a node appended, then its operands
// written and their offsets set on it. A blob that would pass MaxFilterBlobSize raises 10051.
class TFilterBlobWriter {
public:
    // The node's offset in the node area; its operands start as 0.
    std::uint16_t AppendNode(std::uint32_t nodeClass, std::uint32_t op);
    void SetNodeOperand(std::uint16_t node, std::size_t index, std::uint16_t value);
    // The bytes' offset in the literal area.
    std::uint16_t AppendLiteral(std::span<const std::uint8_t> bytes);
    // The header, the node area and the literal area.
    std::vector<std::uint8_t> Blob() const;

private:
    void CheckRoom(std::size_t more) const;

    std::vector<std::uint8_t> nodes_;
    std::vector<std::uint8_t> literals_;
};

// The stored descriptor of a field named in a blob; raises 9985 for a name the table does not have.
using TFilterFieldLookup = std::function<const TFieldDesc&(std::string_view name)>;

// The expression tree of a blob, or none when the blob is damaged (the caller's 10051): the blob is checked
// whole before any node is built, and only a name the lookup does not know raises (9985). Checked: a length
// of 10 .. 65,535 and 10 <= node area start <= literal area start <= length; every node whole within the node
// area, of classes 1 to 5 with the operators above, its operand nodes present, each at an offset above its
// own, and no node reached twice; at most MaxExprDepth levels; a string comparison over a field and a string
// constant, with a partial length of at most 255; names zero-terminated within the literal area, at most 255
// characters; constants of the types above with their sizes, within the literal area, strings
// zero-terminated at their last byte.
//
// The tree: classes 1 to 3 take the operator (class 3 its case flag and partial length); a field node the
// name, and from the descriptor the field number, type, stored size and scale (the number written in the
// blob is not used); a constant its type and size and its value (a string through the value's text setter,
// the empty string as NULL). Field and constant nodes keep operator 0.
std::unique_ptr<TExprNode> BuildExpressionTree(std::span<const std::uint8_t> blob,
                                               const TFilterFieldLookup& lookup);

}  // namespace engine
