// ApplicationRecords: the records keyvale-setup writes into the new tables, through any open dataset.
#pragma once

#include <cstdint>

#include "app/core/RandomSource.h"
#include "app/core/TestDataGenerators.h"
#include "db/DataSet.h"
#include "rtl/DateTime.h"

namespace keyvalesetup {

// The settings a new program starts with: 5-minute tests, results shown, the name remembered, numbers of
// width 5, no password (so the first administrator gets in at once).
void WriteConfigRecord(db::TDataSet& config);

// The numeric width of an open config table: its first record's `width`. Raises when the table has no
// record or no such field.
std::int32_t ReadConfigWidth(db::TDataSet& config);

// `count` invsort records, each with NewInvsortValues' draws (key, date before `today` in the current short
// date format, invoice, amount) and then DrawPerson's names and address.
void WriteInvsortRecords(db::TDataSet& invsort, app::RandomSource& random, int count, rtl::TDateTime today);

// The numeric test's 200 records: n1..n25 from getinteger, then nd1..nd25 from getdecimal, at `width`.
void WriteNumericRecords(db::TDataSet& numeric, app::RandomSource& random, std::int32_t width);

// The numeric test holds 200 screens.
inline constexpr int kNumericRecords = app::kNumericRecords;

}  // namespace keyvalesetup
