// TUpperCaseValidator: turns what is typed or pasted into an edit to upper case, one character for one.
#pragma once

#include "db/widgets/CodePageValidator.h"

namespace app {

// The program's upper case of Windows-1252 (rtl::AnsiUpperChar), so an edit holds what the data's own
// upper-casing gives; characters the code page lacks are refused as by TCodePageValidator.
class TUpperCaseValidator : public db::widgets::TCodePageValidator {
    Q_OBJECT

public:
    explicit TUpperCaseValidator(QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;
};

}  // namespace app
