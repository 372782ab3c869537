#include "app/services/WindowHints.h"

#include <QGuiApplication>
#include <QTest>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "app/forms/Form.h"
#include "app/services/X11Display.h"

// The X11 headers come last: their macros clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace app {
namespace {

bool OnX11() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

// The window's _MOTIF_WM_HINTS items (flags, functions, decorations); empty when it has none.
std::vector<long> MotifHints(const QWidget& window) {
    Display* display = X11Display();
    const Atom property = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<long> hints;
    if (XGetWindowProperty(display, static_cast<Window>(window.winId()), property, 0, 5, False, property, &type,
                           &format, &items, &after, &data) == Success &&
        data != nullptr) {
        const auto* values = reinterpret_cast<const long*>(data);
        hints.assign(values, values + std::min<unsigned long>(items, 3));
    }
    if (data != nullptr) XFree(data);
    return hints;
}

// Runs on an X server (CTest's WindowHintsOnX11 starts a virtual one). A dialog without system buttons
// lets the window manager move it and nothing else: no minimise, no maximise, no close.
TEST(WindowHints, ADialogWithoutSystemButtonsAllowsMovingOnly) {
    if (!OnX11()) GTEST_SKIP() << "needs the xcb platform; runs as WindowHintsOnX11";
    TForm dialog;
    dialog.SetNoSystemButtons();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    constexpr long kFunctionsAndDecorations = 1 | 2;
    constexpr long kMoveOnly = 4;
    constexpr long kBorderAndTitle = 2 | 8;
    EXPECT_EQ(MotifHints(dialog), (std::vector<long>{kFunctionsAndDecorations, kMoveOnly, kBorderAndTitle}));
    dialog.hide();

    // Any other form keeps Qt's own hints.
    TForm plain;
    plain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
    const std::vector<long> hints = MotifHints(plain);
    EXPECT_TRUE(hints.size() < 2 || hints[1] != kMoveOnly);
}

}  // namespace
}  // namespace app
