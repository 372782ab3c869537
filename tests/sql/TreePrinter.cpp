#include "tests/sql/TreePrinter.h"

namespace sqltest {

namespace {

std::string ClassName(engine::ExprNodeClass nodeClass) {
    switch (nodeClass) {
        case engine::ncUnary:
            return "Unary";
        case engine::ncBinary:
            return "Binary";
        case engine::ncCompare:
            return "Compare";
        case engine::ncField:
            return "Field";
        case engine::ncConstant:
            return "Constant";
        case engine::ncFunction:
            return "Function";
        case engine::ncPredicate:
            return "Predicate";
        default:
            return std::to_string(nodeClass);
    }
}

void Print(const engine::TExprNode* node, std::string& out) {
    if (node == nullptr) {
        out += '_';
        return;
    }
    out += '(' + ClassName(node->NodeClass) + '/' + std::to_string(node->Operator) + '/' +
           std::to_string(node->Value.FieldType) + " \"" + node->Text + '"';
    if (node->Value.IsNull != 0) out += " null";
    if (node->IsParam != 0) out += " param";
    if (node->Left || node->Right) {
        out += ' ';
        Print(node->Left.get(), out);
    }
    if (node->Right) {
        out += ' ';
        Print(node->Right.get(), out);
    }
    if (!node->Items.empty()) {
        out += " [";
        for (std::size_t i = 0; i < node->Items.size(); ++i) {
            if (i > 0) out += ' ';
            Print(node->Items[i].get(), out);
        }
        out += ']';
    }
    out += ')';
}

}  // namespace

std::string PrintTree(const engine::TExprNode* node) {
    std::string out;
    Print(node, out);
    return out;
}

}  // namespace sqltest
