#include "app/core/ResultStore.h"

#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"

namespace app {

std::string ResultsTablePath(const AppState& state) {
    return state.progdir + std::string(kResultsTable);
}

void StoreResult(components::TTARNISTable& table, const db::TDataSource& source, const std::string& path,
                 const std::vector<ResultValue>& values) {
    table.Close();
    table.SetTableName(path);
    table.Open();
    table.Insert();
    for (const ResultValue& value : values) table.SetFieldValues(value.field, value.value);
    if (source.State() == db::dsEdit || source.State() == db::dsInsert) table.Post();
    table.Close();
}

}  // namespace app
