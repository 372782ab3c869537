#include "app/core/funcs.h"

#include <string>

#include "app/core/Texts.h"

namespace app {

EminInvalid::EminInvalid() : rtl::Exception(std::string(kInvalidCompare)) {}

double secondsofday(rtl::TDateTime timeOfDay) {
    int hour = 0;
    int min = 0;
    int sec = 0;
    int msec = 0;
    rtl::DecodeTime(timeOfDay, hour, min, sec, msec);
    return hour * 3600.0 + min * 60.0 + sec + msec / 1000.0;
}

rtl::Variant maxvariant(const rtl::Variant& a, const rtl::Variant& b) {
    int order = 0;
    try {
        order = rtl::VarCompare(a, b);
    } catch (const rtl::EConvertError&) {  // EVariantError included
        throw EminInvalid();
    }
    return order > 0 ? a : b;
}

}  // namespace app
