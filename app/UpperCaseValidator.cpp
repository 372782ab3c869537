#include "app/UpperCaseValidator.h"

#include "db/widgets/QtText.h"
#include "rtl/Text.h"

namespace app {

TUpperCaseValidator::TUpperCaseValidator(QObject* parent) : db::widgets::TCodePageValidator(parent) {}

QValidator::State TUpperCaseValidator::validate(QString& input, int& position) const {
    const State state = db::widgets::TCodePageValidator::validate(input, position);
    if (state == Invalid) return state;
    // Every character has its byte here, so the text keeps its length and the caret its place.
    std::string bytes = db::widgets::ToBytes(input);
    for (char& c : bytes) c = rtl::AnsiUpperChar(c);
    input = db::widgets::ToQString(bytes);
    return state;
}

}  // namespace app
