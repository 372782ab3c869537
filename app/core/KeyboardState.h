// KeyboardState: the keyboard's lock keys as the numeric test needs them.
#pragma once

namespace app {

class KeyboardState {
public:
    virtual ~KeyboardState();

    // Switches Num Lock on; does nothing where the platform has no keyboard state to set.
    virtual void NumLockOn() = 0;
    // Whether Num Lock is on; false where the platform cannot tell.
    virtual bool IsNumLockOn() const = 0;
};

}  // namespace app
