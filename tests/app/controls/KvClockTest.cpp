#include "app/controls/KvClock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPalette>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"

namespace controls {
namespace {

constexpr BgrColor kMainWindowColor = 0xC0DCC0;
constexpr int kTickWaitMs = 5000;

rtl::TDateTime At(int hour, int minute, int second) {
    return rtl::EncodeTime(hour, minute, second, 0);
}

// A clock the test sets by hand.
class FakeTime : public TimeSource {
public:
    explicit FakeTime(rtl::TDateTime now) : now_(now) {}
    rtl::TDateTime Now() const override { return now_; }
    double MonotonicSeconds() const override { return 0; }
    void Set(rtl::TDateTime now) { now_ = now; }

private:
    rtl::TDateTime now_;
};

// A clock whose ticks come only from the test.
std::unique_ptr<TKvClock> MakeClock(FakeTime& time) {
    auto clock = std::make_unique<TKvClock>(nullptr, time);
    clock->Timer().SetEnabled(false);
    return clock;
}

// The clock of the main window: no bevels, 12-hour, no leading zero, Arial at 12 pixels, 89 x 39.
std::unique_ptr<TKvClock> MakeMainWindowClock(FakeTime& time) {
    auto clock = MakeClock(time);
    clock->SetBevelInner(bvNone);
    clock->SetBevelOuter(bvNone);
    clock->SetTwelveHour(true);
    clock->SetLeadingZero(false);
    clock->SetColor(kMainWindowColor);
    clock->SetFontColor(BgrFromColor(clock->palette().color(QPalette::WindowText)));
    clock->SetDotsColor(clock->FontColor());
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    clock->setFont(font);
    clock->resize(89, 39);
    return clock;
}

// Records the region of each paint of a widget.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget& widget) { widget.installEventFilter(this); }
    std::vector<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

// Shows the clock and waits for its first paint.
void Show(TKvClock& clock, PaintSpy& spy) {
    clock.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&clock));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.regions.empty(); }, kTickWaitMs));
    QTest::qWait(50);  // the platform may expose the window once more
    spy.regions.clear();
}

// One tick at a time, and the region it repainted.
QRegion TickAndPaint(TKvClock& clock, PaintSpy& spy, FakeTime& time, rtl::TDateTime now) {
    time.Set(now);
    clock.TimerExpired();
    // A tick that changed nothing paints nothing, so the wait may run out.
    static_cast<void>(QTest::qWaitFor([&] { return !spy.regions.empty(); }, 200));
    QRegion painted;
    for (const QRegion& region : spy.regions) painted += region;
    spy.regions.clear();
    return painted;
}

// ---- MulDiv ----

TEST(MulDiv, RoundsHalfAwayFromZeroIn64Bits) {
    struct Case {
        int a, b, c, expected;
    };
    const Case cases[] = {
        {5, 1, 2, 3},
        {-5, 1, 2, -3},
        {5, -1, 2, -3},
        {7, 1, 3, 2},
        {1, 4, 5, 1},
        {2, 1, 5, 0},
        {-7999, 300, 400, -5999},
        {100000, 100000, 100000, 100000},  // the product passes 32 bits
        {7, 1, 0, -1},                     // no divisor
        {2000000000, 4, 1, -1},            // no int holds the result
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " * " << c.b << " / " << c.c);
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected);
    }
}

// ---- Digital text and cells ----

TEST(FormatDigital, TextCellsAndSuffix) {
    const DigitalOptions defaults;
    const DigitalOptions mainWindow{.twelveHour = true, .leadingZero = false, .showSeconds = true};
    const DigitalOptions noSeconds{.twelveHour = false, .leadingZero = true, .showSeconds = false};
    const DigitalOptions plain24{.twelveHour = false, .leadingZero = false, .showSeconds = true};
    struct Case {
        DigitalOptions options;
        rtl::TDateTime time;
        const char* text;
        int cells;
        const char* suffix;
    };
    const Case cases[] = {
        {mainWindow, At(21, 5, 7), "9:05:07 PM", 7, " PM"},
        {mainWindow, At(10, 0, 0), "10:00:00 AM", 8, " AM"},
        {mainWindow, At(0, 30, 0), "12:30:00 AM", 8, " AM"},
        {mainWindow, At(13, 0, 0), "1:00:00 PM", 7, " PM"},
        {mainWindow, At(12, 0, 0), "12:00:00 PM", 8, " PM"},
        {defaults, At(9, 5, 7), "09:05:07", 8, ""},
        {defaults, At(21, 5, 7), "21:05:07", 8, ""},
        {noSeconds, At(9, 5, 7), "09:05", 5, ""},
        {plain24, At(9, 5, 7), "9:05:07", 7, ""},
        {plain24, At(0, 0, 0), "0:00:00", 7, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DigitalText face = FormatDigital(c.time, c.options);
        EXPECT_EQ(face.text, c.text);
        EXPECT_EQ(face.cells, c.cells);
        EXPECT_EQ(face.suffix, c.suffix);
    }
}

TEST(FormatDigital, FollowsTheCurrentFormatSettings) {
    rtl::FormatSettings settings;
    settings.TimeSeparator = '.';
    settings.TimePMString = "nachm.";
    const rtl::FormatSettingsGuard guard(settings);
    const DigitalText face = FormatDigital(At(21, 5, 7), {.twelveHour = true, .leadingZero = false});
    EXPECT_EQ(face.text, "9.05.07 nachm.");
    EXPECT_EQ(face.cells, 7);
    EXPECT_EQ(face.suffix, " nachm.");
}

TEST(FindDirtyCells, OnlyTheChangedDigitsBetweenHourChanges) {
    const DigitalOptions mainWindow{.twelveHour = true, .leadingZero = false, .showSeconds = true};
    const DigitalOptions defaults;
    const DigitalOptions noSeconds{.showSeconds = false};
    struct Case {
        DigitalOptions options;
        rtl::TDateTime from, to;
        bool full;
        std::vector<int> cells;  // from 0
    };
    const Case cases[] = {
        {mainWindow, At(21, 5, 7), At(21, 5, 8), false, {5, 6}},  // "9:05:08": cells 6 and 7
        {mainWindow, At(21, 5, 7), At(21, 6, 0), false, {2, 3, 5, 6}},
        {mainWindow, At(21, 5, 7), At(21, 5, 7), false, {}},
        {mainWindow, At(11, 59, 59), At(12, 0, 0), true, {}},
        {mainWindow, At(9, 5, 7), At(21, 5, 7), true, {}},  // twelve hours on: the suffix changes
        {defaults, At(9, 5, 7), At(9, 5, 8), false, {6, 7}},
        {defaults, At(23, 59, 59), At(0, 0, 0), true, {}},
        {noSeconds, At(9, 5, 7), At(9, 5, 8), false, {}},
        {noSeconds, At(9, 5, 7), At(9, 6, 0), false, {3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << FormatDigital(c.from, c.options).text << " -> "
                                        << FormatDigital(c.to, c.options).text);
        const DirtyCells dirty =
            FindDirtyCells(StateOf(FormatDigital(c.from, c.options)), FormatDigital(c.to, c.options));
        EXPECT_EQ(dirty.full, c.full);
        EXPECT_EQ(dirty.cells, c.cells);
    }
}

TEST(LayoutDigital, CentresTheBlockOfCellsAndSuffix) {
    const DigitalLayout layout = LayoutDigital(QRect(0, 0, 89, 39), QSize(7, 14), 7, 20);
    // The block is 7 x 7 + 20 = 69 wide: 10 pixels to its left, and 12 above the cells.
    ASSERT_EQ(layout.cells.size(), 7u);
    EXPECT_EQ(layout.cells[0], QRect(10, 12, 7, 14));
    EXPECT_EQ(layout.cells[6], QRect(52, 12, 7, 14));
    EXPECT_EQ(layout.suffix, QRect(59, 12, 20, 14));

    const DigitalLayout framed = LayoutDigital(QRect(2, 2, 85, 35), QSize(7, 14), 8, 0);
    EXPECT_EQ(framed.cells[0], QRect(16, 12, 7, 14));
    EXPECT_EQ(framed.suffix, QRect(72, 12, 0, 14));
}

// ---- The digital face on the panel ----

TEST(KvClock, TheMainWindowsClockShowsTheTimeAndRedrawsOnlyChangedDigits) {
    FakeTime time(At(21, 5, 7));
    auto clock = MakeMainWindowClock(time);
    PaintSpy spy(*clock);
    Show(*clock, spy);
    EXPECT_EQ(clock->Face().text, "9:05:07 PM");
    EXPECT_EQ(clock->FaceRect(), QRect(0, 0, 89, 39));

    // Something of the font colour stands in the cells and nothing outside the block.
    const DigitalLayout layout = LayoutDigital(clock->FaceRect(), clock->fontMetrics(), clock->Face());
    const QImage image = clock->grab().toImage();
    const QRect block = layout.cells.front().united(layout.suffix);
    int inked = 0, stray = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (BgrFromColor(image.pixelColor(x, y)) == kMainWindowColor) continue;
            (block.contains(x, y) ? inked : stray) += 1;
        }
    }
    EXPECT_GT(inked, 20);
    EXPECT_EQ(stray, 0);
    QTest::qWait(50);  // grabbing may repaint the window
    spy.regions.clear();

    const QRegion seconds = TickAndPaint(*clock, spy, time, At(21, 5, 8));
    EXPECT_EQ(seconds, QRegion(layout.cells[5].united(layout.cells[6])));

    const QRegion minute = TickAndPaint(*clock, spy, time, At(21, 6, 0));
    for (int cell : {2, 3, 5, 6}) EXPECT_TRUE(minute.contains(layout.cells[static_cast<std::size_t>(cell)]));
    for (int cell : {0, 1}) EXPECT_FALSE(minute.intersects(layout.cells[static_cast<std::size_t>(cell)]));
    EXPECT_FALSE(minute.intersects(layout.suffix));

    EXPECT_TRUE(TickAndPaint(*clock, spy, time, At(21, 6, 0)).isEmpty());
    EXPECT_EQ(TickAndPaint(*clock, spy, time, At(22, 0, 0)), QRegion(clock->rect()));
    EXPECT_EQ(clock->Face().text, "10:00:00 PM");
}

TEST(KvClock, DefaultsAndTheTimerThatDrivesIt) {
    FakeTime time(At(9, 5, 7));
    TKvClock clock(nullptr, time);
    EXPECT_EQ(clock.Face().text, "09:05:07");
    EXPECT_EQ(clock.BevelInner(), bvLowered);
    EXPECT_EQ(clock.BevelOuter(), bvRaised);
    EXPECT_EQ(clock.DotsColor(), 0x808000u);
    EXPECT_EQ(clock.ShowMode(), scDigital);
    EXPECT_TRUE(clock.ShowSeconds());
    EXPECT_TRUE(clock.LeadingZero());
    EXPECT_FALSE(clock.TwelveHour());
    EXPECT_FALSE(clock.AlarmEnabled());
    EXPECT_FALSE(clock.AutoSize());
    EXPECT_TRUE(clock.Ctl3D());
    EXPECT_EQ(clock.Timer().Interval(), 450u);
    EXPECT_TRUE(clock.Timer().SyncEvent());  // the format settings belong to the GUI thread
    EXPECT_TRUE(clock.Timer().Threaded());
    EXPECT_TRUE(clock.Timer().WorkerRunning());

    time.Set(At(9, 5, 8));
    EXPECT_TRUE(QTest::qWaitFor([&] { return clock.Face().text == "09:05:08"; }, kTickWaitMs));
}

TEST(KvClock, OnGetTimeChangesTheTimeShownButNotTheAlarm) {
    FakeTime time(At(21, 0, 0));
    auto clock = MakeClock(time);
    int alarms = 0;
    clock->SetOnAlarm([&] { ++alarms; });
    clock->SetAlarmMinute(5);
    clock->SetAlarmHour(21);
    clock->SetAlarmEnabled(true);
    clock->SetOnGetTime([](rtl::TDateTime& value) { value += 1.0 / 24; });
    time.Set(At(21, 5, 30));
    clock->TimerExpired();
    EXPECT_EQ(clock->Face().text, "22:05:30");
    EXPECT_EQ(alarms, 1);  // the alarm reads the time source itself
}

TEST(KvClock, SettersRewriteTheFaceFromTheTimeShown) {
    FakeTime time(At(21, 5, 7));
    auto clock = MakeClock(time);
    time.Set(At(3, 0, 0));  // not read until the next tick
    clock->SetTwelveHour(true);
    EXPECT_EQ(clock->Face().text, "09:05:07 PM");
    clock->SetLeadingZero(false);
    EXPECT_EQ(clock->Face().text, "9:05:07 PM");
    clock->SetShowSeconds(false);
    EXPECT_EQ(clock->Face().text, "9:05 PM");

    rtl::FormatSettings settings;
    settings.TimePMString = "p.m.";
    const rtl::FormatSettingsGuard guard(settings);
    EXPECT_EQ(clock->Face().text, "9:05 PM");
    clock->FormatSettingsChanged();
    EXPECT_EQ(clock->Face().text, "9:05 p.m.");
}

TEST(KvClock, PaintsItsFrameOfBevelsAndBorderAndKeepsTheFaceInside) {
    FakeTime time(At(9, 5, 7));
    auto clock = MakeClock(time);
    clock->SetColor(kMainWindowColor);
    clock->SetBorderWidth(2);
    clock->resize(40, 40);  // too narrow for the digits, which must not spill onto the frame
    EXPECT_EQ(clock->FaceRect(), QRect(4, 4, 32, 32));
    const QImage image = clock->grab().toImage();
    const BgrColor light = BgrFromColor(clock->palette().color(QPalette::Light));
    const BgrColor dark = BgrFromColor(clock->palette().color(QPalette::Dark));
    const auto at = [&](int x, int y) { return BgrFromColor(image.pixelColor(x, y)); };
    for (int i = 1; i < 39; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(at(0, i), light);  // raised outer bevel
        EXPECT_EQ(at(i, 0), light);
        EXPECT_EQ(at(39, i), dark);
        EXPECT_EQ(at(i, 39), dark);
        if (i < 2 || i > 37) continue;
        EXPECT_EQ(at(1, i), kMainWindowColor);  // the border
        EXPECT_EQ(at(i, 2), kMainWindowColor);
        if (i < 4 || i > 35) continue;  // the corners belong to the bottom and right edges
        EXPECT_EQ(at(3, i), dark);      // lowered inner bevel
        EXPECT_EQ(at(i, 3), dark);
        EXPECT_EQ(at(36, i), light);
        EXPECT_EQ(at(i, 36), light);
    }
}

// ---- Alarm ----

TEST(KvClock, AnAlarmFiresOnceAtTheFirstTickInItsMinuteAndAgainAfterMidnight) {
    FakeTime time(At(7, 0, 0));
    auto clock = MakeClock(time);
    int alarms = 0;
    clock->SetOnAlarm([&] { ++alarms; });
    clock->SetAlarmHour(7);
    clock->SetAlarmMinute(30);
    clock->SetAlarmSecond(20);
    clock->SetAlarmEnabled(true);
    struct Step {
        rtl::TDateTime time;
        int alarms;
    };
    const Step steps[] = {
        {At(7, 30, 10), 0}, {At(7, 30, 20), 1},  {At(7, 30, 40), 1}, {At(7, 30, 59), 1}, {At(7, 31, 0), 1},
        {At(12, 0, 0), 1},  {At(23, 59, 59), 1}, {At(0, 0, 1), 1},  // after midnight: armed again
        {At(7, 30, 45), 2},                                         // the first tick of the next day's window
        {At(7, 30, 50), 2},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(FormatDigital(step.time, {}).text);
        time.Set(step.time);
        clock->TimerExpired();
        EXPECT_EQ(alarms, step.alarms);
    }
}

TEST(KvClock, AMidnightAlarmFiresOnceADayAndAnAlarmThatIsOffNever) {
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "on" : "off");
        FakeTime time(At(23, 0, 0));
        auto clock = MakeClock(time);
        int alarms = 0;
        clock->SetOnAlarm([&] { ++alarms; });
        clock->SetAlarmEnabled(enabled);
        EXPECT_TRUE(clock->AlarmArmed());
        const rtl::TDateTime ticks[] = {At(23, 59, 59), At(0, 0, 0), At(0, 0, 30), At(0, 1, 0),
                                        At(12, 0, 0),   At(0, 0, 2), At(0, 0, 3)};
        for (const rtl::TDateTime tick : ticks) {
            time.Set(tick);
            clock->TimerExpired();
        }
        EXPECT_EQ(alarms, enabled ? 2 : 0);
    }
}

TEST(KvClock, AlarmSettersRejectPartsOutOfRangeAndKeepTheAlarm) {
    FakeTime time(At(7, 0, 0));
    auto clock = MakeClock(time);
    EXPECT_THROW(
        {
            try {
                clock->SetAlarmHour(24);
            } catch (const rtl::EConvertError& e) {
                EXPECT_EQ(e.Message(), "'24:0:0' is not a valid time");
                throw;
            }
        },
        rtl::EConvertError);
    clock->SetAlarmHour(7);
    clock->SetAlarmMinute(30);
    clock->SetAlarmSecond(20);
    struct Case {
        void (TKvClock::*setter)(int);
        int value;
        const char* message;
    };
    const Case cases[] = {
        {&TKvClock::SetAlarmMinute, 60, "'7:60:20' is not a valid time"},
        {&TKvClock::SetAlarmSecond, 75, "'7:30:75' is not a valid time"},
        {&TKvClock::SetAlarmHour, -1, "'-1:30:20' is not a valid time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            (clock.get()->*c.setter)(c.value);
            ADD_FAILURE() << "no error";
        } catch (const rtl::EConvertError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(clock->AlarmHour(), 7);
        EXPECT_EQ(clock->AlarmMinute(), 30);
        EXPECT_EQ(clock->AlarmSecond(), 20);
    }

    rtl::FormatSettings settings;
    settings.TimeSeparator = '.';
    const rtl::FormatSettingsGuard guard(settings);
    try {
        clock->SetAlarmMinute(60);
        ADD_FAILURE() << "no error";
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'7.60.20' is not a valid time");
    }
}

TEST(IsAlarmTime, SameHourAndMinuteFromTheAlarmsSecondOn) {
    const rtl::TDateTime alarm = At(7, 30, 20);
    EXPECT_FALSE(IsAlarmTime(alarm, At(7, 30, 19)));
    EXPECT_TRUE(IsAlarmTime(alarm, At(7, 30, 20)));
    EXPECT_TRUE(IsAlarmTime(alarm, At(7, 30, 59)));
    EXPECT_FALSE(IsAlarmTime(alarm, At(7, 31, 20)));
    EXPECT_FALSE(IsAlarmTime(alarm, At(19, 30, 20)));
    EXPECT_TRUE(AlarmArmedAt(alarm, At(7, 30, 19)));
    EXPECT_FALSE(AlarmArmedAt(alarm, At(7, 30, 20)));
    EXPECT_TRUE(AlarmArmedAt(0, At(12, 0, 0)));
}

// ---- Analog face ----

TEST(ClockPoints, CardinalPointsAndTheAspectCorrection) {
    const ClockPointTable square = ClockPoints(0, 0);
    EXPECT_EQ(square[0], QPoint(0, -7999));
    EXPECT_EQ(square[15], QPoint(8000, 0));
    EXPECT_EQ(square[30], QPoint(0, 7999));
    EXPECT_EQ(square[45], QPoint(-7999, 0));
    // Truncated toward zero: 8000 x sin 60 degrees is 6928.2.
    EXPECT_EQ(square[10].x(), 6928);
    EXPECT_NEAR(square[10].y(), -4000, 1);
    EXPECT_EQ(square[50].x(), -6928);
    EXPECT_EQ(ClockPoints(300, 300), square);

    // 4 pixels per millimetre across and 3 down: heights shrink to three quarters.
    const ClockPointTable wide = ClockPoints(400, 300);
    EXPECT_EQ(wide[0], QPoint(0, -5999));
    EXPECT_EQ(wide[15], QPoint(8000, 0));
    EXPECT_EQ(wide[30], QPoint(0, 5999));
    EXPECT_EQ(wide[45], QPoint(-7999, 0));
    for (std::size_t i = 0; i < 60; ++i) {
        EXPECT_EQ(wide[i].x(), square[i].x());
        EXPECT_EQ(wide[i].y(), MulDiv(square[i].y(), 300, 400));
    }
}

TEST(AdjustClockRect, MakesTheRectangleRoundAndCentresIt) {
    struct Case {
        QRect rect;
        int horz, vert;
        QRect expected;
    };
    const Case cases[] = {
        {QRect(0, 0, 89, 39), 0, 0, QRect(25, 0, 39, 39)},  // the main window's clock
        {QRect(10, 5, 89, 39), 0, 0, QRect(35, 5, 39, 39)},
        {QRect(0, 0, 39, 89), 0, 0, QRect(0, 25, 39, 39)},  // tall
        {QRect(0, 0, 40, 40), 0, 0, QRect(0, 0, 40, 40)},
        // 40 pixels down are 53 across at 400/300; 60 across are 45 down.
        {QRect(0, 0, 100, 40), 400, 300, QRect(23, 0, 53, 40)},
        {QRect(0, 0, 60, 100), 400, 300, QRect(0, 27, 60, 45)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rect.width() << "x" << c.rect.height() << " at " << c.horz << "/" << c.vert);
        EXPECT_EQ(AdjustClockRect(c.rect, c.horz, c.vert), c.expected);
    }
}

TEST(HourHandIndex, FiveStepsAnHourAndOneEveryTwelveMinutes) {
    EXPECT_EQ(HourHandIndex(23, 59), 59);
    EXPECT_EQ(HourHandIndex(0, 0), 0);
    EXPECT_EQ(HourHandIndex(12, 11), 0);
    EXPECT_EQ(HourHandIndex(12, 12), 1);
    EXPECT_EQ(HourHandIndex(15, 0), 15);
}

TEST(PlanAnalog, MarksAndHandsOfA100PixelFace) {
    const ScreenMetrics screen{.horzDensity = 0, .vertDensity = 0, .widthPixels = 1000};
    // At 3:00:45 the hour hand points right, the minute hand up and the seconds hand left.
    const AnalogFace face = PlanAnalog(QRect(0, 0, 100, 100), ClockPoints(0, 0), screen, 15, 0, 45);
    EXPECT_EQ(face.markSize, QSize(3, 3));  // 100 x 25 / 1000 = 2.5, rounded
    EXPECT_EQ(face.smallMarkSize, QSize(1, 1));
    EXPECT_EQ(face.radius, 49);  // shrunk by half a mark on each side
    EXPECT_EQ(face.centre, QPoint(50, 50));
    ASSERT_EQ(face.marks.size(), 60u);
    EXPECT_TRUE(face.marks[0].large);
    EXPECT_FALSE(face.marks[1].large);
    EXPECT_EQ(face.marks[0].rect, QRect(49, 0, 3, 3));    // centred on (50, 1)
    EXPECT_EQ(face.marks[15].rect, QRect(98, 49, 3, 3));  // on (99, 50)

    EXPECT_EQ(face.hour.tip, QPoint(79, 50));    // 60% of 49
    EXPECT_EQ(face.hour.tail, QPoint(43, 50));   // 15%
    EXPECT_EQ(face.hour.right, QPoint(50, 53));  // 7% a quarter turn ahead
    EXPECT_EQ(face.hour.left, QPoint(50, 47));
    EXPECT_EQ(face.minute.tip, QPoint(50, 11));  // 80%
    EXPECT_EQ(face.minute.tail, QPoint(50, 60));
    EXPECT_EQ(face.second, QLine(QPoint(50, 50), QPoint(11, 50)));
}

TEST(KvClock, TheAnalogFaceInvertsUnderTheSecondsHand) {
    FakeTime time(At(3, 0, 45));
    auto clock = MakeClock(time);
    clock->SetColor(kMainWindowColor);
    clock->SetFontColor(0x000000);
    clock->SetBevelInner(bvNone);
    clock->SetBevelOuter(bvNone);
    clock->SetShowMode(scAnalog);
    clock->resize(120, 120);
    const QImage image = clock->grab().toImage();
    const AnalogFace face =
        PlanAnalog(clock->ClockRect(), ScreenClockPoints(), PrimaryScreenMetrics(), 3, 0, 45);
    // Half way along the seconds hand: the background inverted.
    const QPoint onSecondHand = (face.second.p1() + face.second.p2()) / 2;
    EXPECT_EQ(BgrFromColor(image.pixelColor(onSecondHand)), 0xFFFFFF - kMainWindowColor);
    // The tips of the hands in the font colour.
    EXPECT_EQ(BgrFromColor(image.pixelColor(face.minute.tip)), 0x000000u);
    EXPECT_EQ(BgrFromColor(image.pixelColor(face.hour.tip)), 0x000000u);
    // A fifth-minute mark in DotsColor.
    EXPECT_EQ(BgrFromColor(image.pixelColor(face.marks[30].rect.center())), TKvClock::kDefaultDotsColor);
}

// ---- Automatic font size ----

TEST(AutoSize, SampleAndPixelSize) {
    EXPECT_EQ(AutoSizeSample(true, true, "PM"), "88888888 PM");
    EXPECT_EQ(AutoSizeSample(false, false, "PM"), "88888");
    EXPECT_EQ(AutoSizeSample(true, false, "PM"), "88888888");

    // 200 x 100 leaves 170 x 96: four fifths of 96 is 77, and 170 / 3000 of 1000 is 57.
    EXPECT_EQ(AutoFontPixelSize(QRect(0, 0, 200, 100), 3000), 57);
    EXPECT_EQ(AutoFontPixelSize(QRect(0, 0, 200, 100), 1000), 77);
    // The main window's round clock leaves 9 x 35.
    EXPECT_EQ(AutoFontPixelSize(QRect(25, 0, 39, 39), 5000), 2);
    EXPECT_EQ(AutoFontPixelSize(QRect(0, 0, 30, 39), 5000), std::nullopt);
    EXPECT_EQ(AutoFontPixelSize(QRect(0, 0, 89, 4), 5000), std::nullopt);
    EXPECT_EQ(AutoFontPixelSize(QRect(0, 0, 89, 39), 0), std::nullopt);  // leaves the font
    EXPECT_EQ(AutoFontPixelSize(QRect(0, 0, 31, 39), 100000), 1);
}

TEST(KvClock, AutoSizeFitsTheFontToTheClockRectangle) {
    FakeTime time(At(9, 5, 7));
    auto clock = MakeClock(time);
    clock->resize(300, 100);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    clock->setFont(font);
    clock->SetAutoSize(true);
    const int withSeconds = clock->font().pixelSize();
    QFont sample = clock->font();
    sample.setPixelSize(1000);
    const int sampleWidth = QFontMetrics(sample).horizontalAdvance(QStringLiteral("88888888"));
    EXPECT_EQ(withSeconds, *AutoFontPixelSize(clock->ClockRect(), sampleWidth));

    clock->SetShowSeconds(false);  // fewer digits: a larger font
    EXPECT_GT(clock->font().pixelSize(), withSeconds);
    clock->resize(600, 200);
    EXPECT_GT(clock->font().pixelSize(), withSeconds);

    // Without AutoSize the font stays as set.
    clock->SetAutoSize(false);
    clock->setFont(font);
    clock->resize(300, 100);
    EXPECT_EQ(clock->font().pixelSize(), 12);
}

// ---- Lifecycle ----

TEST(KvClock, DestroyingAClockReturnsPromptly) {
    FakeTime time(At(9, 5, 7));
    for (int i = 0; i < 20; ++i) {
        auto clock = std::make_unique<TKvClock>(nullptr, time);
        if (i % 2 == 0) clock->show();
        QTest::qWait(i % 5);
        QElapsedTimer elapsed;
        elapsed.start();
        clock.reset();
        EXPECT_LT(elapsed.elapsed(), 1000);
    }
}

}  // namespace
}  // namespace controls
