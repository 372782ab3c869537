// TgetpasswordForm: the password prompt through which the main window's gate admits the administrator.
#pragma once

#include <memory>

#include "app/forms/Form.h"

namespace Ui {
class TgetpasswordForm;
}

namespace app {

struct AppState;
class MessageService;

// Leaves its verdict in `passwordok`: false while it is open, true once an entry matched. A wrong entry
// keeps it open, as often as the user tries; Cancel leaves the verdict false.
class TgetpasswordForm : public TForm {
    Q_OBJECT

public:
    TgetpasswordForm(AppState& state, MessageService& messages, QWidget* parent = nullptr);
    ~TgetpasswordForm() override;

protected:
    void FormShow() override;

private:
    // OK: the entry against the stored password, both without surrounding blanks, byte for byte.
    void BitBtn1Click();

    std::unique_ptr<Ui::TgetpasswordForm> ui_;
    AppState& state_;
    MessageService& messages_;
};

}  // namespace app
