// Tdbfuncs: loads config.dat into the program's variables and writes the password and the testee's name back.
#pragma once

#include <string>
#include <string_view>

#include "components/TARNISTable.h"
#include "db/DataSource.h"

namespace app {

struct AppState;
class MessageService;

// Settings of every table component over config.dat, the dialog's included.
void ConfigureConfigTable(components::TTARNISTable& table);
// progdir + "config.dat".
std::string ConfigTablePath(const AppState& state);
// What the program says when it cannot read config.dat: the record file, the reason and how to make the
// table anew with keyvale-setup.
std::string ConfigUnreadableMessage(const AppState& state, std::string_view reason);

// The program's data module over config.dat. It holds the table open only for the length of one call;
// a call closes it first, so that a call that failed before its close leaves nothing behind for long.
class Tdbfuncs {
public:
    Tdbfuncs(AppState& state, MessageService& messages);
    Tdbfuncs(const Tdbfuncs&) = delete;
    Tdbfuncs& operator=(const Tdbfuncs&) = delete;

    // Reads the sixteen settings of the first record into the variables, each stored as soon as it is read.
    // Never raises: a failure closes the table, shows ConfigUnreadableMessage and returns false; the
    // variables read before it keep their new values, the others their previous ones.
    bool getconfig();
    // Writes `password` into its field; false when anything failed (nothing shown).
    bool savepassword();
    // Writes `fname` and `lname` into their fields; failures are swallowed.
    void savename();

    components::TTARNISTable configdb;
    db::TDataSource DataSource1;

private:
    // Close, name, open, first record.
    void OpenFirst();
    // OpenFirst, Edit, the assignments, Post, Close.
    template <class Assign>
    void WriteFields(Assign assign);

    AppState& state_;
    MessageService& messages_;
};

}  // namespace app
