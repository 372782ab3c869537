// TkvColorButton: the program's elliptical push button with a radial-gradient face, a caption and a glyph.
#pragma once

#include "app/controls/BgrColor.h"

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QStringList>
#include <QWidget>

#include <vector>

class QPainter;

namespace controls {

// Where the glyph stands beside the caption; the values are the stored property values.
enum TkvButtonLayout { kvGlyphLeft = 0, kvGlyphRight = 1, kvGlyphTop = 2, kvGlyphBottom = 3 };

// Each red, green and blue byte moved from `to` toward `from` by step/steps of the way:
// (to * steps + (from - to) * step) / steps, truncated as a whole. Steps of 0 or less give `to`.
BgrColor BlendColor(int step, int steps, BgrColor from, BgrColor to);

// One filled ellipse of a face, inscribed in the rectangle from (left, top) up to but excluding
// (right, bottom).
struct FaceRing {
    int left;
    int top;
    int right;
    int bottom;
    BgrColor color;

    bool operator==(const FaceRing&) const = default;
};

// What PaintFace draws, in order: the whole face in `base`, the rings shrinking toward the highlight at the
// upper left, and on the pressed face the inner disc lit from the lower right.
struct FacePlan {
    BgrColor base = 0;
    std::vector<FaceRing> rings;
    std::vector<FaceRing> disc;
};

// The face of a button of width x height in `color` (low three bytes). A face too small to have a radius
// gets the base fill alone, and a disc too small to have one is left out.
FacePlan PlanFace(int width, int height, BgrColor color, bool pressed);

// Draws the planned face onto the painter's device, from (0, 0).
void PaintFace(QPainter& painter, int width, int height, BgrColor color, bool pressed);

// The face as an image of the button's size; a null image for an empty size.
QImage RenderFace(QSize size, BgrColor color, bool pressed);

// Where DrawCaption puts the glyph and the top-left corner of each caption line.
struct CaptionPlacement {
    QPoint glyph;
    std::vector<QPoint> lines;
};

// The caption layout of a button of `button` size: `lineWidths` one per caption line, all lines
// `lineHeight` high, a glyph of `glyph` size (empty for none). Pressed shifts everything by (1, 1).
CaptionPlacement LayoutCaption(QSize button, const std::vector<int>& lineWidths, int lineHeight, QSize glyph,
                               TkvButtonLayout layout, bool pressed);

// The elliptical gradient push button. With a GroupIndex it works as a radio-style button among the
// buttons of its parent that share the index. Takes no keyboard focus.
class TkvColorButton : public QWidget {
    Q_OBJECT

public:
    // Size the button has until its owner sets one.
    static constexpr int kDefaultWidth = 100;
    static constexpr int kDefaultHeight = 40;
    // The face starts white.
    static constexpr BgrColor kDefaultColor = 0xFFFFFF;

    explicit TkvColorButton(QWidget* parent = nullptr);

    BgrColor Color() const { return color_; }
    void SetColor(BgrColor color);

    // Colour of an enabled caption (QFont carries none); starts black.
    BgrColor FontColor() const { return fontColor_; }
    void SetFontColor(BgrColor color);

    const QStringList& Caption() const { return caption_; }
    void SetCaption(const QStringList& caption);

    // False leaves the button in its place but shows nothing of it and passes the mouse to what lies
    // beneath.
    bool FaceVisible() const { return faceVisible_; }
    void SetFaceVisible(bool visible);

    // Drawn with its own alpha channel.
    const QPixmap& Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap& glyph);

    TkvButtonLayout GlyphLayout() const { return layout_; }
    void SetGlyphLayout(TkvButtonLayout layout);

    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int groupIndex) { groupIndex_ = groupIndex; }

    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool allowAllUp) { allowAllUp_ = allowAllUp; }

    // Only a group button can be down; on a button without a group, setting it releases the face.
    bool Down() const { return down_; }
    void SetDown(bool down);

    // Whether the face is currently drawn pressed.
    bool IsPressed() const { return pressed_; }

    const QImage& UpFace() const { return upFace_; }
    const QImage& DownFace() const { return downFace_; }

    // Another button of `group` under the same parent went down: this one lets go.
    void CMButtonPressed(int group, TkvColorButton* sender);

signals:
    void clicked();
    void doubleClicked();
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    // Emits clicked() when the button is enabled.
    virtual void Click();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BuildFaces();
    void UpdateRegion();
    void UpdateExclusive();
    void DrawCaption(QPainter& painter);
    bool HitTest(QPoint pos) const;
    void LeftButtonDown();
    void SetMouseInside(bool inside);
    void SetPressed(bool pressed);
    // Down, tracking and the pressed face all at once, as a click or another group button sets them.
    void SetDownAndPressed(bool down);

    BgrColor color_ = kDefaultColor;
    BgrColor fontColor_ = 0x000000;
    bool down_ = false;
    bool pressed_ = false;
    bool tracking_ = false;
    bool mouseInside_ = false;
    // A left press landed on the button and has not been released yet: its release may click.
    bool clickArmed_ = false;
    QStringList caption_;
    QImage upFace_;
    QImage downFace_;
    bool faceVisible_ = true;
    QPixmap glyph_;
    TkvButtonLayout layout_ = kvGlyphLeft;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    // The button's elliptic outline: its window mask and the test of "mouse inside".
    QRegion outline_;
};

}  // namespace controls
