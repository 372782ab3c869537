#include "app/controls/KvClock.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "app/controls/ColorButton.h"
#include "rtl/DateTimeFormat.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/FormatSettings.h"
#include "rtl/Messages.h"
#include "rtl/Text.h"

namespace controls {

namespace {

// Cells after the hour digits: ":mm", and ":ss" with seconds.
constexpr int kMinuteCells = 3;
constexpr int kSecondCells = 3;
// The mark at every fifth minute is the clock rectangle's width x 25 / the screen's width in pixels.
constexpr int kMarkScale = 25;
// Our choice: a minute mark is half a fifth-minute mark, and embossed from 3 pixels on, when the two
// colours have room to show.
constexpr int kSmallMarkDivisor = 2;
constexpr int kEmbossMinWidth = 3;
// Our choice: the frame of a fifth-minute mark lies half way from DotsColor to white.
constexpr int kLighterStep = 1;
constexpr int kLighterSteps = 2;
constexpr BgrColor kWhite = 0xFFFFFF;
// Hands in percent of the radius: tip, tail and half-width.
constexpr int kMinuteHandLength = 80;
constexpr int kMinuteHandTail = 20;
constexpr int kMinuteHandHalfWidth = 5;
constexpr int kHourHandLength = 60;
constexpr int kHourHandTail = 15;
constexpr int kHourHandHalfWidth = 7;
constexpr int kSecondHandLength = 80;
// Points a quarter and a half turn ahead of a point of the table.
constexpr int kQuarterTurn = 15;
constexpr int kHalfTurn = 30;
// Automatic font sizing: the space the font must fit is the clock rectangle less these pixels, the font
// at most four fifths of its height, measured at a pixel size of 1000.
constexpr int kAutoSizeMarginWidth = 30;
constexpr int kAutoSizeMarginHeight = 4;
constexpr int kAutoSizeHeightNumerator = 4;
constexpr int kAutoSizeHeightDenominator = 5;
constexpr int kSampleFontPixels = 1000;

QString FromCp1252(std::string_view text) {
    return QString::fromStdU16String(rtl::Cp1252ToUtf16(text));
}

QSize CellSize(const QFontMetrics& metrics) {
    return QSize(metrics.horizontalAdvance(QLatin1Char('8')), metrics.height());
}

// Lines the top and left edges in one colour and the bottom and right edges in the other, `width` times,
// shrinking the rectangle by one pixel each time.
void Frame3D(QPainter& painter, QRect& rect, const QColor& topLeft, const QColor& bottomRight, int width) {
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        painter.setPen(topLeft);
        painter.drawLine(rect.topLeft(), rect.topRight());
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(rect.topRight(), rect.bottomRight());
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
        rect.adjust(1, 1, -1, -1);
    }
}

// A point of the table at `percent` of the radius from the centre.
QPoint Scale(const QPoint& point, const QPoint& centre, int radius, int percent) {
    const int scale = kClockPointRadius * 100;
    return centre +
           QPoint(MulDiv(point.x(), radius * percent, scale), MulDiv(point.y(), radius * percent, scale));
}

AnalogHand Hand(const ClockPointTable& points, const QPoint& centre, int radius, int index, int length,
                int tail, int halfWidth) {
    const QPoint side = Scale(points[(index + kQuarterTurn) % 60], QPoint(), radius, halfWidth);
    return AnalogHand{Scale(points[index % 60], centre, radius, length), centre + side,
                      Scale(points[(index + kHalfTurn) % 60], centre, radius, tail), centre - side};
}

QRect CentredRect(const QPoint& centre, const QSize& size) {
    return QRect(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height());
}

void DrawHand(QPainter& painter, const AnalogHand& hand) {
    painter.drawLine(hand.left, hand.tip);
    painter.drawLine(hand.tip, hand.right);
    painter.drawLine(hand.right, hand.tail);
    painter.drawLine(hand.tail, hand.left);
}

struct TimeParts {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

TimeParts PartsOf(rtl::TDateTime time) {
    TimeParts parts;
    int msec = 0;
    rtl::DecodeTime(time, parts.hour, parts.minute, parts.second, msec);
    return parts;
}

std::int32_t MSecsOfDay(rtl::TDateTime time) {
    return rtl::DateTimeToTimeStamp(time).Time;
}

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const std::int64_t product = std::int64_t{a} * b;
    std::int64_t quotient = product / c;
    const std::int64_t remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(std::int64_t{c}))
        quotient += (product < 0) != (c < 0) ? -1 : 1;
    if (quotient < INT_MIN || quotient > INT_MAX) return -1;
    return static_cast<int>(quotient);
}

// ---- Digital face ----

DigitalText FormatDigital(rtl::TDateTime time, const DigitalOptions& options) {
    DigitalText face;
    const TimeParts parts = PartsOf(time);
    face.hour = parts.hour;
    face.minute = parts.minute;
    face.second = parts.second;
    std::string format = options.leadingZero ? "hh:mm" : "h:mm";
    if (options.showSeconds) format += ":ss";
    if (options.twelveHour) format += " ampm";
    face.text = rtl::FormatDateTime(format, time);

    int displayHour = face.hour;
    if (options.twelveHour) displayHour = face.hour % 12 == 0 ? 12 : face.hour % 12;
    face.hourDigits = displayHour < 10 && !options.leadingZero ? 1 : 2;
    face.seconds = options.showSeconds;
    face.cells = face.hourDigits + kMinuteCells + (options.showSeconds ? kSecondCells : 0);
    face.cells = std::min(face.cells, static_cast<int>(face.text.size()));
    face.suffix = face.text.substr(static_cast<std::size_t>(face.cells));
    return face;
}

DigitalState StateOf(const DigitalText& text) {
    return DigitalState{text.hour, text.minute, text.second};
}

DirtyCells FindDirtyCells(const DigitalState& last, const DigitalText& now) {
    DirtyCells dirty;
    if (last.hour != now.hour) {
        dirty.full = true;
        return dirty;
    }
    // "h:mm:ss": the minute digits follow the hour digits and a colon, the second digits another colon.
    const int minuteCell = now.hourDigits + 1;
    const int secondCell = minuteCell + 3;
    const auto add = [&](int first) {
        for (int cell = first; cell < first + 2 && cell < now.cells; ++cell) dirty.cells.push_back(cell);
    };
    if (last.minute != now.minute) add(minuteCell);
    if (now.seconds && last.second != now.second) add(secondCell);
    return dirty;
}

DigitalLayout LayoutDigital(const QRect& face, QSize cell, int cells, int suffixWidth) {
    const int blockWidth = cells * cell.width() + suffixWidth;
    const int left = face.left() + (face.width() - blockWidth) / 2;
    const int top = face.top() + (face.height() - cell.height()) / 2;
    DigitalLayout layout;
    layout.cells.reserve(static_cast<std::size_t>(std::max(cells, 0)));
    for (int i = 0; i < cells; ++i)
        layout.cells.emplace_back(left + i * cell.width(), top, cell.width(), cell.height());
    layout.suffix = QRect(left + cells * cell.width(), top, suffixWidth, cell.height());
    return layout;
}

DigitalLayout LayoutDigital(const QRect& face, const QFontMetrics& metrics, const DigitalText& text) {
    return LayoutDigital(face, CellSize(metrics), text.cells,
                         metrics.horizontalAdvance(FromCp1252(text.suffix)));
}

DigitalUpdate DrawDigital(const DigitalState& last, rtl::TDateTime time, const DigitalOptions& options,
                          const QRect& face, const QFontMetrics& metrics) {
    DigitalUpdate update;
    update.text = FormatDigital(time, options);
    const DirtyCells dirty = FindDirtyCells(last, update.text);
    update.full = dirty.full;
    if (dirty.full || dirty.cells.empty()) return update;
    const DigitalLayout layout = LayoutDigital(face, metrics, update.text);
    for (int cell : dirty.cells) update.dirty.push_back(layout.cells[static_cast<std::size_t>(cell)]);
    return update;
}

// ---- Alarm ----

bool IsAlarmTime(rtl::TDateTime alarm, rtl::TDateTime time) {
    const TimeParts due = PartsOf(alarm);
    const TimeParts now = PartsOf(time);
    return now.hour == due.hour && now.minute == due.minute && now.second >= due.second &&
           now.second <= due.second + 60;
}

bool AlarmArmedAt(rtl::TDateTime alarm, rtl::TDateTime time) {
    const std::int32_t alarmMSecs = MSecsOfDay(alarm);
    return alarmMSecs == 0 || MSecsOfDay(time) < alarmMSecs;
}

// ---- Analog face ----

ClockPointTable ClockPoints(int horzDensity, int vertDensity) {
    constexpr long double kPi = 3.141592653589793238462643383279502884L;
    constexpr long double kDegrees = 6;  // between two points
    ClockPointTable points;
    for (int i = 0; i < 60; ++i) {
        const long double angle = i * kDegrees * kPi / 180;
        points[static_cast<std::size_t>(i)] =
            QPoint(static_cast<int>(std::trunc(kClockPointRadius * std::sin(angle))),
                   static_cast<int>(std::trunc(-kClockPointRadius * std::cos(angle))));
    }
    // The top, the bottom and the left are stored with magnitude 7999, the right with 8000.
    points[0] = QPoint(0, -(kClockPointRadius - 1));
    points[15] = QPoint(kClockPointRadius, 0);
    points[30] = QPoint(0, kClockPointRadius - 1);
    points[45] = QPoint(-(kClockPointRadius - 1), 0);
    if (horzDensity > 0 && vertDensity > 0) {
        for (QPoint& point : points) point.setY(MulDiv(point.y(), vertDensity, horzDensity));
    }
    return points;
}

const ScreenMetrics& PrimaryScreenMetrics() {
    static const ScreenMetrics metrics = [] {
        ScreenMetrics measured;
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return measured;
        const QSize pixels = screen->geometry().size();
        const QSizeF millimetres = screen->physicalSize();
        measured.widthPixels = pixels.width();
        // Pixels per millimetre x 100; a screen that reports no size has square pixels.
        const auto density = [](int count, qreal length) {
            return length >= 1 ? static_cast<int>(count * 100 / length) : 0;
        };
        measured.horzDensity = density(pixels.width(), millimetres.width());
        measured.vertDensity = density(pixels.height(), millimetres.height());
        return measured;
    }();
    return metrics;
}

const ClockPointTable& ScreenClockPoints() {
    static const ClockPointTable points =
        ClockPoints(PrimaryScreenMetrics().horzDensity, PrimaryScreenMetrics().vertDensity);
    return points;
}

QRect AdjustClockRect(const QRect& rect, int horzDensity, int vertDensity) {
    if (horzDensity <= 0 || vertDensity <= 0) horzDensity = vertDensity = 1;
    QRect round = rect;
    const int heightAcross = MulDiv(rect.height(), horzDensity, vertDensity);
    if (rect.width() <= heightAcross) {
        const int height = MulDiv(rect.width(), vertDensity, horzDensity);
        round.setTop(rect.top() + (rect.height() - height) / 2);
        round.setHeight(height);
    } else {
        round.setLeft(rect.left() + (rect.width() - heightAcross) / 2);
        round.setWidth(heightAcross);
    }
    return round;
}

int HourHandIndex(int hour, int minute) {
    return ((hour % 12) * 5 + minute / 12) % 60;
}

AnalogFace PlanAnalog(const QRect& clockRect, const ClockPointTable& points, const ScreenMetrics& screen,
                      int hour, int minute, int second) {
    AnalogFace face;
    int markWidth = screen.widthPixels > 0 ? MulDiv(clockRect.width(), kMarkScale, screen.widthPixels) : 1;
    markWidth = std::max(markWidth, 1);
    int markHeight = markWidth;
    if (screen.horzDensity > 0 && screen.vertDensity > 0) {
        markHeight = std::max(MulDiv(markWidth, screen.vertDensity, screen.horzDensity), 1);
    }
    face.markSize = QSize(markWidth, markHeight);
    face.smallMarkSize =
        QSize(std::max(markWidth / kSmallMarkDivisor, 1), std::max(markHeight / kSmallMarkDivisor, 1));

    const QRect dial = clockRect.adjusted(markWidth / 2, markHeight / 2, -(markWidth / 2), -(markHeight / 2));
    face.radius = dial.width() / 2;
    face.centre = QPoint(dial.left() + dial.width() / 2, dial.top() + dial.height() / 2);

    face.marks.reserve(60);
    for (int i = 0; i < 60; ++i) {
        const bool large = i % 5 == 0;
        const QPoint at = Scale(points[static_cast<std::size_t>(i)], face.centre, face.radius, 100);
        face.marks.push_back(AnalogMark{CentredRect(at, large ? face.markSize : face.smallMarkSize), large});
    }
    face.hour = Hand(points, face.centre, face.radius, HourHandIndex(hour, minute), kHourHandLength,
                     kHourHandTail, kHourHandHalfWidth);
    face.minute = Hand(points, face.centre, face.radius, minute % 60, kMinuteHandLength, kMinuteHandTail,
                       kMinuteHandHalfWidth);
    face.second = QLine(face.centre, Scale(points[static_cast<std::size_t>(second % 60)], face.centre,
                                           face.radius, kSecondHandLength));
    return face;
}

// ---- Automatic font size ----

std::string AutoSizeSample(bool showSeconds, bool twelveHour, std::string_view widerAmPm) {
    std::string sample = "88888";
    if (showSeconds) sample += "888";
    if (twelveHour) {
        sample += ' ';
        sample += widerAmPm;
    }
    return sample;
}

std::optional<int> AutoFontPixelSize(const QRect& clockRect, int sampleWidth) {
    const int width = clockRect.width() - kAutoSizeMarginWidth;
    const int height = clockRect.height() - kAutoSizeMarginHeight;
    if (width <= 0 || height <= 0 || sampleWidth <= 0) return std::nullopt;
    const int size = std::min(MulDiv(height, kAutoSizeHeightNumerator, kAutoSizeHeightDenominator),
                              MulDiv(kSampleFontPixels, width, sampleWidth));
    return std::max(size, 1);
}

// ---- TKvClock ----

TKvClock::TKvClock(QWidget* parent, const TimeSource& time)
    : QWidget(parent),
      time_(time),
      color_(BgrFromColor(palette().color(QPalette::Window))),
      fontColor_(BgrFromColor(palette().color(QPalette::WindowText))) {
    ScreenClockPoints();  // the first clock measures the screen
    // The frame and the face cover every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    shown_ = time_.Time();
    face_ = FormatDigital(shown_, options_);
    state_ = StateOf(face_);
    timer_ = std::make_unique<TKvTimer>();
    timer_->SetInterval(kTickInterval);
    timer_->SetOnTimer([this] { TimerExpired(); });
    AlignControls();
    ResetAlarm();
}

TKvClock::~TKvClock() {
    // The timer's thread ends first, so no tick reaches a clock half destroyed.
    timer_.reset();
}

void TKvClock::SetColor(BgrColor color) {
    color_ = color;
    update();
}

void TKvClock::SetFontColor(BgrColor color) {
    fontColor_ = color;
    update();
}

void TKvClock::SetBevelInner(TPanelBevel bevel) {
    if (bevel == bevelInner_) return;
    bevelInner_ = bevel;
    AlignControls();
    update();
}

void TKvClock::SetBevelOuter(TPanelBevel bevel) {
    if (bevel == bevelOuter_) return;
    bevelOuter_ = bevel;
    AlignControls();
    update();
}

void TKvClock::SetBevelWidth(int width) {
    width = std::max(width, 0);
    if (width == bevelWidth_) return;
    bevelWidth_ = width;
    AlignControls();
    update();
}

void TKvClock::SetBorderWidth(int width) {
    width = std::max(width, 0);
    if (width == borderWidth_) return;
    borderWidth_ = width;
    AlignControls();
    update();
}

void TKvClock::SetCtl3D(bool ctl3D) {
    if (ctl3D == ctl3D_) return;
    ctl3D_ = ctl3D;
    if (showMode_ == scAnalog) update();
}

int TKvClock::AlarmHour() const {
    return PartsOf(alarm_).hour;
}

int TKvClock::AlarmMinute() const {
    return PartsOf(alarm_).minute;
}

int TKvClock::AlarmSecond() const {
    return PartsOf(alarm_).second;
}

void TKvClock::SetAlarmHour(int hour) {
    SetAlarmParts(hour, AlarmMinute(), AlarmSecond());
}

void TKvClock::SetAlarmMinute(int minute) {
    SetAlarmParts(AlarmHour(), minute, AlarmSecond());
}

void TKvClock::SetAlarmSecond(int second) {
    SetAlarmParts(AlarmHour(), AlarmMinute(), second);
}

void TKvClock::SetAlarmParts(int hour, int minute, int second) {
    if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60) {
        const char separator = rtl::CurrentFormatSettings().TimeSeparator;
        const std::string time =
            std::to_string(hour) + separator + std::to_string(minute) + separator + std::to_string(second);
        throw rtl::EConvertError(rtl::Format(rtl::kInvalidTime, {time}));
    }
    alarm_ = rtl::EncodeTime(hour, minute, second, 0);
    ResetAlarm();
}

void TKvClock::SetAutoSize(bool autoSize) {
    if (autoSize == autoSize_) return;
    autoSize_ = autoSize;
    if (!autoSize_) return;
    Refresh();
    AlignControls();
}

void TKvClock::SetDotsColor(BgrColor color) {
    if (color == dotsColor_) return;
    dotsColor_ = color;
    Refresh();
}

void TKvClock::SetShowMode(TShowClock mode) {
    if (mode == showMode_) return;
    showMode_ = mode;
    Refresh();
}

void TKvClock::SetShowSeconds(bool show) {
    if (show == options_.showSeconds) return;
    options_.showSeconds = show;
    Refresh();
    if (autoSize_) AlignControls();
}

void TKvClock::SetTwelveHour(bool twelveHour) {
    if (twelveHour == options_.twelveHour) return;
    options_.twelveHour = twelveHour;
    Refresh();
    if (autoSize_) AlignControls();
}

void TKvClock::SetLeadingZero(bool leadingZero) {
    if (leadingZero == options_.leadingZero) return;
    options_.leadingZero = leadingZero;
    Refresh();
}

QRect TKvClock::FaceRect() const {
    const int inset = FrameWidth();
    return rect().adjusted(inset, inset, -inset, -inset);
}

void TKvClock::FormatSettingsChanged() {
    Refresh();
    if (autoSize_) AlignControls();
}

void TKvClock::TimerExpired() {
    const rtl::TDateTime now = GetSystemTime();
    if (showMode_ == scDigital) {
        DigitalUpdate digital = DrawDigital(state_, now, options_, FaceRect(), fontMetrics());
        if (digital.full) {
            update();
        } else {
            for (const QRect& cell : digital.dirty) update(cell);
        }
        face_ = std::move(digital.text);
    } else {
        DigitalText text = FormatDigital(now, options_);
        const DigitalState state = StateOf(text);
        if (state.hour != state_.hour || state.minute != state_.minute || state.second != state_.second) {
            update();
        }
        face_ = std::move(text);
    }
    shown_ = now;
    state_ = StateOf(face_);
    CheckAlarm();
}

void TKvClock::CheckAlarm() {
    const rtl::TDateTime now = time_.Time();
    if (!alarmEnabled_ || !controls::IsAlarmTime(alarm_, now)) {
        ResetAlarm(now);
        return;
    }
    if (!alarmArmed_) return;
    alarmArmed_ = false;
    DoAlarm();
}

void TKvClock::ResetAlarm() {
    ResetAlarm(time_.Time());
}

void TKvClock::ResetAlarm(rtl::TDateTime now) {
    alarmArmed_ = AlarmArmedAt(alarm_, now);
}

bool TKvClock::IsAlarmTime(rtl::TDateTime time) const {
    return controls::IsAlarmTime(alarm_, time);
}

rtl::TDateTime TKvClock::GetSystemTime() {
    rtl::TDateTime value = time_.Time();
    if (onGetTime_) onGetTime_(value);
    return value;
}

void TKvClock::DoAlarm() {
    if (!onAlarm_) return;
    // A copy, so that a handler that destroys the clock does not destroy itself while it runs.
    const TNotifyEvent handler = onAlarm_;
    handler();
}

void TKvClock::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFrame(painter);
    if (showMode_ == scDigital) {
        PaintDigital(painter);
    } else {
        PaintAnalog(painter);
    }
}

void TKvClock::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AlignControls();
}

void TKvClock::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
        case QEvent::FontChange:
            Refresh();
            if (autoSize_) AlignControls();
            break;
        case QEvent::PaletteChange:
            update();
            break;
        default:
            break;
    }
}

int TKvClock::FrameWidth() const {
    return borderWidth_ + (bevelOuter_ != bvNone ? bevelWidth_ : 0) +
           (bevelInner_ != bvNone ? bevelWidth_ : 0);
}

void TKvClock::Refresh() {
    face_ = FormatDigital(shown_, options_);
    update();
}

void TKvClock::AlignControls() {
    const int inset = FrameWidth() + 1;
    const ScreenMetrics& screen = PrimaryScreenMetrics();
    clockRect_ = AdjustClockRect(rect().adjusted(inset, inset, -inset, -inset), screen.horzDensity,
                                 screen.vertDensity);
    if (autoSize_) AdjustFont();
}

void TKvClock::AdjustFont() {
    QFont sampleFont = font();
    sampleFont.setPixelSize(kSampleFontPixels);
    const QFontMetrics sample(sampleFont);
    const rtl::FormatSettings& settings = rtl::CurrentFormatSettings();
    const std::string& wider = sample.horizontalAdvance(FromCp1252(settings.TimeAMString)) >=
                                       sample.horizontalAdvance(FromCp1252(settings.TimePMString))
                                   ? settings.TimeAMString
                                   : settings.TimePMString;
    const int sampleWidth = sample.horizontalAdvance(
        FromCp1252(AutoSizeSample(options_.showSeconds, options_.twelveHour, wider)));
    const std::optional<int> size = AutoFontPixelSize(clockRect_, sampleWidth);
    // Set only when the size differs, so that the font change's own re-align stops here.
    if (!size || *size == font().pixelSize()) return;
    QFont fitted = font();
    fitted.setPixelSize(*size);
    setFont(fitted);
}

void TKvClock::PaintFrame(QPainter& painter) const {
    QRect rest = rect();
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor face = ColorFromBgr(color_);
    const auto bevel = [&](TPanelBevel kind) {
        if (kind == bvRaised) Frame3D(painter, rest, light, dark, bevelWidth_);
        if (kind == bvLowered) Frame3D(painter, rest, dark, light, bevelWidth_);
    };
    bevel(bevelOuter_);
    Frame3D(painter, rest, face, face, borderWidth_);
    bevel(bevelInner_);
    if (rest.isValid()) painter.fillRect(rest, face);
}

void TKvClock::PaintDigital(QPainter& painter) const {
    const DigitalLayout layout = LayoutDigital(FaceRect(), fontMetrics(), face_);
    // Digits too wide for the panel are cut at the frame rather than drawn over it.
    painter.setClipRect(FaceRect(), Qt::IntersectClip);
    painter.setFont(font());
    painter.setPen(ColorFromBgr(fontColor_));
    for (int i = 0; i < face_.cells; ++i) {
        painter.drawText(layout.cells[static_cast<std::size_t>(i)], Qt::AlignCenter,
                         FromCp1252(std::string_view(face_.text).substr(static_cast<std::size_t>(i), 1)));
    }
    painter.drawText(layout.suffix, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                     FromCp1252(face_.suffix));
}

void TKvClock::PaintAnalog(QPainter& painter) const {
    const AnalogFace face = PlanAnalog(clockRect_, ScreenClockPoints(), PrimaryScreenMetrics(), face_.hour,
                                       face_.minute, face_.second);
    const QColor dots = ColorFromBgr(dotsColor_);
    const QColor lighter = ColorFromBgr(BlendColor(kLighterStep, kLighterSteps, kWhite, dotsColor_));
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    painter.setBrush(Qt::NoBrush);
    for (const AnalogMark& mark : face.marks) {
        QRect rect = mark.rect;
        if (mark.large) {
            painter.fillRect(rect, dots);
            if (ctl3D_) Frame3D(painter, rect, lighter, lighter, 1);
        } else if (ctl3D_ && rect.width() >= kEmbossMinWidth) {
            Frame3D(painter, rect, shadow, highlight, 1);
        } else {
            painter.fillRect(rect, dots);
        }
    }
    painter.setPen(ColorFromBgr(fontColor_));
    DrawHand(painter, face.hour);
    DrawHand(painter, face.minute);
    // The seconds hand inverts what lies under it, so it shows on the hands and on any colour.
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.drawLine(face.second);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace controls
