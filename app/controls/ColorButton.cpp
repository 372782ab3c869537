#include "app/controls/ColorButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace controls {

namespace {

constexpr BgrColor kBlack = 0x000000;
constexpr BgrColor kWhite = 0xFFFFFF;
// The face's base is the colour darkened by two fifths (each 255 becomes 153).
constexpr int kBaseDarkenStep = 2;
constexpr int kBaseDarkenSteps = 5;
// The highlight sits a fifth of the way in from the upper left (the pressed disc's from the lower right).
constexpr int kHighlightDivisor = 5;
// The pressed face's disc is inset by a tenth of the size on each side.
constexpr int kDiscInsetDivisor = 10;
// The pressed face's outer rings may stop once a ring's corner passes three tenths of the size.
constexpr int kPressedStopTenths = 3;
// Pixels between the glyph and the caption when both are there.
constexpr int kGlyphSpacing = 4;

std::int64_t Square(std::int64_t value) {
    return value * value;
}

// The largest r with r * r <= value, for value >= 0.
int IntegerSqrt(std::int64_t value) {
    auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(value)));
    while (root > 0 && root * root > value) --root;
    while (Square(root + 1) <= value) ++root;
    return static_cast<int>(root);
}

// The gradient spreads over 1.2 times the radius, so it stops about five sixths of the way toward white
// at the highlight. The factor the gradient was designed with lies just above 1.2, so a radius that is a
// multiple of 5 gets exactly 6/5 of it; the integer quotient gives that where a double's 1.2 falls short.
int GradientSteps(int radius) {
    return static_cast<int>(std::int64_t{radius} * 6 / 5);
}

// value * i / n rounded down (floor) or up (ceil), for value, i >= 0 and n > 0.
int ScaleDown(int value, int i, int n) {
    return static_cast<int>(std::int64_t{value} * i / n);
}
int ScaleUp(int value, int i, int n) {
    return static_cast<int>((std::int64_t{value} * i + n - 1) / n);
}

// A ring lit `step` of `steps` of the way from the base toward white.
FaceRing Ring(int left, int top, int right, int bottom, int step, int steps, BgrColor base) {
    return FaceRing{left, top, right, bottom, BlendColor(step, steps, kWhite, base)};
}

void FillRings(QPainter& painter, const std::vector<FaceRing>& rings) {
    for (const FaceRing& ring : rings) {
        if (ring.right <= ring.left || ring.bottom <= ring.top) continue;
        painter.setBrush(ColorFromBgr(ring.color));
        painter.drawEllipse(QRect(ring.left, ring.top, ring.right - ring.left, ring.bottom - ring.top));
    }
}

}  // namespace

BgrColor BlendColor(int step, int steps, BgrColor from, BgrColor to) {
    if (steps <= 0) return to & kWhite;
    const auto channel = [&](int f, int t) {
        const std::int64_t value = (std::int64_t{t} * steps + std::int64_t{f - t} * step) / steps;
        return static_cast<int>(std::clamp<std::int64_t>(value, 0, 255));
    };
    return MakeBgr(channel(BgrRed(from), BgrRed(to)), channel(BgrGreen(from), BgrGreen(to)),
                   channel(BgrBlue(from), BgrBlue(to)));
}

FacePlan PlanFace(int width, int height, BgrColor color, bool pressed) {
    const int w = std::max(width, 0);
    const int h = std::max(height, 0);
    FacePlan plan;
    plan.base = BlendColor(kBaseDarkenStep, kBaseDarkenSteps, kBlack, color);

    // Rings from the whole face down to the point of the highlight, each a step lighter.
    const int n = IntegerSqrt(Square(w / 2) + Square(h / 2));
    if (n > 0) {
        const int steps = GradientSteps(n);
        const int hx = w / kHighlightDivisor;
        const int hy = h / kHighlightDivisor;
        for (int i = 0; i <= n; ++i) {
            const int left = ScaleDown(hx, i, n);
            const int top = ScaleDown(hy, i, n);
            plan.rings.push_back(
                Ring(left, top, w - ScaleUp(w - hx, i, n), h - ScaleUp(h - hy, i, n), i, steps, plan.base));
            // Kept as the face was designed: the corner never passes the mark before the last ring.
            if (pressed && left > kPressedStopTenths * (w / 10) && top > kPressedStopTenths * (h / 10)) break;
        }
    }
    if (!pressed) return plan;

    // The pressed face's inner disc, its rings converging toward the lower right.
    const int dx = w / kDiscInsetDivisor;
    const int dy = h / kDiscInsetDivisor;
    const int dw = w - 2 * dx;
    const int dh = h - 2 * dy;
    const int hx = dw / kHighlightDivisor;
    const int hy = dh / kHighlightDivisor;
    const int m = IntegerSqrt(Square(dw / 2) + Square(dh / 2));
    if (m > 0) {
        const int steps = GradientSteps(m);
        for (int i = 0; i <= m; ++i) {
            plan.disc.push_back(Ring(dx + ScaleDown(dw - hx, i, m), dy + ScaleDown(dh - hy, i, m),
                                     dx + dw - ScaleDown(hx, i, m), dy + dh - ScaleDown(hy, i, m), i, steps,
                                     plan.base));
        }
    }
    return plan;
}

void PaintFace(QPainter& painter, int width, int height, BgrColor color, bool pressed) {
    const FacePlan plan = PlanFace(width, height, color, pressed);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRect(0, 0, width, height), ColorFromBgr(plan.base));
    FillRings(painter, plan.rings);
    FillRings(painter, plan.disc);
    painter.restore();
}

QImage RenderFace(QSize size, BgrColor color, bool pressed) {
    if (size.isEmpty()) return QImage();
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;  // too large to allocate: the button shows no face
    QPainter painter(&image);
    PaintFace(painter, size.width(), size.height(), color, pressed);
    return image;
}

CaptionPlacement LayoutCaption(QSize button, const std::vector<int>& lineWidths, int lineHeight, QSize glyph,
                               TkvButtonLayout layout, bool pressed) {
    const int w = button.width();
    const int h = button.height();
    const int textWidth = lineWidths.empty() ? 0 : *std::max_element(lineWidths.begin(), lineWidths.end());
    const int textHeight = static_cast<int>(lineWidths.size()) * lineHeight;
    const int gw = std::max(glyph.width(), 0);
    const int gh = std::max(glyph.height(), 0);
    const int spacing = gw >= 1 && textWidth >= 1 ? kGlyphSpacing : 0;

    int glyphX = 0, glyphY = 0, textX = 0, textY = 0;
    switch (layout) {
        case kvGlyphRight:
            textX = (w - gw - spacing - textWidth) / 2;
            textY = (h - textHeight) / 2;
            glyphX = textX + textWidth + spacing;
            glyphY = (h - gh) / 2;
            break;
        case kvGlyphTop:
            glyphX = (w - gw) / 2;
            glyphY = (h - gh - textHeight - spacing) / 2;
            textX = (w - textWidth) / 2;
            textY = glyphY + gh + spacing;
            break;
        case kvGlyphBottom:
            textX = (w - textWidth) / 2;
            textY = (h - gh - textHeight - spacing) / 2;
            glyphX = (w - gw) / 2;
            glyphY = textY + textHeight + spacing;
            break;
        case kvGlyphLeft:
        default:
            glyphX = (w - gw - spacing - textWidth) / 2;
            glyphY = (h - gh) / 2;
            textX = glyphX + gw + spacing;
            textY = (h - textHeight) / 2;
            break;
    }
    const QPoint shift = pressed ? QPoint(1, 1) : QPoint(0, 0);

    CaptionPlacement placement;
    placement.glyph = QPoint(glyphX, glyphY) + shift;
    for (std::size_t i = 0; i < lineWidths.size(); ++i) {
        int offset = 0;
        if (layout == kvGlyphTop || layout == kvGlyphBottom) offset = (textWidth - lineWidths[i]) / 2;
        if (layout == kvGlyphRight) offset = textWidth - lineWidths[i];
        placement.lines.push_back(QPoint(textX + offset, textY + lineHeight * static_cast<int>(i)) + shift);
    }
    return placement;
}

TkvColorButton::TkvColorButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    // While the left button is held Qt sends no enter or leave, so crossings come from the moves.
    setMouseTracking(true);
    // The face covers every pixel inside the outline.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    resize(kDefaultWidth, kDefaultHeight);
    BuildFaces();
    UpdateRegion();
}

void TkvColorButton::SetColor(BgrColor color) {
    if (color == color_) return;
    color_ = color;
    BuildFaces();
    update();
}

void TkvColorButton::SetFontColor(BgrColor color) {
    fontColor_ = color;
    update();
}

void TkvColorButton::SetCaption(const QStringList& caption) {
    caption_ = caption;
    update();
}

void TkvColorButton::SetFaceVisible(bool visible) {
    // An empty mask would mean no mask to Qt, and hide() would take the button out of its layout; so the
    // button stays shown and in place, paints nothing and lets the mouse through to what lies beneath.
    faceVisible_ = visible;
    setAttribute(Qt::WA_OpaquePaintEvent, visible);
    setAttribute(Qt::WA_TransparentForMouseEvents, !visible);
    UpdateRegion();
    update();
}

void TkvColorButton::SetGlyph(const QPixmap& glyph) {
    glyph_ = glyph;
    update();
}

void TkvColorButton::SetGlyphLayout(TkvButtonLayout layout) {
    if (layout == layout_) return;
    layout_ = layout;
    update();
}

void TkvColorButton::SetDown(bool down) {
    if (groupIndex_ == 0) down = false;
    if (down == pressed_) return;
    down_ = down;
    SetPressed(down);
    if (down) UpdateExclusive();
}

void TkvColorButton::CMButtonPressed(int group, TkvColorButton* sender) {
    if (group != groupIndex_ || sender == this || !pressed_) return;
    SetDownAndPressed(false);
}

void TkvColorButton::Click() {
    if (isEnabled()) emit clicked();
}

void TkvColorButton::paintEvent(QPaintEvent*) {
    if (!faceVisible_) return;
    QPainter painter(this);
    const QImage& face = pressed_ ? downFace_ : upFace_;
    if (!face.isNull()) painter.drawImage(0, 0, face);
    DrawCaption(painter);
}

void TkvColorButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    BuildFaces();
    UpdateRegion();
}

void TkvColorButton::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
        case QEvent::EnabledChange:
            // A disabled button gets no release, so a press in progress is given up here rather than
            // leaving the face held down.
            if (!isEnabled()) {
                tracking_ = false;
                clickArmed_ = false;
                SetPressed(down_);
            }
            update();
            break;
        case QEvent::FontChange:
        case QEvent::PaletteChange:
            update();
            break;
        default:
            break;
    }
}

void TkvColorButton::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    SetMouseInside(HitTest(event->position().toPoint()));
}

void TkvColorButton::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    SetMouseInside(false);
}

void TkvColorButton::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    SetMouseInside(HitTest(pos));
    emit mousePressed(event->button(), event->modifiers(), pos);
    if (event->button() == Qt::LeftButton) LeftButtonDown();
}

void TkvColorButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    mousePressEvent(event);
}

void TkvColorButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    SetMouseInside(HitTest(pos));
    emit mouseMoved(event->buttons(), event->modifiers(), pos);
}

void TkvColorButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    SetMouseInside(HitTest(pos));
    if (event->button() != Qt::LeftButton) {
        emit mouseReleased(event->button(), event->modifiers(), pos);
        return;
    }
    if (std::exchange(clickArmed_, false) && mouseInside_) Click();
    emit mouseReleased(event->button(), event->modifiers(), pos);

    if (groupIndex_ == 0 || !mouseInside_) {
        SetDownAndPressed(false);
    } else if (isEnabled() && !down_) {
        SetDownAndPressed(true);
        UpdateExclusive();
    } else if (isEnabled() && down_ && allowAllUp_) {
        SetDownAndPressed(false);
    }
}

void TkvColorButton::BuildFaces() {
    upFace_ = RenderFace(size(), color_, false);
    downFace_ = RenderFace(size(), color_, true);
}

void TkvColorButton::UpdateRegion() {
    // One pixel beyond each edge, so the ellipse reaches the button's sides.
    outline_ = QRegion(QRect(-1, -1, width() + 2, height() + 2), QRegion::Ellipse);
    setMask(outline_);
}

void TkvColorButton::UpdateExclusive() {
    if (groupIndex_ == 0 || parentWidget() == nullptr) return;
    const auto siblings =
        parentWidget()->findChildren<TkvColorButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (TkvColorButton* sibling : siblings) sibling->CMButtonPressed(groupIndex_, this);
}

void TkvColorButton::DrawCaption(QPainter& painter) {
    const QFontMetrics metrics(font());
    std::vector<int> widths;
    widths.reserve(caption_.size());
    for (const QString& line : caption_) widths.push_back(metrics.horizontalAdvance(line));
    const CaptionPlacement placement =
        LayoutCaption(size(), widths, metrics.height(), glyph_.size(), layout_, pressed_);

    if (!glyph_.isNull()) painter.drawPixmap(placement.glyph, glyph_);
    painter.setFont(font());
    painter.setBrush(Qt::NoBrush);
    const QPoint baseline(0, metrics.ascent());
    for (qsizetype i = 0; i < caption_.size(); ++i) {
        const QPoint origin = placement.lines[static_cast<std::size_t>(i)] + baseline;
        if (isEnabled()) {
            painter.setPen(ColorFromBgr(fontColor_));
        } else {
            // Embossed: the highlight one pixel down and right, the shadow on top.
            painter.setPen(palette().color(QPalette::Light));
            painter.drawText(origin + QPoint(1, 1), caption_[i]);
            painter.setPen(palette().color(QPalette::Dark));
        }
        painter.drawText(origin, caption_[i]);
    }
}

bool TkvColorButton::HitTest(QPoint pos) const {
    return outline_.contains(pos);
}

void TkvColorButton::LeftButtonDown() {
    clickArmed_ = true;
    if (!isEnabled() || down_) return;
    tracking_ = true;
    SetPressed(true);
}

void TkvColorButton::SetMouseInside(bool inside) {
    if (inside == mouseInside_) return;
    mouseInside_ = inside;
    if (inside) {
        SetPressed(down_ || tracking_);
    } else {
        SetPressed(groupIndex_ != 0 && down_);
    }
}

void TkvColorButton::SetDownAndPressed(bool down) {
    down_ = down;
    tracking_ = down;
    SetPressed(down);
}

void TkvColorButton::SetPressed(bool pressed) {
    if (pressed == pressed_) return;
    pressed_ = pressed;
    update();
}

}  // namespace controls
