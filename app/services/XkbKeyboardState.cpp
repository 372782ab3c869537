#include "app/services/XkbKeyboardState.h"

#include "app/services/X11Display.h"

// The X11 headers come last: their macros (None, Bool, Status) clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace app {

namespace {

// The modifier bit the display's keymap gives Num Lock; 0 when it has none.
unsigned NumLockMask(Display* display) {
    return XkbKeysymToModifiers(display, XK_Num_Lock);
}

}  // namespace

void XkbKeyboardState::NumLockOn() {
    Display* display = X11Display();
    if (display == nullptr) return;
    const unsigned mask = NumLockMask(display);
    if (mask == 0) return;
    XkbLockModifiers(display, XkbUseCoreKbd, mask, mask);
    XSync(display, False);  // the state holds before the next key arrives
}

bool XkbKeyboardState::IsNumLockOn() const {
    Display* display = X11Display();
    if (display == nullptr) return false;
    const unsigned mask = NumLockMask(display);
    XkbStateRec state{};
    if (mask == 0 || XkbGetState(display, XkbUseCoreKbd, &state) != Success) return false;
    return (state.locked_mods & mask) != 0;
}

}  // namespace app
