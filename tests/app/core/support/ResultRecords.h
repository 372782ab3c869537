// ResultRecords: stored results written into a program directory's results.dat, as scoring stores them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/DataSet.h"
#include "db/Field.h"
#include "rtl/DateTime.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace testsupport {

struct StoredResult {
    std::string name;
    std::string testtype = "alpha";
    double kph = 3600;
    double nkph = 3528;
    double accuracy = 98;
    std::int32_t totalks = 300;
    std::int32_t toterrs = 6;
    std::int32_t totalflds = 40;
    std::int32_t flderrs = 2;
    double time = 5;
    rtl::TDateTime testdate = rtl::EncodeDate(2024, 1, 10);
    rtl::TDateTime testtime = rtl::EncodeTime(9, 15, 0, 0);
    std::string errors;
};

inline const keyvalesetup::TableSpec& ResultsSpec() {
    return *keyvalesetup::FindApplicationTable("results");
}

// Appends the results to the directory's results.dat (with its trailing "/"); the session runtime must live.
inline void AddResults(const std::string& directory, const std::vector<StoredResult>& results) {
    keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(directory, ResultsSpec()), [&](db::TDataSet& table) {
        for (const StoredResult& r : results) {
            table.Insert();
            table.FieldByName("NAME").SetAsString(r.name);
            table.FieldByName("NKPH").SetAsFloat(r.nkph);
            table.FieldByName("KPH").SetAsFloat(r.kph);
            table.FieldByName("TOTERRS").SetAsInteger(r.toterrs);
            table.FieldByName("FLDERRS").SetAsInteger(r.flderrs);
            table.FieldByName("TESTTIME").SetAsDateTime(r.testtime);
            table.FieldByName("TESTDATE").SetAsDateTime(r.testdate);
            table.FieldByName("TIME").SetAsFloat(r.time);
            table.FieldByName("TOTALFLDS").SetAsInteger(r.totalflds);
            table.FieldByName("TOTALKS").SetAsInteger(r.totalks);
            table.FieldByName("ACCURACY").SetAsFloat(r.accuracy);
            table.FieldByName("TESTTYPE").SetAsString(r.testtype);
            table.FieldByName("ERRORS").SetAsString(r.errors);
            table.Post();
        }
    });
}

}  // namespace testsupport
