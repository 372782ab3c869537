// Tpasswordchangeform: sets, changes or clears the administrator password stored in config.dat.
#pragma once

#include <memory>
#include <string>

#include "app/forms/Form.h"

namespace Ui {
class Tpasswordchangeform;
}

namespace app {

struct AppState;
class MessageService;
class Tdbfuncs;

// The two entries must match exactly; the password kept is the entry without surrounding blanks, and two
// empty entries switch the password off. A save that fails leaves the old password in memory and in the
// file. Cancel, Esc and the close box all say that nothing changed.
class Tpasswordchangeform : public TForm {
    Q_OBJECT

public:
    Tpasswordchangeform(AppState& state, MessageService& messages, Tdbfuncs& dbfuncs, QWidget* parent = nullptr);
    ~Tpasswordchangeform() override;

protected:
    void FormShow() override;
    void CloseRequested() override;

private:
    void BitBtn1Click();
    void BitBtn2Click();

    std::unique_ptr<Ui::Tpasswordchangeform> ui_;
    AppState& state_;
    MessageService& messages_;
    Tdbfuncs& dbfuncs_;
    // The password when the dialog was shown, restored when saving fails.
    std::string oldPassword_;
};

}  // namespace app
