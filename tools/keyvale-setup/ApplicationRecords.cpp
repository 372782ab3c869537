#include "tools/keyvale-setup/ApplicationRecords.h"

#include <string>

#include "app/core/TestDataGenerators.h"
#include "db/Field.h"
#include "rtl/Exceptions.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/InvsortWords.h"
#include "tools/keyvale-setup/SetupTexts.h"

namespace keyvalesetup {
namespace {

void SetInteger(db::TDataSet& table, const char* name, std::int32_t value) {
    table.FieldByName(name).SetAsInteger(value);
}

void SetBoolean(db::TDataSet& table, const char* name, bool value) {
    table.FieldByName(name).SetAsBoolean(value);
}

void SetString(db::TDataSet& table, const char* name, const std::string& value) {
    table.FieldByName(name).SetAsString(value);
}

}  // namespace

void WriteConfigRecord(db::TDataSet& config) {
    config.Insert();
    SetInteger(config, "realtime", 5);
    SetInteger(config, "practicetime", 5);
    SetString(config, "fname", "");
    SetString(config, "lname", "");
    SetString(config, "password", "");
    SetBoolean(config, "useuppercase", false);
    SetBoolean(config, "usedecimal", false);
    SetBoolean(config, "presults", true);
    SetBoolean(config, "rresults", true);
    SetBoolean(config, "showinstructions", false);
    SetBoolean(config, "remembername", true);
    SetInteger(config, "scalefactor", 0);
    SetInteger(config, "width", 5);
    SetInteger(config, "sort", 0);
    SetInteger(config, "filter", 0);
    SetBoolean(config, "autoadvance", false);
    config.Post();
}

std::int32_t ReadConfigWidth(db::TDataSet& config) {
    config.First();
    if (config.Eof()) throw rtl::Exception(std::string(texts::kConfigEmpty));
    return config.FieldByName("width").AsInteger();
}

void WriteInvsortRecords(db::TDataSet& invsort, app::RandomSource& random, int count, rtl::TDateTime today) {
    for (int i = 0; i < count; ++i) {
        const app::InvsortValues values = app::NewInvsortValues(random, today);
        const InvsortPerson person = DrawPerson(random);
        invsort.Insert();
        SetString(invsort, "idxkey", values.idxkey);
        SetString(invsort, "date", values.date);
        SetInteger(invsort, "invoice", values.invoice);
        SetString(invsort, "amount", values.amount);
        SetString(invsort, "FIRST", person.first);
        SetString(invsort, "LAST", person.last);
        SetString(invsort, "STREET", person.street);
        SetString(invsort, "CITY", person.city);
        invsort.Post();
    }
}

void WriteNumericRecords(db::TDataSet& numeric, app::RandomSource& random, std::int32_t width) {
    for (int i = 0; i < kNumericRecords; ++i) {
        numeric.Insert();
        for (int position = 1; position <= kNumericPositions; ++position) {
            numeric.FieldByName(NumericField("n", position)).SetAsInteger(app::getinteger(random, width));
        }
        for (int position = 1; position <= kNumericPositions; ++position) {
            numeric.FieldByName(NumericField("nd", position)).SetAsFloat(app::getdecimal(random, width));
        }
        numeric.Post();
    }
}

}  // namespace keyvalesetup
