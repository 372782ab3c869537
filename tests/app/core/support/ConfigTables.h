// ConfigTables: a program directory's application tables as keyvale-setup makes them, with the config
// record's values and definition chosen by the test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "app/core/RandomSource.h"
#include "db/Field.h"
#include "rtl/DateTime.h"
#include "tools/keyvale-setup/ApplicationRecords.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace testsupport {

// The config record; the defaults are keyvale-setup's.
struct ConfigValues {
    std::int32_t realtime = 5;
    std::int32_t practicetime = 5;
    std::string fname;
    std::string lname;
    std::string password;
    bool useuppercase = false;
    bool usedecimal = false;
    bool presults = true;
    bool rresults = true;
    bool showinstructions = false;
    bool remembername = true;
    std::int32_t scalefactor = 0;
    std::int32_t width = 5;
    std::int32_t sort = 0;
    std::int32_t filter = 0;
    bool autoadvance = false;
};

inline const keyvalesetup::TableSpec& ConfigSpec() {
    return *keyvalesetup::FindApplicationTable("config");
}

// The config definition without one field.
inline keyvalesetup::TableSpec ConfigWithout(const std::string& field) {
    keyvalesetup::TableSpec spec = ConfigSpec();
    std::erase_if(spec.fields, [&field](const keyvalesetup::FieldSpec& f) { return f.name == field; });
    return spec;
}

// The config definition with a validity maximum on one field.
inline keyvalesetup::TableSpec ConfigWithMaximum(const std::string& field, const std::string& maximum) {
    keyvalesetup::TableSpec spec = ConfigSpec();
    const auto found = std::find_if(spec.fields.begin(), spec.fields.end(),
                                    [&field](const keyvalesetup::FieldSpec& f) { return f.name == field; });
    if (found == spec.fields.end()) throw std::logic_error("config has no field " + field);
    found->maxValue = maximum;
    return spec;
}

// Creates config.dat in `directory` (with its trailing "/") from `spec` and writes its one record; a field
// the definition lacks is skipped. The session runtime must live.
inline void CreateConfigTable(const std::string& directory, const ConfigValues& values,
                              const keyvalesetup::TableSpec& spec = ConfigSpec()) {
    keyvalesetup::CreateApplicationTable(directory, spec);
    keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(directory, spec), [&](db::TDataSet& config) {
        config.Insert();
        const auto set = [&config](const char* name, const auto& value) {
            db::TField* field = config.FindField(name);
            if (field == nullptr) return;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                field->SetAsBoolean(value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                field->SetAsString(value);
            } else {
                field->SetAsInteger(value);
            }
        };
        set("realtime", values.realtime);
        set("practicetime", values.practicetime);
        set("fname", values.fname);
        set("lname", values.lname);
        set("password", values.password);
        set("useuppercase", values.useuppercase);
        set("usedecimal", values.usedecimal);
        set("presults", values.presults);
        set("rresults", values.rresults);
        set("showinstructions", values.showinstructions);
        set("remembername", values.remembername);
        set("scalefactor", values.scalefactor);
        set("width", values.width);
        set("sort", values.sort);
        set("filter", values.filter);
        set("autoadvance", values.autoadvance);
        config.Post();
    });
}

// Records an invsort table small enough for a test.
inline constexpr int kTestInvsortRecords = 10;

// All four tables of the program, seeded: config from `values`, an empty results table, a small invsort and
// the numeric test's records, drawn from `random`.
inline void CreateApplicationTables(const std::string& directory, const ConfigValues& values,
                                    app::RandomSource& random) {
    using keyvalesetup::TableId;
    for (const keyvalesetup::TableSpec& table : keyvalesetup::ApplicationTables()) {
        if (table.id == TableId::Config) {
            CreateConfigTable(directory, values, table);
            continue;
        }
        keyvalesetup::CreateApplicationTable(directory, table);
        if (table.id == TableId::Results) continue;
        keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(directory, table), [&](db::TDataSet& data) {
            if (table.id == TableId::Invsort) {
                keyvalesetup::WriteInvsortRecords(data, random, kTestInvsortRecords, rtl::Date());
            } else {
                keyvalesetup::WriteNumericRecords(data, random, values.width);
            }
        });
    }
}

}  // namespace testsupport
