#include "tests/sql/PlanSupport.h"

#include <cstdio>
#include <cstring>

namespace sqltest {

using engine::TExprNode;

namespace {

std::string OperatorText(std::uint32_t op) {
    switch (op) {
        case engine::opEqual:
            return "=";
        case engine::opNotEqual:
            return "<>";
        case engine::opGreater:
            return ">";
        case engine::opLess:
            return "<";
        case engine::opGreaterEqual:
            return ">=";
        case engine::opLessEqual:
            return "<=";
        case engine::opAnd:
            return "AND";
        case engine::opOr:
            return "OR";
        case engine::opAdd:
            return "+";
        case engine::opSubtract:
            return "-";
        case engine::opMultiply:
            return "*";
        case engine::opDivide:
            return "/";
        case engine::opLike:
            return "LIKE";
        case engine::opNotLike:
            return "NOT LIKE";
        case engine::opIn:
            return "IN";
        case engine::opNotIn:
            return "NOT IN";
        case engine::opBetween:
            return "BETWEEN";
        case engine::opNotBetween:
            return "NOT BETWEEN";
        default:
            return "op" + std::to_string(op);
    }
}

std::string ConstantText(const engine::ExprValue& value) {
    if (value.IsNull != 0) return "NULL";
    char buffer[64];
    switch (value.FieldType) {
        case engine::FieldTypeString:
            return "'" + std::string(value.GetText()) + "'";
        case engine::FieldTypeBoolean:
            return value.IsTrue() ? "TRUE" : "FALSE";
        case engine::FieldTypeSmallInt:
            return std::to_string(value.GetInt16());
        case engine::FieldTypeInteger:
            return std::to_string(value.GetInt32());
        case engine::FieldTypeFloat:
            std::snprintf(buffer, sizeof buffer, "%gf", value.GetDouble());
            return buffer;
        default:
            return "type" + std::to_string(value.FieldType);
    }
}

}  // namespace

std::string Sql(const TExprNode* node) {
    if (node == nullptr) return "-";
    switch (node->NodeClass) {
        case engine::ncField:
            return node->Correlation + "." + node->ColumnName;
        case engine::ncConstant:
            return ConstantText(node->Value);
        case engine::ncUnary:
            if (node->Operator == engine::opNot) return "NOT " + Sql(node->Left.get());
            if (node->Operator == engine::opIsNull) return Sql(node->Left.get()) + " IS NULL";
            if (node->Operator == engine::opIsNotNull) return Sql(node->Left.get()) + " IS NOT NULL";
            return "-" + Sql(node->Left.get());
        case engine::ncCompare:
            return "(" + Sql(node->Left.get()) + " " + OperatorText(node->Operator) + "[" +
                   std::to_string(node->PartialLen) + "] " + Sql(node->Right.get()) + ")";
        case engine::ncPredicate: {
            std::string text = "(" + Sql(node->Left.get()) + " " + OperatorText(node->Operator);
            if (node->Right) text += " " + Sql(node->Right.get());
            for (const auto& item : node->Items) text += " " + Sql(item.get());
            return text + ")";
        }
        case engine::ncFunction:
            return node->Text + "(" + Sql(node->Left.get()) + ")";
        default:
            return "(" + Sql(node->Left.get()) + " " + OperatorText(node->Operator) + " " +
                   Sql(node->Right.get()) + ")";
    }
}

std::string Links(const sql::TDataQuery& query) {
    static const char* const kinds[] = {"none", "inner", "left"};
    std::string text;
    for (const auto& source : query.Sources)
        for (const auto& link : source->Links) {
            if (!text.empty()) text += "; ";
            text +=
                source->CorrelationName + ">" + link->Target->CorrelationName + " " + kinds[link->JoinType];
            if (link->Condition) text += " " + Sql(link->Condition.get());
        }
    return text;
}

std::string Order(const sql::TDataQuery& query) {
    std::string text;
    for (const auto& source : query.Sources) text += (text.empty() ? "" : ",") + source->CorrelationName;
    return text;
}

std::vector<std::int32_t> VisibleIds(sql::TDataQuery& query, std::size_t source, bool residual) {
    sql::TSourceDataFile& table = *query.Sources.at(source);
    if (table.RecordBuffer.empty()) table.AllocRecordBuffer();
    std::vector<std::int32_t> ids;
    table.Table->SetToBegin();
    while (table.Table->GetNextRecord(table.RecordBuffer) == 0) {
        if (residual && query.ResidualCondition) {
            engine::ExprValue result = query.ResidualCondition->Value;
            engine::EvaluateExpr(*query.ResidualCondition, nullptr, &query, sql::TDataQuery::FetchColumnValue,
                                 query.LanguageId, query.SortId, result);
            if (!result.IsTrue()) continue;
        }
        std::uint8_t bytes[8] = {};
        table.Table->GetField(false, 1, table.RecordBuffer, bytes);
        std::int32_t id = 0;
        std::memcpy(&id, bytes, 4);
        ids.push_back(id);
    }
    return ids;
}

}  // namespace sqltest
