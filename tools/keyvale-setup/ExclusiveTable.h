// ExclusiveTable: runs work on one table opened for exclusive use through the table component.
#pragma once

#include <functional>
#include <string>

#include "db/DataSet.h"

namespace keyvalesetup {

// Opens the table `path` names (an engine name) exclusively, runs the work on it and closes it, also when
// the work raises. The session runtime must live.
void WithExclusiveTable(const std::string& path, const std::function<void(db::TDataSet&)>& work);

}  // namespace keyvalesetup
