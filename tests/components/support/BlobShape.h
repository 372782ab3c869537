// Filter blobs read back for the filter text's tests: a blob as a line of text, its nodes one by one, and
// whether the engine's reader takes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "engine/base/FileBytes.h"
#include "engine/expr/ExprNode.h"
#include "engine/expr/FilterBlob.h"
#include "engine/records/FieldDesc.h"
#include "engine/values/FieldTypes.h"

namespace componenttest {

using Blob = std::vector<std::uint8_t>;

inline engine::TFilterBlobHeader HeaderOf(std::span<const std::uint8_t> blob) {
    return engine::DecodeFilterBlobHeader(std::span<const std::uint8_t, engine::FilterBlobHeaderSize>(
        blob.data(), engine::FilterBlobHeaderSize));
}

// The node at a node-area offset; class 0 when it is not whole there.
inline engine::TFilterBlobNode NodeAt(std::span<const std::uint8_t> blob, std::uint16_t offset) {
    const engine::TFilterBlobHeader header = HeaderOf(blob);
    const auto nodes = blob.subspan(header.NodeStart, header.LiteralStart - header.NodeStart);
    engine::TFilterBlobNode node;
    if (offset >= nodes.size() || !engine::DecodeFilterBlobNode(nodes.subspan(offset), node)) return {};
    return node;
}

inline std::span<const std::uint8_t> LiteralAt(std::span<const std::uint8_t> blob, std::uint16_t offset,
                                               std::size_t size) {
    return blob.subspan(HeaderOf(blob).LiteralStart + offset, size);
}

// A constant as type:value ('text' for strings, '' for the empty one).
inline std::string ConstantText(std::span<const std::uint8_t> blob, const engine::TFilterBlobNode& node) {
    const auto value = LiteralAt(blob, node.Operands[2], node.Operands[1]);
    char number[64];
    switch (node.Operands[0]) {
        case engine::FieldTypeString:
            return "'" + std::string(value.begin(), value.end() - 1) + "'";
        case engine::FieldTypeBoolean:
            return "bool:" + std::to_string(engine::LoadU16(value.data()));
        case engine::FieldTypeSmallInt:
            return "i16:" + std::to_string(static_cast<std::int16_t>(engine::LoadU16(value.data())));
        case engine::FieldTypeWord:
            return "u16:" + std::to_string(engine::LoadU16(value.data()));
        case engine::FieldTypeInteger:
            return "i32:" + std::to_string(static_cast<std::int32_t>(engine::LoadU32(value.data())));
        case engine::FieldTypeDate:
            return "date:" + std::to_string(static_cast<std::int32_t>(engine::LoadU32(value.data())));
        case engine::FieldTypeTime:
            return "time:" + std::to_string(static_cast<std::int32_t>(engine::LoadU32(value.data())));
        case engine::FieldTypeBcd:
            return "bcd:" + std::to_string(static_cast<std::int64_t>(engine::LoadU64(value.data())));
        case engine::FieldTypeFloat:
            std::snprintf(number, sizeof number, "f64:%.17g", engine::LoadF64(value.data()));
            return number;
        case engine::FieldTypeDateTime:
            std::snprintf(number, sizeof number, "dt:%.17g", engine::LoadF64(value.data()));
            return number;
        default:
            return "type" + std::to_string(node.Operands[0]) + "?";
    }
}

inline std::string OperatorText(std::uint32_t op) {
    static const std::map<std::uint32_t, std::string> names = {
        {engine::opEqual, "="},         {engine::opNotEqual, "<>"},
        {engine::opGreater, ">"},       {engine::opLess, "<"},
        {engine::opGreaterEqual, ">="}, {engine::opLessEqual, "<="},
        {engine::opAnd, "AND"},         {engine::opOr, "OR"}};
    const auto found = names.find(op);
    return found == names.end() ? "op" + std::to_string(op) + "?" : found->second;
}

// The node and its operands as text: (NAME = 'x'), (NAME = 'Sm' ci0 len2), IsNull(X), NOT (...), fields by
// name, constants as ConstantText.
inline std::string ShapeAt(std::span<const std::uint8_t> blob, std::uint16_t offset) {
    const engine::TFilterBlobNode node = NodeAt(blob, offset);
    const auto& o = node.Operands;
    switch (node.NodeClass) {
        case engine::ncUnary:
            if (node.Operator == engine::opIsNull) return "IsNull(" + ShapeAt(blob, o[0]) + ")";
            if (node.Operator == engine::opIsNotNull) return "NotNull(" + ShapeAt(blob, o[0]) + ")";
            return "NOT " + ShapeAt(blob, o[0]);
        case engine::ncBinary:
            return "(" + ShapeAt(blob, o[0]) + " " + OperatorText(node.Operator) + " " + ShapeAt(blob, o[1]) +
                   ")";
        case engine::ncCompare:
            return "(" + ShapeAt(blob, o[2]) + " " + OperatorText(node.Operator) + " " + ShapeAt(blob, o[3]) +
                   " ci" + std::to_string(o[0]) + " len" + std::to_string(o[1]) + ")";
        case engine::ncField: {
            const auto name = blob.subspan(HeaderOf(blob).LiteralStart + o[1]);
            return std::string(reinterpret_cast<const char*>(name.data()));
        }
        case engine::ncConstant:
            return ConstantText(blob, node);
        default:
            return "?";
    }
}

inline std::string Shape(std::span<const std::uint8_t> blob) {
    return ShapeAt(blob, 0);
}

// True when the engine's reader builds a tree from the blob; every field it names is a string field.
inline bool EngineReads(std::span<const std::uint8_t> blob) {
    std::map<std::string, engine::TFieldDesc, std::less<>> fields;
    auto lookup = [&](std::string_view name) -> const engine::TFieldDesc& {
        engine::TFieldDesc& field = fields[std::string(name)];
        field.Name = std::string(name);
        field.FieldNumber = static_cast<std::uint16_t>(fields.size());
        field.FieldType = engine::FieldTypeString;
        return field;
    };
    return engine::BuildExpressionTree(blob, lookup) != nullptr;
}

}  // namespace componenttest
