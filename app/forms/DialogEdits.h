// DialogEdits: the entry edits of the password and name dialogs: what they let in and how they show it.
#pragma once

#include <QValidator>

class QLineEdit;

namespace app {

// The longest password the dialogs take, in characters.
inline constexpr int kPasswordMaxLength = 10;

// Upper-cases every character one for one with the code page's own case mapping (what loading the
// settings applies to the stored password), and refuses a character that Windows-1252 lacks, so typing
// and pasting alike hold exactly what config.dat will store.
class TUpperCaseValidator : public QValidator {
    Q_OBJECT

public:
    explicit TUpperCaseValidator(QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;
};

// At most kPasswordMaxLength characters, each shown as "*", upper-cased as typed.
void SetupPasswordEdit(QLineEdit& edit);
// No length limit, the case as typed; only characters of the code page.
void SetupNameEdit(QLineEdit& edit);

}  // namespace app
