#include "app/controls/BgrColor.h"

#include <gtest/gtest.h>

namespace controls {
namespace {

TEST(BgrColor, ConvertsBothWays) {
    struct Case {
        BgrColor bgr;
        int red, green, blue;
    };
    const Case cases[] = {
        {0x000000, 0, 0, 0},       {0xFFFFFF, 255, 255, 255}, {0x0000FF, 255, 0, 0},
        {0x00FF00, 0, 255, 0},     {0xFF0000, 0, 0, 255},     {0x808000, 0, 128, 128},  // teal
        {0xC0DCC0, 192, 220, 192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.bgr);
        const QColor color = ColorFromBgr(c.bgr);
        EXPECT_EQ(color, QColor(c.red, c.green, c.blue));
        EXPECT_EQ(BgrFromColor(color), c.bgr);
        EXPECT_EQ(MakeBgr(c.red, c.green, c.blue), c.bgr);
    }
}

TEST(BgrColor, HighByteIsNotPartOfTheColour) {
    EXPECT_EQ(ColorFromBgr(0xFF123456), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(ColorFromBgr(0x80000005), QColor(0x05, 0x00, 0x00));
}

TEST(BgrColor, DropsAlphaAndConvertsOtherSpecs) {
    EXPECT_EQ(BgrFromColor(QColor(1, 2, 3, 0)), 0x030201u);
    EXPECT_EQ(BgrFromColor(QColor::fromHsv(0, 255, 255)), 0x0000FFu);
}

TEST(BgrColor, ClampsChannelsInsteadOfSpillingOver) {
    EXPECT_EQ(MakeBgr(256, -1, 300), 0xFF00FFu);
}

}  // namespace
}  // namespace controls
