// TCodePageValidator: refuses, at entry, text with characters that Windows-1252 lacks.
#pragma once

#include <QValidator>

namespace db::widgets {

// Typing, pasting or dropping such a character leaves the edit as it was, so nothing is stored as '?'.
class TCodePageValidator : public QValidator {
    Q_OBJECT

public:
    explicit TCodePageValidator(QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;
};

}  // namespace db::widgets
