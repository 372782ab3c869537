#include "components/dialogs/TARNISPasswordDialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <string>

#include "components/dialogs/DialogTexts.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"

namespace components::dialogs {

namespace {

using db::widgets::Guarded;
using db::widgets::ToBytes;
using db::widgets::ToQString;

// The form's client area and its controls' places (left, top, width, height), as the form was laid out;
// the edit and the three list buttons sit in the group box.
constexpr int kClientWidth = 273;
constexpr int kClientHeight = 132;
constexpr QRect kGroupBoxRect(8, 8, 257, 81);
constexpr QRect kEditRect(16, 18, 225, 21);
constexpr QRect kAddRect(16, 46, 65, 25);
constexpr QRect kRemoveRect(88, 46, 65, 25);
constexpr QRect kRemoveAllRect(160, 46, 81, 25);
constexpr QRect kOKRect(109, 98, 75, 25);
constexpr QRect kCancelRect(190, 98, 75, 25);

// The mask character of the password edit, '*' (42).
constexpr const char* kPasswordMaskStyle = "QLineEdit { lineedit-password-character: 42; }";

QPushButton* MakeButton(QWidget* parent, const char* name, std::string_view caption, const QRect& rect) {
    auto* button = new QPushButton(ToQString(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(rect);
    return button;
}

}  // namespace

TTARNISPasswordDialog::TTARNISPasswordDialog(TTARNISSession& session, QWidget* parent)
    : QDialog(parent), model_(session) {
    setObjectName(QStringLiteral("TARNISPasswordDialog"));
    setWindowTitle(ToQString(kPasswordDialogCaption));
    setFixedSize(kClientWidth, kClientHeight);

    GroupBox1 = new QGroupBox(ToQString(kPasswordGroupCaption), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(kGroupBoxRect);

    Edit = new QLineEdit(GroupBox1);
    Edit->setObjectName(QStringLiteral("Edit"));
    Edit->setGeometry(kEditRect);
    Edit->setEchoMode(QLineEdit::Password);
    Edit->setStyleSheet(QString::fromLatin1(kPasswordMaskStyle));

    AddButton = MakeButton(GroupBox1, "AddButton", kAddButtonCaption, kAddRect);
    RemoveButton = MakeButton(GroupBox1, "RemoveButton", kRemoveButtonCaption, kRemoveRect);
    RemoveAllButton = MakeButton(GroupBox1, "RemoveAllButton", kRemoveAllButtonCaption, kRemoveAllRect);
    OKButton = MakeButton(this, "OKButton", kOKButtonCaption, kOKRect);
    CancelButton = MakeButton(this, "CancelButton", kCancelButtonCaption, kCancelRect);
    OKButton->setDefault(true);

    setTabOrder(Edit, AddButton);
    setTabOrder(AddButton, RemoveButton);
    setTabOrder(RemoveButton, RemoveAllButton);
    setTabOrder(RemoveAllButton, OKButton);
    setTabOrder(OKButton, CancelButton);

    // textChanged, not textEdited: clearing the edit from here runs the rules too.
    connect(Edit, &QLineEdit::textChanged, this, &TTARNISPasswordDialog::EditChange);
    connect(AddButton, &QPushButton::clicked, this, &TTARNISPasswordDialog::AddButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TTARNISPasswordDialog::RemoveButtonClick);
    connect(RemoveAllButton, &QPushButton::clicked, this, &TTARNISPasswordDialog::RemoveAllButtonClick);
    connect(OKButton, &QPushButton::clicked, this, &TTARNISPasswordDialog::OKButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    UpdateButtons();
    Edit->setFocus();
}

void TTARNISPasswordDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Centred on the screen, not over the window that asked.
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TTARNISPasswordDialog::EditChange() {
    Guarded([&] { model_.EditChange(ToBytes(Edit->text())); });
    UpdateButtons();
}

void TTARNISPasswordDialog::AddButtonClick() {
    Guarded([&] { model_.AddButtonClick(); });
    ShowModelText();
    Edit->setFocus();
}

void TTARNISPasswordDialog::RemoveButtonClick() {
    Guarded([&] { model_.RemoveButtonClick(); });
    ShowModelText();
    Edit->setFocus();
}

void TTARNISPasswordDialog::RemoveAllButtonClick() {
    Guarded([&] { model_.RemoveAllButtonClick(); });
    ShowModelText();
    Edit->setFocus();
}

void TTARNISPasswordDialog::OKButtonClick() {
    // A password the session could not take keeps the dialog open.
    if (Guarded([&] { model_.OKButtonClick(); })) {
        accept();
        return;
    }
    Edit->setFocus();
}

void TTARNISPasswordDialog::ShowModelText() {
    // Only when the model changed the text: what the user typed stays as typed.
    if (ToBytes(Edit->text()) != model_.Text()) Edit->setText(ToQString(model_.Text()));
    UpdateButtons();
}

void TTARNISPasswordDialog::UpdateButtons() {
    AddButton->setEnabled(model_.AddEnabled());
    RemoveButton->setEnabled(model_.RemoveEnabled());
    OKButton->setEnabled(model_.OKEnabled());
}

bool PasswordDialog(TTARNISSession& session) {
    TTARNISPasswordDialog dialog(session, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace components::dialogs
