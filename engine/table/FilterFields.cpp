#include "engine/table/FilterFields.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "engine/expr/FilterBlob.h"
#include "engine/records/TableDefinition.h"
#include "engine/table/DataFile.h"

namespace engine {

namespace {

// A name of the blob and the compiled tree it stands for.
using CalculatedColumns = std::vector<std::pair<std::string, const TExprNode*>>;

// The calculated field of the working set with the name, when no physical field has it; none otherwise.
const TFieldDesc* CalculatedField(const TDataFile& table, std::string_view name) {
    const auto key = [&table](std::string_view text) {
        return NameCompareKey(text, table.GetLanguageId(), table.GetSortId(), table.FileName());
    };
    const std::string wanted = key(name);
    // Case mapping keeps the length, so names of another length cannot match.
    const auto same = [&](const TFieldDesc& field) {
        return field.Name.size() == wanted.size() && key(field.Name) == wanted;
    };
    for (const TFieldDesc& field : table.PhysicalFields()) {
        if (same(field)) return nullptr;
    }
    const std::vector<TFieldDesc>& working = table.WorkingFields();
    for (std::size_t i = 0; i < table.GetFieldCount() && i < working.size(); ++i) {
        const TFieldDesc& field = working[i];
        if (field.IsCalculated() && field.CompiledExpression != nullptr && same(field)) return &field;
    }
    return nullptr;
}

void SubstituteColumns(std::unique_ptr<TExprNode>& slot, const CalculatedColumns& columns) {
    if (!slot) return;
    if (slot->NodeClass == ncField) {
        for (const auto& [name, tree] : columns) {
            if (slot->ColumnName != name) continue;
            TExprNode* const parent = slot->Parent;
            slot = CopyExprTree(tree);
            slot->Parent = parent;
            return;
        }
        return;
    }
    SubstituteColumns(slot->Left, columns);
    SubstituteColumns(slot->Right, columns);
    for (std::unique_ptr<TExprNode>& item : slot->Items) SubstituteColumns(item, columns);
}

}  // namespace

std::unique_ptr<TExprNode> BuildFilterTree(const TDataFile& table, std::span<const std::uint8_t> blob) {
    CalculatedColumns columns;
    std::unique_ptr<TExprNode> tree =
        BuildExpressionTree(blob, [&](std::string_view name) -> const TFieldDesc& {
            if (const TFieldDesc* field = CalculatedField(table, name)) {
                // Only the expression layer compiles the trees the descriptors refer to.
                columns.emplace_back(name, static_cast<const TExprNode*>(field->CompiledExpression));
                return *field;
            }
            return table.GetFieldDescByName(false, name);
        });
    if (!columns.empty()) SubstituteColumns(tree, columns);
    return tree;
}

}  // namespace engine
