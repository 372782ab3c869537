#include "MemDataSet.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "NumbersTable.h"
#include "RecordingLink.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db_test::TMemDataSet;

// A stored row changed behind the buffers stays unseen until the record is read again, and telling no one.
TEST(SetStoredValue, ChangesTheRowBehindTheBuffersUntilItIsReadAgain) {
    TMemDataSet table;
    db_test::FillNumbers(table, 3);
    TDataSource source;
    source.SetDataSet(&table);
    db_test::RecordingLink link;
    link.SetDataSource(&source);
    table.Open();
    link.Take();

    table.SetStoredValue(0, "name", "changed");
    table.SetStoredValue(0, "ID", 40);
    EXPECT_TRUE(link.Take().empty());
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_FALSE(table.Modified());
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "row 1");

    table.Edit();  // reads the record again under its lock
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "changed");
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 40);
    table.Cancel();

    table.SetStoredValue(2, "NAME", rtl::Variant::Null());
    table.Last();
    EXPECT_TRUE(table.FieldByName("NAME").IsNull());
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 3);
}

TEST(SetStoredValue, RefusesRowsAndFieldsItCannotChange) {
    TMemDataSet table;
    db_test::FillNumbers(table, 2);
    EXPECT_THROW(table.SetStoredValue(0, "ID", 1), rtl::EDatabaseError);  // closed
    table.Open();
    EXPECT_THROW(table.SetStoredValue(2, "ID", 1), std::out_of_range);
    EXPECT_THROW(table.SetStoredValue(-1, "ID", 1), std::out_of_range);
    EXPECT_THROW(table.SetStoredValue(0, "NOPE", 1), rtl::EDatabaseError);
    EXPECT_THROW(table.SetStoredValue(0, "ID", "abc"), rtl::EConvertError);
    table.First();
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 1);
}

}  // namespace
