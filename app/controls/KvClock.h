// TKvClock: the clock panel, with a digital or an analog face, an alarm and automatic font sizing.
#pragma once

#include <QFontMetrics>
#include <QLine>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/controls/BgrColor.h"
#include "app/controls/KvTimer.h"
#include "app/controls/TimeSource.h"
#include "rtl/DateTime.h"

class QPainter;

namespace controls {

// The stored values of the face and of the panel's bevels.
enum TShowClock { scDigital = 0, scAnalog = 1 };
enum TPanelBevel { bvNone = 0, bvLowered = 1, bvRaised = 2 };

// a * b / c in 64 bits, rounded half away from zero. A c of 0 or a result outside int gives -1, as the
// platform's routine of that name does.
int MulDiv(int a, int b, int c);

// ---- Digital face ----

struct DigitalOptions {
    bool twelveHour = false;
    bool leadingZero = true;
    bool showSeconds = true;
};

// The digital face of one time: the first `cells` characters of `text` stand one per digit cell (colons
// included); the suffix (a blank and the AM or PM text) follows them.
struct DigitalText {
    std::string text;  // Windows-1252, as the runtime's formatting writes it
    int cells = 0;
    std::string suffix;
    int hourDigits = 0;  // 1 or 2: where the minute and second cells start
    bool seconds = false;
    int hour = 0;  // the time decoded, hour 0..23
    int minute = 0;
    int second = 0;
};

// The time by the format "h:mm" or "hh:mm" (LeadingZero), ":ss" (ShowSeconds) and " ampm" (TwelveHour),
// in the calling thread's format settings; hour 0 shows as 12 and 13 as 1 in 12-hour form. Raises
// rtl::EConvertError for a time outside the years 1 to 9999.
DigitalText FormatDigital(rtl::TDateTime time, const DigitalOptions& options);

// What the face shows, to tell the next tick which cells changed. The full hour is kept: a jump of exactly
// twelve hours changes the hour digits and the AM or PM text too.
struct DigitalState {
    int hour = -1;
    int minute = -1;
    int second = -1;
};

DigitalState StateOf(const DigitalText& text);

// Between what the face shows and a new time: a full repaint when the hour changed, otherwise the
// indexes (from 0) of the minute cells when the minute changed and of the second cells when the second
// changed. The same second gives no cells.
struct DirtyCells {
    bool full = false;
    std::vector<int> cells;
};

DirtyCells FindDirtyCells(const DigitalState& last, const DigitalText& now);

// Where the cells and the suffix stand: the block of `cells` cells and the suffix centred across `face`,
// one cell high and centred down it.
struct DigitalLayout {
    std::vector<QRect> cells;
    QRect suffix;
};

DigitalLayout LayoutDigital(const QRect& face, QSize cell, int cells, int suffixWidth);

// The layout of a text in a font: a cell is the width and height of "8".
DigitalLayout LayoutDigital(const QRect& face, const QFontMetrics& metrics, const DigitalText& text);

// One tick of the digital face: the new text, and either a full repaint or the rectangles of the
// changed cells.
struct DigitalUpdate {
    DigitalText text;
    bool full = false;
    std::vector<QRect> dirty;
};

DigitalUpdate DrawDigital(const DigitalState& last, rtl::TDateTime time, const DigitalOptions& options,
                          const QRect& face, const QFontMetrics& metrics);

// ---- Alarm ----

// The time has the alarm's hour and minute and a second from the alarm's on.
bool IsAlarmTime(rtl::TDateTime alarm, rtl::TDateTime time);
// Whether the alarm is armed at `time`: the time of day lies before the alarm, or the alarm is midnight.
bool AlarmArmedAt(rtl::TDateTime alarm, rtl::TDateTime time);

// ---- Analog face ----

// The radius of the point table.
inline constexpr int kClockPointRadius = 8000;

// Point i of a circle of radius 8000, i x 6 degrees clockwise from the top, y growing downward.
using ClockPointTable = std::array<QPoint, 60>;

// The table for a screen of these densities (pixels per millimetre x 100, across and down): y is scaled
// by down / across so that circles come out round. A density of 0 means square pixels.
ClockPointTable ClockPoints(int horzDensity, int vertDensity);

// The primary screen as the clock measures it, once per process; zeros without a screen.
struct ScreenMetrics {
    int horzDensity = 0;  // pixels per millimetre x 100
    int vertDensity = 0;
    int widthPixels = 0;
};

const ScreenMetrics& PrimaryScreenMetrics();
// ClockPoints of the primary screen, computed once per process.
const ClockPointTable& ScreenClockPoints();

// The rectangle made a circle in physical units, centred in the one given.
QRect AdjustClockRect(const QRect& rect, int horzDensity, int vertDensity);

// The hour hand's point: (hour mod 12) x 5 + minute div 12.
int HourHandIndex(int hour, int minute);

// A hand as a diamond: lines from `left` to `tip`, to `right`, to `tail` and back to `left`.
struct AnalogHand {
    QPoint tip;
    QPoint right;
    QPoint tail;
    QPoint left;
};

struct AnalogMark {
    QRect rect;
    bool large = false;  // every fifth minute
};

// Everything the analog face draws for one time.
struct AnalogFace {
    QPoint centre;
    int radius = 0;
    QSize markSize;
    QSize smallMarkSize;
    std::vector<AnalogMark> marks;  // 60, from the top clockwise
    AnalogHand hour;
    AnalogHand minute;
    QLine second;  // drawn inverting the pixels under it
};

AnalogFace PlanAnalog(const QRect& clockRect, const ClockPointTable& points, const ScreenMetrics& screen,
                      int hour, int minute, int second);

// ---- Automatic font size ----

// The text whose width the font must fit: "88888", "888" more with seconds, and in 12-hour form a blank and
// the wider of the AM and PM texts.
std::string AutoSizeSample(bool showSeconds, bool twelveHour, std::string_view widerAmPm);

// The font's pixel size for a clock rectangle: its height less 4 and width less 30 must hold the sample,
// which is `sampleWidth` wide at a pixel size of 1000. None when that space or the width is not positive;
// at least 1.
std::optional<int> AutoFontPixelSize(const QRect& clockRect, int sampleWidth);

// ---- The panel ----

// Gives the clock a time of day other than the system's.
using TKvGetTimeEvent = std::function<void(rtl::TDateTime& value)>;

// The clock panel. It paints its own frame (BevelOuter, BorderWidth pixels of Color, BevelInner) and one
// face. An owned TKvTimer ticks every 450 ms on its own thread and has the face updated on the GUI thread.
// Time comes from the TimeSource given, which must outlive the clock.
class TKvClock : public QWidget {
    Q_OBJECT

public:
    // The face is brought up to date every 450 ms, so a second never goes unshown.
    static constexpr std::uint32_t kTickInterval = 450;
    // The clock's published defaults: teal marks, and bevels one pixel wide.
    static constexpr BgrColor kDefaultDotsColor = 0x808000;
    static constexpr int kDefaultBevelWidth = 1;

    explicit TKvClock(QWidget* parent = nullptr, const TimeSource& time = SystemTime());
    ~TKvClock() override;

    // ---- Panel ----
    BgrColor Color() const { return color_; }
    void SetColor(BgrColor color);
    // The colour of the digits and hands (QFont carries none).
    BgrColor FontColor() const { return fontColor_; }
    void SetFontColor(BgrColor color);
    TPanelBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TPanelBevel bevel);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel bevel);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    // The 3-D look of the analog marks.
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool ctl3D);

    // ---- Clock ----
    bool AlarmEnabled() const { return alarmEnabled_; }
    void SetAlarmEnabled(bool enabled) { alarmEnabled_ = enabled; }
    // Parts of the alarm time. An hour of 24 or more, or a minute or second of 60 or more, raises
    // rtl::EConvertError "'h:m:s' is not a valid time" and leaves the alarm as it was.
    int AlarmHour() const;
    void SetAlarmHour(int hour);
    int AlarmMinute() const;
    void SetAlarmMinute(int minute);
    int AlarmSecond() const;
    void SetAlarmSecond(int second);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    BgrColor DotsColor() const { return dotsColor_; }
    void SetDotsColor(BgrColor color);
    TShowClock ShowMode() const { return showMode_; }
    void SetShowMode(TShowClock mode);
    bool ShowSeconds() const { return options_.showSeconds; }
    void SetShowSeconds(bool show);
    bool TwelveHour() const { return options_.twelveHour; }
    void SetTwelveHour(bool twelveHour);
    bool LeadingZero() const { return options_.leadingZero; }
    void SetLeadingZero(bool leadingZero);

    const TNotifyEvent& OnAlarm() const { return onAlarm_; }
    void SetOnAlarm(TNotifyEvent onAlarm) { onAlarm_ = std::move(onAlarm); }
    const TKvGetTimeEvent& OnGetTime() const { return onGetTime_; }
    void SetOnGetTime(TKvGetTimeEvent onGetTime) { onGetTime_ = std::move(onGetTime); }

    TKvTimer& Timer() { return *timer_; }

    // The time the face shows, as last taken, and its text.
    rtl::TDateTime ShownTime() const { return shown_; }
    const DigitalText& Face() const { return face_; }
    // The client rectangle less the border and the bevels: where the digital face stands.
    QRect FaceRect() const;
    // The round rectangle of the analog face and of automatic font sizing.
    const QRect& ClockRect() const { return clockRect_; }
    bool AlarmArmed() const { return alarmArmed_; }

    // The format settings changed: the face is written anew and, with AutoSize, the font fitted again.
    void FormatSettingsChanged();

    // One tick: reads the time once, updates what changed and checks the alarm.
    void TimerExpired();
    // Fires the alarm once when it is due and armed; otherwise re-arms it while the time lies before it.
    void CheckAlarm();
    void ResetAlarm();
    bool IsAlarmTime(rtl::TDateTime time) const;

    // The time of day from the time source, offered to OnGetTime.
    virtual rtl::TDateTime GetSystemTime();

protected:
    virtual void DoAlarm();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The bevels' and border's width on each side.
    int FrameWidth() const;
    // The face written anew from the shown time, and repainted.
    void Refresh();
    // The clock rectangle of the current size and, with AutoSize, the font fitted to it.
    void AlignControls();
    void AdjustFont();
    void SetAlarmParts(int hour, int minute, int second);
    void ResetAlarm(rtl::TDateTime now);
    void PaintFrame(QPainter& painter) const;
    void PaintDigital(QPainter& painter) const;
    void PaintAnalog(QPainter& painter) const;

    const TimeSource& time_;
    std::unique_ptr<TKvTimer> timer_;
    BgrColor color_;
    BgrColor fontColor_;
    TPanelBevel bevelInner_ = bvLowered;
    TPanelBevel bevelOuter_ = bvRaised;
    int bevelWidth_ = kDefaultBevelWidth;
    int borderWidth_ = 0;
    bool ctl3D_ = true;
    bool autoSize_ = false;
    TShowClock showMode_ = scDigital;
    DigitalOptions options_;
    bool alarmEnabled_ = false;
    BgrColor dotsColor_ = kDefaultDotsColor;
    bool alarmArmed_ = true;
    rtl::TDateTime alarm_ = 0;
    rtl::TDateTime shown_ = 0;
    DigitalText face_;
    DigitalState state_;
    QRect clockRect_;
    TNotifyEvent onAlarm_;
    TKvGetTimeEvent onGetTime_;
};

}  // namespace controls
