#include "db/FieldText.h"

#include "db/Messages.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Text.h"

namespace db {

std::string BooleanToText(bool value) {
    return std::string(value ? kTextTrue : kTextFalse);
}

bool TextToBoolean(std::string_view text) {
    if (rtl::AnsiSameText(text, kTextTrue)) return true;
    if (rtl::AnsiSameText(text, kTextFalse)) return false;
    throw rtl::EConvertError(rtl::Format(kInvalidBoolean, {text}));
}

}  // namespace db
