// StoredResultLines: the single-result report of a result stored in results.dat, for the text report window.
#pragma once

#include <string>
#include <vector>

namespace db {
class TDataSet;
}

namespace app {

// The dataset's current record as its 18 report lines, each value the field's own text (AsString: "3600",
// not "3600.00"), then the lines of its ERRORS. The date line is left out when the date cannot be written.
std::vector<std::string> StoredResultLines(const db::TDataSet& results);

}  // namespace app
