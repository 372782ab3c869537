#include "app/services/WindowHints.h"

#include <QWidget>

#include <array>

#include "app/services/X11Display.h"

// The X11 headers come last: their macros (None, Bool, Status) clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace app {

namespace {

// The _MOTIF_WM_HINTS property: five 32-bit items (flags, functions, decorations, input mode, status), with
// the bits of the Motif window manager's MwmUtil.h.
constexpr long kMwmHintsFunctions = 1L << 0;
constexpr long kMwmHintsDecorations = 1L << 1;
constexpr long kMwmFuncMove = 1L << 2;
constexpr long kMwmDecorBorder = 1L << 1;
constexpr long kMwmDecorTitle = 1L << 3;
constexpr int kMwmHintItems = 5;

}  // namespace

void AllowMoveOnly(QWidget& window) {
    Display* display = X11Display();
    if (display == nullptr || !window.isWindow()) return;
    const Atom property = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    // Format 32 takes longs, whatever their size.
    const std::array<long, kMwmHintItems> hints = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove,
                                                   kMwmDecorBorder | kMwmDecorTitle, 0, 0};
    XChangeProperty(display, static_cast<Window>(window.winId()), property, property, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints.data()), kMwmHintItems);
    XFlush(display);
}

}  // namespace app
