#include "app/services/XkbKeyboardState.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include "tests/support/ServiceDoubles.h"

// The X11 headers come last: their macros clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace app {
namespace {

bool OnX11() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

// Switches Num Lock off behind the program's back, as a user's key would.
void NumLockOff() {
    Display* display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    const unsigned mask = XkbKeysymToModifiers(display, XK_Num_Lock);
    ASSERT_NE(mask, 0u) << "the display's keymap has no Num Lock";
    XkbLockModifiers(display, XkbUseCoreKbd, mask, 0);
    XSync(display, False);
}

// Runs on an X server (CTest's XkbKeyboardStateOnX11 starts a virtual one).
TEST(XkbKeyboardState, SwitchesNumLockOnOnX11) {
    if (!OnX11()) GTEST_SKIP() << "needs the xcb platform; runs as XkbKeyboardStateOnX11";
    XkbKeyboardState keyboard;
    NumLockOff();
    EXPECT_FALSE(keyboard.IsNumLockOn());
    keyboard.NumLockOn();
    EXPECT_TRUE(keyboard.IsNumLockOn());
    keyboard.NumLockOn();  // on stays on
    EXPECT_TRUE(keyboard.IsNumLockOn());
}

TEST(XkbKeyboardStateElsewhere, DoesNothingWithoutAnX11Display) {
    if (OnX11()) GTEST_SKIP() << "runs on the other platforms";
    XkbKeyboardState keyboard;
    keyboard.NumLockOn();
    EXPECT_FALSE(keyboard.IsNumLockOn());
}

TEST(RecordingKeyboardStateTest, RecordsTheCallsAndKeepsTheState) {
    testsupport::RecordingKeyboardState keyboard;
    EXPECT_FALSE(keyboard.IsNumLockOn());
    keyboard.NumLockOn();
    EXPECT_TRUE(keyboard.IsNumLockOn());
    EXPECT_EQ(keyboard.Calls(), (std::vector<std::string>{"IsNumLockOn", "NumLockOn", "IsNumLockOn"}));
}

}  // namespace
}  // namespace app
