// ResultStore: one finished real-mode test written as a new record of results.dat.
#pragma once

#include <string>
#include <vector>

#include "app/core/ScoreReport.h"

namespace components {
class TTARNISTable;
}
namespace db {
class TDataSource;
}

namespace app {

struct AppState;

// progdir + "results.dat".
std::string ResultsTablePath(const AppState& state);

// Closes the table, points it at `path`, opens it and inserts a record with the values in their order; posts
// it when `source` (the table's data source) is in the edit or insert state, and closes the table. Raises
// what failed: the table is then left as the failure left it (open, the insert pending), so that a later
// Close drops the unposted record and nothing half-written is kept.
void StoreResult(components::TTARNISTable& table, const db::TDataSource& source, const std::string& path,
                 const std::vector<ResultValue>& values);

}  // namespace app
