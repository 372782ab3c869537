#include "db/widgets/CodePageValidator.h"

#include "db/widgets/QtText.h"

namespace db::widgets {

TCodePageValidator::TCodePageValidator(QObject* parent) : QValidator(parent) {}

QValidator::State TCodePageValidator::validate(QString& input, int&) const {
    return InCodePage(input) ? Acceptable : Invalid;
}

}  // namespace db::widgets
