#include "sql/QueryElements.h"

#include <gtest/gtest.h>

namespace {

using sql::AggregateKind;
using sql::AggregateOf;
using sql::TResultDataField;

TEST(QueryElements, ColumnNameBecomesTheResultNameWhileThereIsNone) {
    TResultDataField column(nullptr);
    column.SetColumnName("*");
    EXPECT_EQ(column.ColumnName, "*");
    EXPECT_EQ(column.ResultName, "");
    column.SetColumnName("a");
    EXPECT_EQ(column.ResultName, "a");
    column.SetColumnName("b");
    EXPECT_EQ(column.ColumnName, "b");
    EXPECT_EQ(column.ResultName, "a");

    TResultDataField aliased(nullptr);
    aliased.ResultName = "total";
    aliased.SetColumnName("a");
    EXPECT_EQ(aliased.ResultName, "total");
}

TEST(QueryElements, AggregatesAreNumberedApartFromOperators) {
    EXPECT_EQ(AggregateOf(engine::opSum), AggregateKind::Sum);
    EXPECT_EQ(AggregateOf(engine::opMin), AggregateKind::Min);
    EXPECT_EQ(AggregateOf(engine::opMax), AggregateKind::Max);
    EXPECT_EQ(AggregateOf(engine::opAvg), AggregateKind::Avg);
    EXPECT_EQ(AggregateOf(engine::opCount), AggregateKind::Count);
    EXPECT_EQ(static_cast<int>(AggregateKind::Sum), 1);
    EXPECT_EQ(static_cast<int>(AggregateKind::Count), 5);
    EXPECT_EQ(AggregateOf(engine::opAdd), AggregateKind::None);
    EXPECT_EQ(AggregateOf(engine::opUpper), AggregateKind::None);
}

}  // namespace
