#include "tests/app/e2e/support/TableReads.h"

#include <optional>
#include <stdexcept>

#include "components/SessionRuntime.h"
#include "components/TARNISTable.h"

namespace e2e {

namespace {

// A shared, read-only look that waits for no lock: what another copy of the program would see now.
void ReadTable(const std::string& path, const std::function<void(components::TTARNISTable&)>& read,
               const std::string& indexName = {}) {
    WithSessions([&] {
        components::TTARNISTable table;
        table.SetTableName(path);
        table.SetIndexName(indexName);
        table.SetLockRetryCount(0);
        table.Open();
        table.First();
        read(table);
        table.Close();
    });
}

}  // namespace

void WithSessions(const std::function<void()>& read) {
    std::optional<components::SessionRuntime> own;
    if (!components::SessionRuntime::Exists()) own.emplace();
    read();
}

testsupport::ConfigValues ReadConfig(const std::string& progdir) {
    testsupport::ConfigValues values;
    ReadTable(progdir + "config.dat", [&values](components::TTARNISTable& config) {
        values.realtime = config.FieldByName("realtime").AsInteger();
        values.practicetime = config.FieldByName("practicetime").AsInteger();
        values.fname = config.FieldByName("fname").AsString();
        values.lname = config.FieldByName("lname").AsString();
        values.password = config.FieldByName("password").AsString();
        values.useuppercase = config.FieldByName("useuppercase").AsBoolean();
        values.usedecimal = config.FieldByName("usedecimal").AsBoolean();
        values.presults = config.FieldByName("presults").AsBoolean();
        values.rresults = config.FieldByName("rresults").AsBoolean();
        values.showinstructions = config.FieldByName("showinstructions").AsBoolean();
        values.remembername = config.FieldByName("remembername").AsBoolean();
        values.scalefactor = config.FieldByName("scalefactor").AsInteger();
        values.width = config.FieldByName("width").AsInteger();
        values.sort = config.FieldByName("sort").AsInteger();
        values.filter = config.FieldByName("filter").AsInteger();
        values.autoadvance = config.FieldByName("autoadvance").AsBoolean();
    });
    return values;
}

std::vector<testsupport::StoredResult> ReadResults(const std::string& progdir) {
    std::vector<testsupport::StoredResult> results;
    ReadTable(progdir + "results.dat", [&results](components::TTARNISTable& table) {
        for (; !table.Eof(); table.Next()) {
            testsupport::StoredResult r;
            r.name = table.FieldByName("NAME").AsString();
            r.nkph = table.FieldByName("NKPH").AsFloat();
            r.kph = table.FieldByName("KPH").AsFloat();
            r.toterrs = table.FieldByName("TOTERRS").AsInteger();
            r.flderrs = table.FieldByName("FLDERRS").AsInteger();
            r.testtime = table.FieldByName("TESTTIME").AsDateTime();
            r.testdate = table.FieldByName("TESTDATE").AsDateTime();
            r.time = table.FieldByName("TIME").AsFloat();
            r.totalflds = table.FieldByName("TOTALFLDS").AsInteger();
            r.totalks = table.FieldByName("TOTALKS").AsInteger();
            r.accuracy = table.FieldByName("ACCURACY").AsFloat();
            r.testtype = table.FieldByName("TESTTYPE").AsString();
            r.errors = table.FieldByName("ERRORS").AsString();
            results.push_back(std::move(r));
        }
    });
    return results;
}

std::vector<std::string> ReadRecordTexts(const std::string& progdir, const std::string& table,
                                         const std::string& indexName, int recordNumber,
                                         const std::vector<std::string>& fields) {
    std::vector<std::string> texts;
    ReadTable(
        progdir + table,
        [&](components::TTARNISTable& source) {
            if (source.MoveBy(recordNumber - 1) != recordNumber - 1) {
                throw std::out_of_range(table + " has no record " + std::to_string(recordNumber));
            }
            for (const std::string& field : fields) texts.push_back(source.FieldByName(field).AsString());
        },
        indexName);
    return texts;
}

}  // namespace e2e
