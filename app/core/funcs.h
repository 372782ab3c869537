// funcs: the test screens' helpers: seconds of the day and the larger of two variants.
#pragma once

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Variant.h"

namespace app {

// A comparison that maxvariant could not make; its message is "Invalid compare".
class EminInvalid : public rtl::Exception {
public:
    EminInvalid();
};

// The seconds since midnight of a time of day (its date part is ignored), the milliseconds as thousandths:
// hours times 3600 plus minutes times 60 plus seconds plus milliseconds over 1000.
double secondsofday(rtl::TDateTime timeOfDay);

// `a` when it compares greater than `b`, else `b`. A comparison the variants do not allow raises
// EminInvalid.
rtl::Variant maxvariant(const rtl::Variant& a, const rtl::Variant& b);

}  // namespace app
