// TableReads: what a program directory's config.dat and results.dat hold, read through the table component,
// so that a scenario checks the program against its files rather than against what it assumes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/app/core/support/ConfigTables.h"
#include "tests/app/core/support/ResultRecords.h"

namespace e2e {

// Runs `read` with a session runtime: the running program's, or one of its own for the call when no
// program runs.
void WithSessions(const std::function<void()>& read);

// The settings of config.dat's record (`progdir` with its trailing "/"). Raises the engine's exception when
// the table cannot be read.
testsupport::ConfigValues ReadConfig(const std::string& progdir);

// Every record of results.dat in its natural order, the thirteen fields as stored.
std::vector<testsupport::StoredResult> ReadResults(const std::string& progdir);

// The fields' texts of record `recordNumber` (from 1) of a table of the program directory in the order of
// `indexName` ("" for the natural order): what a test screen shows of that source record.
std::vector<std::string> ReadRecordTexts(const std::string& progdir, const std::string& table,
                                         const std::string& indexName, int recordNumber,
                                         const std::vector<std::string>& fields);

}  // namespace e2e
