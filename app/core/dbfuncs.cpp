#include "app/core/dbfuncs.h"

#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "app/core/TableOpen.h"
#include "app/core/Texts.h"
#include "app/core/ExceptionText.h"
#include "db/Field.h"
#include "engine/table/DataFile.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Text.h"

namespace app {

namespace {

// Both components over config.dat: several copies of the program share the record, so a lock held by one
// is waited for 15 times 100 ms; the one record needs no write-through.
constexpr std::uint8_t kConfigLockRetryCount = 15;
constexpr std::uint16_t kConfigLockWaitTime = 100;

}  // namespace

void ConfigureConfigTable(components::TTARNISTable& table) {
    table.SetLockRetryCount(kConfigLockRetryCount);
    table.SetLockWaitTime(kConfigLockWaitTime);
    table.SetForceBufferFlush(false);
}

std::string ConfigTablePath(const AppState& state) {
    return state.progdir + std::string(kConfigTable);
}

Tdbfuncs::Tdbfuncs(AppState& state, MessageService& messages) : state_(state), messages_(messages) {
    ConfigureConfigTable(configdb);
    DataSource1.SetDataSet(&configdb);
}

std::string ConfigUnreadableMessage(const AppState& state, std::string_view reason) {
    std::string message(kErrorReadingConfig);
    message += kConfigFileIs;
    message += engine::TDataFile().TranslateFileName(ConfigTablePath(state));
    message += "\n\n";
    message += WithFullStop(std::string(reason));
    message += "\n\n";
    message += kConfigUnreadableEnd;
    message += '\n';
    message += kConfigSetupCommand;
    message += state.progdir;
    message += kConfigSetupTable;
    return message;
}

void Tdbfuncs::OpenFirst() {
    configdb.Close();
    configdb.SetTableName(ConfigTablePath(state_));
    OpenTable(configdb);
    configdb.First();
}

bool Tdbfuncs::getconfig() {
    configdb.Close();
    try {
        OpenFirst();
        const auto integer = [this](std::string_view name) { return configdb.FieldByName(name).AsInteger(); };
        const auto string = [this](std::string_view name) { return configdb.FieldByName(name).AsString(); };
        const auto boolean = [this](std::string_view name) { return configdb.FieldByName(name).AsBoolean(); };
        state_.realtime = integer("realtime");
        state_.practicetime = integer("practicetime");
        state_.fname = string("fname");
        state_.lname = string("lname");
        // Upper-cased as it is read: a load that fails further on must not leave a password whose
        // lower-case letters the prompt, which upper-cases what is typed, could never match.
        state_.password = rtl::AnsiUpperCase(string("password"));
        state_.useuppercase = boolean("useuppercase");
        state_.usedecimal = boolean("usedecimal");
        state_.presults = boolean("presults");
        state_.rresults = boolean("rresults");
        state_.showinstructions = boolean("showinstructions");
        state_.remembername = boolean("remembername");
        state_.scalefactor = integer("scalefactor");
        state_.width = integer("width");
        state_.sort = integer("sort");
        state_.filter = integer("filter");
        state_.autoadvance = boolean("autoadvance");
        configdb.Close();
        return true;
    } catch (...) {
        const std::string reason = rtl::ExceptionMessage(std::current_exception());
        try {
            configdb.Close();
        } catch (...) {
            // The message below covers it; the next call closes again.
        }
        messages_.ShowError(ConfigUnreadableMessage(state_, reason));
        return false;
    }
}

template <class Assign>
void Tdbfuncs::WriteFields(Assign assign) {
    OpenFirst();
    configdb.Edit();
    assign();
    configdb.Post();
    configdb.Close();
}

bool Tdbfuncs::savepassword() {
    try {
        WriteFields([this] { configdb.FieldByName("password").SetAsString(state_.password); });
        return true;
    } catch (...) {
        return false;
    }
}

void Tdbfuncs::savename() {
    try {
        WriteFields([this] {
            configdb.FieldByName("fname").SetAsString(state_.fname);
            configdb.FieldByName("lname").SetAsString(state_.lname);
        });
    } catch (...) {
        // The stored name stays as it was.
    }
}

}  // namespace app
