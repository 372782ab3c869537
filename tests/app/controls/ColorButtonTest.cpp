#include "app/controls/ColorButton.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace controls {
namespace {

constexpr BgrColor kTeal = 0x808000;

::testing::AssertionResult Near(QRgb pixel, int red, int green, int blue, int tolerance) {
    if (std::abs(qRed(pixel) - red) <= tolerance && std::abs(qGreen(pixel) - green) <= tolerance &&
        std::abs(qBlue(pixel) - blue) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "pixel (" << qRed(pixel) << "," << qGreen(pixel) << "," << qBlue(pixel) << ") is not within "
           << tolerance << " of (" << red << "," << green << "," << blue << ")";
}

QRegion Outline(int width, int height) {
    return QRegion(QRect(-1, -1, width + 2, height + 2), QRegion::Ellipse);
}

// ---- BlendColor ----

TEST(BlendColor, MovesEachChannelTruncatingTheWholeQuotient) {
    struct Case {
        int step, steps;
        BgrColor from, to, expected;
    };
    const Case cases[] = {
        {2, 5, 0x000000, 0x808000, 0x4C4C00},    // the teal face's base: 128 becomes 76, not 77
        {2, 5, 0x000000, 0xFFFFFF, 0x999999},    // 255 becomes 153
        {0, 63, 0xFFFFFF, 0x4C4C00, 0x4C4C00},   // step 0 gives `to`
        {63, 63, 0xFFFFFF, 0x4C4C00, 0xFFFFFF},  // the last step gives `from`
        {1, 3, 0x0000FF, 0x000000, 0x000055},    // channels do not mix
        {5, 0, 0xFFFFFF, 0x123456, 0x123456},    // no steps: stays at `to`
        {9, 3, 0xFFFFFF, 0x000000, 0xFFFFFF},    // past the end clamps instead of spilling over
        {-9, 3, 0xFFFFFF, 0x101010, 0x000000},
        {1, 2, 0x00000000, 0xFF808080, 0x404040},  // only the low three bytes are colour
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.step << "/" << c.steps << " " << std::hex << c.from << "->" << c.to);
        EXPECT_EQ(BlendColor(c.step, c.steps, c.from, c.to), c.expected);
    }
}

// ---- PlanFace ----

TEST(PlanFace, TealButtonOf100By40) {
    const FacePlan up = PlanFace(100, 40, kTeal, false);
    EXPECT_EQ(up.base, 0x4C4C00u);
    // n = trunc(sqrt(50^2 + 20^2)) = 53, steps = 63.
    ASSERT_EQ(up.rings.size(), 54u);
    EXPECT_TRUE(up.disc.empty());
    EXPECT_EQ(up.rings[0], (FaceRing{0, 0, 100, 40, 0x4C4C00}));
    EXPECT_EQ(up.rings[1], (FaceRing{0, 0, 98, 39, MakeBgr(4, 78, 78)}));
    EXPECT_EQ(up.rings[53], (FaceRing{20, 8, 20, 8, MakeBgr(214, 226, 226)}));
    EXPECT_EQ(up.rings[53].color, BlendColor(53, 63, 0xFFFFFF, up.base));

    const FacePlan down = PlanFace(100, 40, kTeal, true);
    EXPECT_EQ(down.rings, up.rings);  // the early stop never cuts the rings short
    // m = trunc(sqrt(40^2 + 16^2)) = 43, steps' = 51.
    ASSERT_EQ(down.disc.size(), 44u);
    EXPECT_EQ(down.disc[0], (FaceRing{10, 4, 90, 36, 0x4C4C00}));
    EXPECT_EQ(down.disc[1].color, MakeBgr(5, 79, 79));
    EXPECT_EQ(down.disc[43], (FaceRing{74, 30, 74, 30, MakeBgr(215, 226, 226)}));
}

TEST(PlanFace, RingCornersRoundTowardTheHighlight) {
    // Right and bottom corners are W - ceil((W - hx) * i / n): ring 1 of 100 x 40 loses 2 and 1 pixels.
    const FacePlan plan = PlanFace(100, 40, kTeal, false);
    for (std::size_t i = 1; i < plan.rings.size(); ++i) {
        SCOPED_TRACE(i);
        const FaceRing& ring = plan.rings[i];
        const FaceRing& before = plan.rings[i - 1];
        EXPECT_GE(ring.left, before.left);
        EXPECT_GE(ring.top, before.top);
        EXPECT_LE(ring.right, before.right);
        EXPECT_LE(ring.bottom, before.bottom);
        EXPECT_LE(ring.left, ring.right);
        EXPECT_LE(ring.top, ring.bottom);
    }
    EXPECT_EQ(plan.rings[2], (FaceRing{0, 0, 96, 38, BlendColor(2, 63, 0xFFFFFF, 0x4C4C00)}));
    EXPECT_EQ(plan.rings[27], (FaceRing{10, 4, 59, 23, BlendColor(27, 63, 0xFFFFFF, 0x4C4C00)}));
}

TEST(PlanFace, TinySizesNeverDivideByZero) {
    struct Case {
        int width, height;
        std::size_t rings, disc;
    };
    const Case cases[] = {
        {0, 0, 0, 0},     // no radius: the base fill alone
        {1, 1, 0, 0},     //
        {1, 40, 21, 17},  // n = 20; the disc is 1 x 32, m = 16
        {3, 3, 2, 2},     // n = 1, m = 1
        {40, 1, 21, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const FacePlan up = PlanFace(c.width, c.height, kTeal, false);
        const FacePlan down = PlanFace(c.width, c.height, kTeal, true);
        EXPECT_EQ(up.base, 0x4C4C00u);
        EXPECT_EQ(up.rings.size(), c.rings);
        EXPECT_EQ(down.rings.size(), c.rings);
        EXPECT_EQ(down.disc.size(), c.disc);

        const QImage face = RenderFace(QSize(c.width, c.height), kTeal, true);
        EXPECT_EQ(face.isNull(), c.width == 0 || c.height == 0);
        if (!face.isNull()) {
            EXPECT_EQ(face.size(), QSize(c.width, c.height));
        }
    }
}

// ---- Rendered faces ----

TEST(RenderFace, TealFacesOf100By40) {
    const QImage up = RenderFace(QSize(100, 40), kTeal, false);
    const QImage down = RenderFace(QSize(100, 40), kTeal, true);
    ASSERT_EQ(up.size(), QSize(100, 40));
    ASSERT_EQ(down.size(), QSize(100, 40));
    for (const QPoint corner : {QPoint(0, 0), QPoint(99, 0), QPoint(0, 39), QPoint(99, 39)}) {
        SCOPED_TRACE(testing::Message() << corner.x() << "," << corner.y());
        EXPECT_TRUE(Near(up.pixel(corner), 0, 76, 76, 0));
        EXPECT_TRUE(Near(down.pixel(corner), 0, 76, 76, 0));
    }
    // A red/blue slip would turn these olive.
    EXPECT_TRUE(Near(up.pixel(40, 10), 157, 186, 186, 8));
    EXPECT_TRUE(Near(down.pixel(40, 10), 40, 104, 104, 8));
    EXPECT_TRUE(Near(up.pixel(64, 24), 72, 127, 127, 8));
    EXPECT_TRUE(Near(down.pixel(64, 24), 165, 191, 191, 8));
}

// ---- LayoutCaption ----

TEST(LayoutCaption, PlacesGlyphAndLinesByLayout) {
    const QSize button(100, 40);
    const QSize glyph(16, 16);
    const QSize none(0, 0);
    struct Case {
        TkvButtonLayout layout;
        QSize glyph;
        bool pressed;
        QPoint glyphAt, textAt;
    };
    // One caption line 30 wide and 14 high.
    const Case cases[] = {
        {kvGlyphLeft, none, false, {35, 20}, {35, 13}},   {kvGlyphLeft, none, true, {36, 21}, {36, 14}},
        {kvGlyphLeft, glyph, false, {25, 12}, {45, 13}},  {kvGlyphLeft, glyph, true, {26, 13}, {46, 14}},
        {kvGlyphRight, none, false, {65, 20}, {35, 13}},  {kvGlyphRight, glyph, false, {59, 12}, {25, 13}},
        {kvGlyphRight, glyph, true, {60, 13}, {26, 14}},  {kvGlyphTop, none, false, {50, 13}, {35, 13}},
        {kvGlyphTop, glyph, false, {42, 3}, {35, 23}},    {kvGlyphTop, glyph, true, {43, 4}, {36, 24}},
        {kvGlyphBottom, none, false, {50, 27}, {35, 13}}, {kvGlyphBottom, glyph, false, {42, 21}, {35, 3}},
        {kvGlyphBottom, glyph, true, {43, 22}, {36, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "layout " << c.layout << " glyph " << c.glyph.width() << " pressed " << c.pressed);
        const CaptionPlacement placement = LayoutCaption(button, {30}, 14, c.glyph, c.layout, c.pressed);
        EXPECT_EQ(placement.glyph, c.glyphAt);
        ASSERT_EQ(placement.lines.size(), 1u);
        EXPECT_EQ(placement.lines[0], c.textAt);
    }
}

TEST(LayoutCaption, SpacingOnlyWithBothGlyphAndText) {
    // A glyph alone is centred without the 4 pixels of spacing.
    EXPECT_EQ(LayoutCaption(QSize(100, 40), {}, 14, QSize(16, 16), kvGlyphLeft, false).glyph, QPoint(42, 12));
    EXPECT_EQ(LayoutCaption(QSize(100, 40), {}, 14, QSize(16, 16), kvGlyphTop, false).glyph, QPoint(42, 12));
    // A line of no width counts as no text.
    EXPECT_EQ(LayoutCaption(QSize(100, 40), {0}, 14, QSize(16, 16), kvGlyphLeft, false).glyph,
              QPoint(42, 12));
}

TEST(LayoutCaption, AlignsEachLineOfABlock) {
    struct Case {
        TkvButtonLayout layout;
        int secondOffset;
    };
    const Case cases[] = {{kvGlyphLeft, 0}, {kvGlyphTop, 5}, {kvGlyphBottom, 5}, {kvGlyphRight, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        const CaptionPlacement placement =
            LayoutCaption(QSize(100, 40), {30, 20}, 14, QSize(0, 0), c.layout, false);
        ASSERT_EQ(placement.lines.size(), 2u);
        EXPECT_EQ(placement.lines[0], QPoint(35, 6));  // the block of 30 x 28 is centred
        EXPECT_EQ(placement.lines[1], QPoint(35 + c.secondOffset, 20));
    }
}

TEST(LayoutCaption, WiderThanTheButtonTruncatesTowardZero) {
    // (100 - 121) / 2 is -10, not -11; (40 - 3 * 14) / 2 is -1.
    const CaptionPlacement placement =
        LayoutCaption(QSize(100, 40), {121, 1, 1}, 14, QSize(0, 0), kvGlyphLeft, false);
    EXPECT_EQ(placement.lines[0], QPoint(-10, -1));
    EXPECT_EQ(placement.lines[2], QPoint(-10, 27));
}

// ---- The widget ----

// A top-level window that counts the presses that reach it.
class Window : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

const QColor kBackground(255, 0, 255);

class ColorButtonWidget : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(400, 200);
        window_.setAutoFillBackground(true);
        QPalette palette = window_.palette();
        palette.setColor(QPalette::Window, kBackground);
        window_.setPalette(palette);
    }

    TkvColorButton* AddButton(QPoint at, int group = 0, QWidget* parent = nullptr) {
        auto* button = new TkvColorButton(parent != nullptr ? parent : &window_);
        button->move(at);
        button->SetGroupIndex(group);
        return button;
    }

    void Show() {
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }

    QPoint Centre(const TkvColorButton* button) const { return button->mapTo(&window_, QPoint(50, 20)); }
    // Inside the button's rectangle but outside its ellipse.
    QPoint Corner(const TkvColorButton* button) const { return button->mapTo(&window_, QPoint(2, 2)); }
    QPoint Away() const { return QPoint(390, 190); }
    QRgb Pixel(QPoint at) { return window_.grab().toImage().pixel(at); }

    void Press(QPoint at) { QTest::mousePress(window_.windowHandle(), Qt::LeftButton, {}, at); }
    void Release(QPoint at) { QTest::mouseRelease(window_.windowHandle(), Qt::LeftButton, {}, at); }
    void Move(QPoint at) { QTest::mouseMove(window_.windowHandle(), at); }
    void Click(QPoint at) {
        Move(at);
        Press(at);
        Release(at);
    }

    Window window_;
};

TEST_F(ColorButtonWidget, DefaultsAndOutline) {
    TkvColorButton button;
    EXPECT_EQ(button.size(), QSize(100, 40));
    EXPECT_EQ(button.Color(), 0xFFFFFFu);
    EXPECT_EQ(button.FontColor(), 0x000000u);
    EXPECT_TRUE(button.Caption().isEmpty());
    EXPECT_TRUE(button.FaceVisible());
    EXPECT_EQ(button.GlyphLayout(), kvGlyphLeft);
    EXPECT_EQ(button.GroupIndex(), 0);
    EXPECT_FALSE(button.Down());
    EXPECT_FALSE(button.AllowAllUp());
    EXPECT_EQ(button.mask(), Outline(100, 40));
    EXPECT_EQ(button.UpFace(), RenderFace(QSize(100, 40), 0xFFFFFF, false));
}

TEST_F(ColorButtonWidget, ResizeAndColourRebuildFacesAndOutline) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    Show();
    button->resize(60, 30);
    EXPECT_EQ(button->mask(), Outline(60, 30));
    EXPECT_EQ(button->UpFace(), RenderFace(QSize(60, 30), 0xFFFFFF, false));
    button->SetColor(kTeal);
    EXPECT_EQ(button->UpFace(), RenderFace(QSize(60, 30), kTeal, false));
    EXPECT_EQ(button->DownFace(), RenderFace(QSize(60, 30), kTeal, true));
}

TEST_F(ColorButtonWidget, TinySizesBuildPaintAndResize) {
    TkvColorButton* button = AddButton(QPoint(10, 10), 1);
    button->SetCaption({"Caption"});
    Show();
    for (const QSize size : {QSize(0, 0), QSize(1, 1), QSize(1, 40), QSize(3, 3), QSize(0, 0)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        button->resize(size);
        EXPECT_EQ(button->UpFace().isNull(), size.isEmpty());
        EXPECT_EQ(button->mask(), Outline(size.width(), size.height()));
        for (const bool down : {true, false}) {
            button->SetDown(down);
            (void)window_.grab();
        }
    }
}

TEST_F(ColorButtonWidget, PlainButtonFollowsTheMouseAndClicksOnce) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    button->SetColor(kTeal);
    QSignalSpy clicks(button, &TkvColorButton::clicked);
    Show();
    const QPoint probe = button->mapTo(&window_, QPoint(64, 24));

    Move(Centre(button));
    Press(Centre(button));
    EXPECT_TRUE(button->IsPressed());
    EXPECT_EQ(Pixel(probe), button->DownFace().pixel(64, 24));
    Move(Away());
    EXPECT_FALSE(button->IsPressed());
    EXPECT_EQ(Pixel(probe), button->UpFace().pixel(64, 24));
    Move(Corner(button));  // inside the rectangle, still outside the ellipse
    EXPECT_FALSE(button->IsPressed());
    Move(Centre(button));
    EXPECT_TRUE(button->IsPressed());
    Release(Centre(button));
    EXPECT_FALSE(button->IsPressed());
    EXPECT_FALSE(button->Down());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(Pixel(probe), button->UpFace().pixel(64, 24));
}

TEST_F(ColorButtonWidget, ReleaseOutsideDoesNotClick) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    QSignalSpy clicks(button, &TkvColorButton::clicked);
    Show();
    for (const QPoint outside : {Away(), Corner(button)}) {
        Move(Centre(button));
        Press(Centre(button));
        Move(outside);
        Release(outside);
        EXPECT_FALSE(button->IsPressed());
    }
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ColorButtonWidget, DoubleClickClicksTwice) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    QSignalSpy clicks(button, &TkvColorButton::clicked);
    QSignalSpy doubleClicks(button, &TkvColorButton::doubleClicked);
    Show();
    Move(Centre(button));
    QTest::mouseDClick(window_.windowHandle(), Qt::LeftButton, {}, Centre(button));
    EXPECT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_FALSE(button->IsPressed());
}

TEST_F(ColorButtonWidget, MouseSignalsCarryButtonModifiersAndPosition) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    QSignalSpy pressed(button, &TkvColorButton::mousePressed);
    QSignalSpy released(button, &TkvColorButton::mouseReleased);
    QSignalSpy moved(button, &TkvColorButton::mouseMoved);
    QSignalSpy clicks(button, &TkvColorButton::clicked);
    Show();
    Move(Away());
    Move(Centre(button));
    ASSERT_GE(moved.count(), 1);
    EXPECT_EQ(moved.last().at(2).toPoint(), QPoint(50, 20));

    QTest::mousePress(window_.windowHandle(), Qt::RightButton, Qt::ShiftModifier, Centre(button));
    EXPECT_FALSE(button->IsPressed());  // only the left button presses the face
    QTest::mouseRelease(window_.windowHandle(), Qt::RightButton, Qt::ShiftModifier, Centre(button));
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed[0].at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(pressed[0].at(1).value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);
    EXPECT_EQ(pressed[0].at(2).toPoint(), QPoint(50, 20));
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released[0].at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ColorButtonWidget, DisabledButtonNeverClicks) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    QSignalSpy clicks(button, &TkvColorButton::clicked);
    Show();
    button->setEnabled(false);
    Click(Centre(button));
    EXPECT_FALSE(button->IsPressed());

    // Disabled between press and release: the press is given up, not left holding the face down.
    button->setEnabled(true);
    Press(Centre(button));
    button->setEnabled(false);
    EXPECT_FALSE(button->IsPressed());
    Release(Centre(button));
    button->setEnabled(true);
    Move(Away());
    Move(Centre(button));
    EXPECT_FALSE(button->IsPressed());
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ColorButtonWidget, DownNeedsAGroup) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    button->SetDown(true);
    EXPECT_FALSE(button->Down());
    EXPECT_FALSE(button->IsPressed());
    button->SetGroupIndex(1);
    button->SetDown(true);
    EXPECT_TRUE(button->Down());
    EXPECT_TRUE(button->IsPressed());
}

TEST_F(ColorButtonWidget, GroupKeepsOneButtonDown) {
    TkvColorButton* a = AddButton(QPoint(0, 0), 1);
    TkvColorButton* b = AddButton(QPoint(110, 0), 1);
    TkvColorButton* c = AddButton(QPoint(220, 0), 1);
    TkvColorButton* other = AddButton(QPoint(0, 100), 2);
    auto* box = new QWidget(&window_);
    box->setGeometry(0, 50, 120, 45);
    TkvColorButton* elsewhere = AddButton(QPoint(0, 0), 1, box);
    QSignalSpy clicksB(b, &TkvColorButton::clicked);
    Show();
    const auto downs = [&] { return std::vector<bool>{a->Down(), b->Down(), c->Down()}; };

    for (const bool allowAllUp : {false, true}) {
        SCOPED_TRACE(allowAllUp);
        for (TkvColorButton* button : {a, b, c}) button->SetAllowAllUp(allowAllUp);
        other->SetDown(true);
        elsewhere->SetDown(true);
        clicksB.clear();

        Click(Centre(a));
        EXPECT_EQ(downs(), (std::vector<bool>{true, false, false}));
        Click(Centre(b));
        EXPECT_EQ(downs(), (std::vector<bool>{false, true, false}));
        EXPECT_FALSE(a->IsPressed());
        EXPECT_TRUE(b->IsPressed());
        // Clicking the down button again lets it up only with AllowAllUp; it clicks either way.
        Click(Centre(b));
        EXPECT_EQ(downs(), (std::vector<bool>{false, !allowAllUp, false}));
        EXPECT_EQ(b->IsPressed(), !allowAllUp);
        EXPECT_EQ(clicksB.count(), 2);
        c->SetDown(true);
        EXPECT_EQ(downs(), (std::vector<bool>{false, false, true}));
        // Another group, and the same group index under another parent, are untouched.
        EXPECT_TRUE(other->Down());
        EXPECT_TRUE(elsewhere->Down());

        // A release outside lets a down button up.
        Move(Centre(c));
        Press(Centre(c));
        Move(Away());
        EXPECT_TRUE(c->IsPressed());  // a down button shows down while the mouse is away
        Release(Away());
        EXPECT_EQ(downs(), (std::vector<bool>{false, false, false}));
        EXPECT_FALSE(c->IsPressed());
    }
}

TEST_F(ColorButtonWidget, HiddenFaceKeepsItsPlaceAndPassesTheMouse) {
    TkvColorButton* button = AddButton(QPoint(10, 10));
    button->SetColor(kTeal);
    QSignalSpy clicks(button, &TkvColorButton::clicked);
    Show();
    const QPoint centre = Centre(button);
    const QRect geometry = button->geometry();

    button->SetFaceVisible(false);
    EXPECT_EQ(button->geometry(), geometry);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(QColor(Pixel(centre)), kBackground);
    Click(centre);
    EXPECT_EQ(window_.presses, 1);
    EXPECT_EQ(clicks.count(), 0);

    button->SetFaceVisible(true);
    EXPECT_EQ(button->mask(), Outline(100, 40));
    EXPECT_NE(QColor(Pixel(centre)), kBackground);
    Click(centre);
    EXPECT_EQ(window_.presses, 1);
    EXPECT_EQ(clicks.count(), 1);
}

// The bounding box of the pixels of exactly `color`; `count` receives how many there are.
QRect PixelsOf(const QImage& image, QRgb color, int* count = nullptr) {
    QRect box;
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != (color & 0xFFFFFF)) continue;
            box |= QRect(x, y, 1, 1);
            ++n;
        }
    }
    if (count != nullptr) *count = n;
    return box;
}

TEST_F(ColorButtonWidget, CaptionAndGlyphStandWhereTheLayoutSays) {
    TkvColorButton button;
    QFont font = button.font();
    font.setPixelSize(16);
    button.setFont(font);
    button.SetColor(0x000000);
    button.SetFontColor(0x0000FF);
    button.SetCaption({"Hi", "There"});
    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    QPainter(&glyph).fillRect(0, 0, 8, 8, Qt::green);
    button.SetGlyph(glyph);
    button.SetGlyphLayout(kvGlyphTop);
    button.resize(120, 80);

    const QFontMetrics metrics(font);
    const std::vector<int> widths{metrics.horizontalAdvance("Hi"), metrics.horizontalAdvance("There")};
    const CaptionPlacement placement =
        LayoutCaption(QSize(120, 80), widths, metrics.height(), QSize(16, 16), kvGlyphTop, false);
    const QImage image = button.grab().toImage();

    // The opaque quarter of the glyph is drawn; its transparent rest shows the face.
    EXPECT_EQ(PixelsOf(image, qRgb(0, 255, 0)), QRect(placement.glyph, QSize(8, 8)));
    const QRect text(placement.lines[1].x(), placement.lines[0].y(), widths[1], 2 * metrics.height());
    const QRect drawn = PixelsOf(image, qRgb(255, 0, 0));
    ASSERT_FALSE(drawn.isEmpty());
    EXPECT_TRUE(text.contains(drawn))
        << "text box " << text.x() << "," << text.y() << " " << text.width() << "x" << text.height()
        << ", drawn " << drawn.x() << "," << drawn.y() << " " << drawn.width() << "x" << drawn.height();
}

TEST_F(ColorButtonWidget, DisabledCaptionIsEmbossed) {
    TkvColorButton button;
    QFont font = button.font();
    font.setPixelSize(24);
    font.setBold(true);
    button.setFont(font);
    button.SetColor(0x000000);
    button.SetFontColor(0x00FF00);
    QPalette palette = button.palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Light, Qt::red);
        palette.setColor(group, QPalette::Dark, Qt::blue);
    }
    button.setPalette(palette);
    button.SetCaption({"HH"});
    button.setEnabled(false);

    const QImage image = button.grab().toImage();
    int lightCount = 0, darkCount = 0, fontCount = 0;
    const QRect light = PixelsOf(image, qRgb(255, 0, 0), &lightCount);
    const QRect dark = PixelsOf(image, qRgb(0, 0, 255), &darkCount);
    PixelsOf(image, qRgb(0, 255, 0), &fontCount);
    EXPECT_EQ(fontCount, 0);
    ASSERT_GT(darkCount, 0);
    EXPECT_EQ(light.bottomRight(), dark.bottomRight() + QPoint(1, 1));
    // The shadow is drawn last, so it covers most of the highlight.
    EXPECT_GT(darkCount, lightCount);
}

}  // namespace
}  // namespace controls
