// ModalAnswers: what a user does in each of the program's modal windows, as steps of a ModalScript: read the
// window's text, fill its fields, press its buttons.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QLineEdit;

#include "tests/support/ModalScript.h"

namespace e2e {

// The class names a ModalScript step expects.
inline const QString kMessageBox = QStringLiteral("QMessageBox");
inline const QString kNameDialog = QStringLiteral("app::Tgetnameform");
inline const QString kPasswordPrompt = QStringLiteral("app::TgetpasswordForm");
inline const QString kPasswordChange = QStringLiteral("app::Tpasswordchangeform");
inline const QString kSettingsDialog = QStringLiteral("app::Tsettingsform");
inline const QString kReportWindow = QStringLiteral("app::TshowitForm");
inline const QString kResultsWindow = QStringLiteral("app::TresultsForm");
inline const QString kAboutBox = QStringLiteral("app::Taboutform");
inline const QString kNumericScreen = QStringLiteral("app::Tnumerictestform");
inline const QString kAlphanumericScreen = QStringLiteral("app::Talphanumerictestform");
inline const QString kAlphaScreen = QStringLiteral("app::Talphatestform");
inline const QString kPreview = QStringLiteral("QPrintPreviewDialog");

// A message box as the user saw it.
struct SeenBox {
    QString title;
    QString text;
};

// Replaces the edit's text as a user does: into the edit, select all, type (Delete for no text).
void Rekey(QLineEdit& edit, const QString& text);

// Notes the box's title and text into `seen` (when given) and presses `button`; then the window it was over
// is active again, as a window manager makes it (the offscreen platform leaves no window active).
testsupport::ModalScript::TAction AnswerBox(SeenBox* seen, QMessageBox::StandardButton button = QMessageBox::Ok);
// Keys the names over what the name dialog shows (select all, type) and presses OK.
testsupport::ModalScript::TAction EnterName(const QString& first, const QString& last);
// Keys the text into a password dialog's Edit1 (and, for the change dialog, the same or `again` into Edit2)
// and presses OK.
testsupport::ModalScript::TAction EnterPassword(const QString& text);
testsupport::ModalScript::TAction ChangePassword(const QString& text, const QString& again);
// Notes the report window's lines into `lines` and presses its Close.
testsupport::ModalScript::TAction ReadReport(QStringList* lines);
// In the settings dialog: runs `change` on it (a user's clicks and keys), then presses Save.
testsupport::ModalScript::TAction SaveSettings(std::function<void(QWidget& dialog)> change);
// A user's click on the dialog's check box of that object name, when it is not already `checked`.
void SetChecked(QWidget& dialog, const QString& checkBox, bool checked);

// Presses the window's button of that object name ("BitBtn2", "closebtn").
testsupport::ModalScript::TAction PressButton(const QString& objectName);

}  // namespace e2e
