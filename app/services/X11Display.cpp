#include "app/services/X11Display.h"

#include <QGuiApplication>

// The X11 headers come last: their macros (None, Bool, Status) clash with Qt's names.
#include <X11/Xlib.h>

namespace app {

_XDisplay* X11Display() {
    if (qGuiApp == nullptr) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->display() : nullptr;
}

}  // namespace app
