// NumbersTable: an in-memory dataset of rows ID 1..n, NAME "row 1".."row n", for navigation and editing
// tests.
#pragma once

#include <string>
#include <vector>

#include "MemDataSet.h"
#include "db/DataLink.h"
#include "db/Field.h"

namespace db_test {

// Columns ID (integer) and NAME (text of 10); the dataset is left closed.
inline void FillNumbers(TMemDataSet& table, int rows) {
    table.SetColumns({{"ID", db::ftInteger}, {"NAME", db::ftString, 10}});
    table.Open();
    for (int i = 1; i <= rows; ++i) table.AppendRecord({i, "row " + std::to_string(i)});
    table.Close();
}

// The IDs of the records in a link's window, its active record left where it was.
inline std::vector<int> WindowIds(db::TDataLink& link) {
    std::vector<int> ids;
    const int active = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
        link.SetActiveRecord(i);
        ids.push_back(link.DataSet()->FieldByName("ID").AsInteger());
    }
    link.SetActiveRecord(active);
    return ids;
}

}  // namespace db_test
