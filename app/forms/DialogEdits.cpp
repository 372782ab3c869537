#include "app/forms/DialogEdits.h"

#include <QLineEdit>

#include <string>

#include "app/core/Texts.h"
#include "db/widgets/CodePageValidator.h"
#include "db/widgets/QtText.h"
#include "rtl/Text.h"

namespace app {

TUpperCaseValidator::TUpperCaseValidator(QObject* parent) : QValidator(parent) {}

QValidator::State TUpperCaseValidator::validate(QString& input, int&) const {
    if (!db::widgets::InCodePage(input)) return Invalid;
    std::string bytes = db::widgets::ToBytes(input);
    for (char& c : bytes) c = rtl::AnsiUpperChar(c);
    // One character for one, so the cursor stays where it was.
    input = db::widgets::ToQString(bytes);
    return Acceptable;
}

void SetupPasswordEdit(QLineEdit& edit) {
    edit.setEchoMode(QLineEdit::Password);
    // The mask character as a code point for the style sheet.
    const int mask = db::widgets::ToQString(kPasswordMask).at(0).unicode();
    edit.setStyleSheet(QStringLiteral("lineedit-password-character: %1").arg(mask));
    edit.setMaxLength(kPasswordMaxLength);
    edit.setValidator(new TUpperCaseValidator(&edit));
}

void SetupNameEdit(QLineEdit& edit) {
    edit.setValidator(new db::widgets::TCodePageValidator(&edit));
}

}  // namespace app
