// TTARNISPasswordDialog: the modal "Enter password" dialog that edits a session's table passwords.
#pragma once

#include <QDialog>

#include "components/PasswordDialogModel.h"
#include "components/TARNISSession.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace components::dialogs {

// A thin view over PasswordDialogModel, which holds every rule. OK closes with Accepted, Cancel and Esc with
// Rejected; the list keeps the changes made either way. Enter presses OK while it is enabled.
class TTARNISPasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit TTARNISPasswordDialog(TTARNISSession& session, QWidget* parent = nullptr);

    // The dialog's controls, named as their object names.
    QGroupBox* GroupBox1;
    QLineEdit* Edit;
    QPushButton* AddButton;
    QPushButton* RemoveButton;
    QPushButton* RemoveAllButton;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    const PasswordDialogModel& Model() const noexcept { return model_; }

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void EditChange();
    void AddButtonClick();
    void RemoveButtonClick();
    void RemoveAllButtonClick();
    void OKButtonClick();

private:
    // Shows the model's text when a button changed it, then UpdateButtons.
    void ShowModelText();
    // Enables the buttons as the model says.
    void UpdateButtons();

    PasswordDialogModel model_;
};

// Shows the dialog for the session, modal over the active window; true when it closed with OK. The program
// installs it as the session runtime's password hook.
bool PasswordDialog(TTARNISSession& session);

}  // namespace components::dialogs
