#include "rtl/BooleanText.h"

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Messages.h"
#include "rtl/Text.h"

namespace rtl {

std::string BoolToStr(bool value) {
    return std::string(value ? kTrueText : kFalseText);
}

bool TryStrToBool(std::string_view text, bool& value) noexcept {
    if (AnsiSameText(text, kTrueText)) {
        value = true;
        return true;
    }
    if (AnsiSameText(text, kFalseText)) {
        value = false;
        return true;
    }
    return false;
}

bool StrToBool(std::string_view text) {
    bool value = false;
    if (!TryStrToBool(text, value)) throw EConvertError(Format(kInvalidBoolean, {text}));
    return value;
}

}  // namespace rtl
