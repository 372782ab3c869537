#include "db/DataLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemDataSet.h"
#include "NumbersTable.h"
#include "db/DataSource.h"
#include "db/Field.h"

namespace {

using namespace db;

// A link that overrides only RecordChanged: every other notification must arrive there by the defaults.
class RecordOnlyLink : public TDataLink {
public:
    std::vector<std::string> seen;

protected:
    void RecordChanged(TField* field) override {
        seen.push_back(field == nullptr ? "record" : field->FieldName());
    }
};

TEST(DataLink, ScrollLayoutAndDatasetChangesEndInRecordChanged) {
    db_test::TMemDataSet table;
    db_test::FillNumbers(table, 3);
    TDataSource source;
    source.SetDataSet(&table);
    RecordOnlyLink link;
    link.SetDataSource(&source);
    table.Open();
    table.Next();                                // scroll
    table.First();                               // dataset change
    table.FieldByName("ID").SetIndex(1);         // layout change
    table.Edit();                                // record change
    table.FieldByName("NAME").SetAsString("x");  // field change
    EXPECT_EQ(link.seen, (std::vector<std::string>{"record", "record", "record", "record", "NAME"}));
}

TEST(DataLink, ALinkReadsTheRecordsOfItsWindow) {
    db_test::TMemDataSet table;
    db_test::FillNumbers(table, 10);
    TDataSource source;
    source.SetDataSet(&table);
    TDataLink grid;
    grid.SetBufferCount(4);
    grid.SetDataSource(&source);
    EXPECT_FALSE(grid.Active());
    EXPECT_EQ(grid.RecordCount(), 0);
    table.Open();
    EXPECT_TRUE(grid.Active());
    EXPECT_EQ(db_test::WindowIds(grid), (std::vector<int>{1, 2, 3, 4}));
    table.MoveBy(5);
    EXPECT_EQ(grid.ActiveRecord(), 3);
    EXPECT_EQ(db_test::WindowIds(grid), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 6);  // reading the window leaves the active record
    EXPECT_EQ(grid.MoveBy(-10), -5);
    EXPECT_TRUE(grid.Bof());
    grid.SetDataSource(nullptr);
    EXPECT_FALSE(grid.Active());
    EXPECT_EQ(grid.DataSet(), nullptr);
}

TEST(DataLink, AReadOnlyLinkNeverEdits) {
    db_test::TMemDataSet table;
    db_test::FillNumbers(table, 1);
    TDataSource source;
    source.SetDataSet(&table);
    TDataLink link;
    link.SetReadOnly(true);
    link.SetDataSource(&source);
    table.Open();
    EXPECT_FALSE(link.Edit());
    EXPECT_EQ(table.State(), dsBrowse);
    table.Edit();
    EXPECT_FALSE(link.Editing());
    link.SetReadOnly(false);
    EXPECT_TRUE(link.Editing());
}

}  // namespace
