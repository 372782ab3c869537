#include "tools/keyvale-setup/ExclusiveTable.h"

#include <stdexcept>

namespace keyvalesetup {

// MISSING: the table component (TTARNISTable) is not on this branch yet; the tables are filled through it.
void WithExclusiveTable(const std::string& path, const std::function<void(db::TDataSet&)>&) {
    throw std::logic_error("the table component is not built yet: cannot fill " + path);
}

}  // namespace keyvalesetup
