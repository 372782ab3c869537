// Filter blobs for engine tests: the writer's steps for one comparison of a field with a constant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "engine/expr/FilterBlob.h"

namespace filterblobtest {

using engine::TFilterBlobWriter;
using Bytes = std::vector<std::uint8_t>;

// The characters, with their zero unless told otherwise.
inline Bytes Text(const std::string& text, bool zero = true) {
    Bytes bytes(text.begin(), text.end());
    if (zero) bytes.push_back(0);
    return bytes;
}

// The writer's steps for field = constant: the comparison, the field node and the constant node.
inline std::uint16_t WriteComparison(TFilterBlobWriter& w, std::uint32_t nodeClass, const std::string& field,
                                     std::uint16_t type, const Bytes& value) {
    const std::uint16_t compare = w.AppendNode(nodeClass, engine::opEqual);
    const std::size_t first = nodeClass == engine::ncCompare ? 2 : 0;
    const std::uint16_t fieldNode = w.AppendNode(engine::ncField, engine::opField);
    w.SetNodeOperand(compare, first, fieldNode);
    w.SetNodeOperand(fieldNode, 0, 99);
    w.SetNodeOperand(fieldNode, 1, w.AppendLiteral(Text(field)));
    const std::uint16_t constant = w.AppendNode(engine::ncConstant, engine::opConstant);
    w.SetNodeOperand(compare, first + 1, constant);
    w.SetNodeOperand(constant, 0, type);
    w.SetNodeOperand(constant, 1, static_cast<std::uint16_t>(value.size()));
    w.SetNodeOperand(constant, 2, w.AppendLiteral(value));
    return compare;
}

// The blob of field = 'text' as the filter text writes it.
inline Bytes StringComparisonBlob(const std::string& field, const std::string& text) {
    TFilterBlobWriter w;
    WriteComparison(w, engine::ncBinary, field, 1, Text(text));
    return w.Blob();
}

}  // namespace filterblobtest
