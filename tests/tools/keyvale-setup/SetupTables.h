// Reading the tables keyvale-setup made, through the table component as the program reads them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "components/TARNISTable.h"
#include "db/Field.h"

namespace setuptest {

// The table opened by its engine name (shared unless asked otherwise), in the order of the index named.
inline std::unique_ptr<components::TTARNISTable> OpenTable(const std::string& name,
                                                           const std::string& index = "",
                                                           bool exclusive = false) {
    auto table = std::make_unique<components::TTARNISTable>();
    table->SetTableName(name);
    table->SetExclusive(exclusive);
    table->SetIndexName(index);
    table->Open();
    return table;
}

// One field's value as text for every record, in the table's current order.
inline std::vector<std::string> Column(components::TTARNISTable& table, const std::string& field) {
    std::vector<std::string> values;
    for (table.First(); !table.Eof(); table.Next()) values.push_back(table.FieldByName(field).AsString());
    return values;
}

}  // namespace setuptest
