#include "tools/keyvale-setup/ExclusiveTable.h"

#include "components/TARNISTable.h"

namespace keyvalesetup {

void WithExclusiveTable(const std::string& path, const std::function<void(db::TDataSet&)>& work) {
    components::TTARNISTable table;
    table.SetTableName(path);
    table.SetExclusive(true);
    table.Open();
    // An exclusive table writes what it holds when it closes: that close's failure is the work's too. After a
    // failed work the destructor closes it, dropping a record not yet posted.
    work(table);
    table.Close();
}

}  // namespace keyvalesetup
