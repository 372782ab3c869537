#include "tests/sql/ModelPrinter.h"

#include <vector>

#include "engine/values/FieldTypes.h"

namespace sqltest {

namespace {

using engine::TExprNode;

void Print(const TExprNode& node, std::uint16_t parentPosition, std::string& out) {
    if (node.NodeClass == engine::ncConstant && node.Value.FieldType == engine::FieldTypeString) {
        out += "'" + node.Text + "'";
    } else {
        out += node.Text;
    }
    if (node.JoinKind != 0) out += "#" + std::to_string(node.JoinKind);
    if (node.ClausePosition != parentPosition) out += "@" + std::to_string(node.ClausePosition);
    std::vector<const TExprNode*> operands;
    if (node.Left) operands.push_back(node.Left.get());
    if (node.Right) operands.push_back(node.Right.get());
    for (const auto& item : node.Items) operands.push_back(item.get());
    if (operands.empty()) return;
    out += "(";
    for (std::size_t i = 0; i < operands.size(); ++i) {
        if (i > 0) out += ", ";
        Print(*operands[i], node.ClausePosition, out);
    }
    out += ")";
}

// The path from the tree's root to the node, or false when the tree does not hold it.
bool FindPath(const TExprNode* tree, const TExprNode* node, std::string& path) {
    if (tree == nullptr) return false;
    if (tree == node) return true;
    const std::size_t length = path.size();
    const auto below = [&](const TExprNode* child, const std::string& step) {
        path += "/" + step;
        if (FindPath(child, node, path)) return true;
        path.resize(length);
        return false;
    };
    if (below(tree->Left.get(), "L") || below(tree->Right.get(), "R")) return true;
    for (std::size_t i = 0; i < tree->Items.size(); ++i) {
        if (below(tree->Items[i].get(), "I" + std::to_string(i))) return true;
    }
    return false;
}

std::string ParamPlace(const sql::TDataQuery& query, const TExprNode* param) {
    for (std::size_t i = 0; i < query.Values.size(); ++i) {
        std::string path = "value" + std::to_string(i + 1);
        if (FindPath(query.Values[i]->Expression.get(), param, path)) return path;
    }
    std::string path = "where";
    if (FindPath(query.WhereCondition.get(), param, path)) return path;
    return "nowhere";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string ColumnRef(const std::string& correlation, const std::string& column) {
    return correlation.empty() ? Quoted(column) : Quoted(correlation) + "." + Quoted(column);
}

void Flag(bool set, const char* name, std::string& out) {
    if (set) out += std::string(" ") + name;
}

void PrintClauseColumn(const char* clause, const sql::TClauseColumn& item, std::string& out) {
    out += clause;
    if (item.ColumnNumber != 0) {
        out += " #" + std::to_string(item.ColumnNumber);
    } else {
        out += " " + ColumnRef(item.CorrelationName, item.ColumnName);
    }
    if (item.Descending) out += " desc";
    out += "\n";
}

}  // namespace

std::string PrintCondition(const TExprNode* node) {
    std::string out;
    if (node != nullptr) Print(*node, 0, out);
    return out;
}

std::string PrintModel(const sql::TDataQuery& query) {
    static const char* const kinds[] = {"NONE", "SELECT", "INSERT", "UPDATE", "DELETE"};
    std::string out = kinds[static_cast<int>(query.StatementKind)];
    Flag(query.RequestLive, "live", out);
    Flag(query.Distinct, "distinct", out);
    Flag(query.HasAverages, "averages", out);
    Flag(query.HasComputedColumns, "computed", out);
    Flag(query.HasJoin, "join", out);
    Flag(query.HasWhere, "where", out);
    Flag(query.HasOrderBy, "orderby", out);
    Flag(query.NoCase, "nocase", out);
    Flag(query.Grouped, "grouped", out);
    Flag(query.IntoMemory, "intomemory", out);
    if (!query.IntoTableName.empty()) out += " into=" + query.IntoTableName;
    Flag(query.WithLocks, "withlocks", out);
    if (query.Encrypted) out += " encrypted=" + query.EncryptionPassword;
    out += "\n";
    for (const auto& source : query.Sources) {
        out += "source #" + std::to_string(source->TableNumber) + " pos " +
               std::to_string(source->FromPosition) + " join " + std::to_string(source->JoinKind) + " " +
               Quoted(source->TableName) + " as " + Quoted(source->CorrelationName);
        Flag(source->InMemory, "memory", out);
        out += "\n";
    }
    for (const auto& column : query.ResultColumns) {
        out += "column";
        if (column->Aggregate != sql::AggregateKind::None)
            out += " agg " + std::to_string(static_cast<int>(column->Aggregate));
        if (column->IsExpression) {
            out += " expr " + Quoted(column->ExpressionText);
        } else {
            out += " name " + ColumnRef(column->CorrelationName, column->ColumnName);
        }
        out += " result " + Quoted(column->ResultName) + "\n";
    }
    for (const auto& target : query.TargetColumns) {
        out += "target " + ColumnRef(target->CorrelationName, target->ColumnName);
        if (target->Expression && target->Expression->FromString != 0) out += " fromstring";
        out += "\n";
    }
    for (const auto& value : query.Values) out += "value " + Quoted(value->ValueText) + "\n";
    for (const auto& item : query.GroupBy) PrintClauseColumn("group", *item, out);
    for (const auto& item : query.OrderBy) PrintClauseColumn("order", *item, out);
    if (query.WhereCondition) out += "where " + PrintCondition(query.WhereCondition.get()) + "\n";
    if (!query.Params.empty()) {
        out += "params";
        for (const TExprNode* param : query.Params) out += " " + ParamPlace(query, param);
        out += "\n";
    }
    return out;
}

}  // namespace sqltest
