#include "app/forms/Colors.h"

#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(ColorsTest, TheNamedColoursAreTheirRedGreenAndBlue) {
    const struct {
        controls::BgrColor color;
        QColor qt;
    } cases[] = {
        {kBackgroundColor, QColor(0xC0, 0xDC, 0xC0)},
        {kNavy, QColor(0, 0, 0x80)},
        {kTeal, QColor(0, 0x80, 0x80)},
        {kYellow, QColor(0xFF, 0xFF, 0)},
    };
    for (const auto& c : cases) EXPECT_EQ(controls::ColorFromBgr(c.color), c.qt) << c.qt.name().toStdString();
}

TEST(ColorsTest, AWidgetTakesItsBackgroundAndTextColour) {
    QWidget panel;
    SetBackgroundColor(panel, kTeal);
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(0, 0x80, 0x80));
    EXPECT_TRUE(panel.autoFillBackground());
    QLabel label;
    SetTextColor(label, kNavy);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
}

}  // namespace
}  // namespace app
