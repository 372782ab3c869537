// XkbKeyboardState: the keyboard's Num Lock through XKB on an X11 display; nothing on other platforms.
#pragma once

#include "app/core/KeyboardState.h"

namespace app {

// Reads the display of the running application at each call, so that it follows the platform Qt runs on.
class XkbKeyboardState final : public KeyboardState {
public:
    void NumLockOn() override;
    bool IsNumLockOn() const override;
};

}  // namespace app
