#include "rtl/FormatSettings.h"

#include <utility>

namespace rtl {

const FormatSettings& DefaultFormatSettings() {
    static const FormatSettings defaults;
    return defaults;
}

FormatSettings& CurrentFormatSettings() {
    thread_local FormatSettings current;
    return current;
}

FormatSettingsGuard::FormatSettingsGuard(const FormatSettings& settings) : saved_(CurrentFormatSettings()) {
    CurrentFormatSettings() = settings;
}

FormatSettingsGuard::~FormatSettingsGuard() {
    CurrentFormatSettings() = std::move(saved_);
}

}  // namespace rtl
