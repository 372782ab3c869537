#include "app/forms/ScaleBy.h"

#include <QGridLayout>
#include <QLayout>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "app/controls/KvClock.h"

namespace app {

namespace {

// The dynamic property that marks a scaled form.
constexpr char kScaledProperty[] = "keyvaleScaled";

class Scaler {
public:
    Scaler(int num, int den) : num_(num), den_(den) {}

    int operator()(int value) const { return controls::MulDiv(value, num_, den_); }

    QSize operator()(QSize size) const { return {Limit(size.width()), Limit(size.height())}; }

    // The font's size scaled, in the unit the font is given in.
    QFont Font(QFont font) const {
        if (font.pointSizeF() > 0) {
            font.setPointSizeF(font.pointSizeF() * num_ / den_);
        } else if (font.pixelSize() > 0) {
            font.setPixelSize(std::max(1, (*this)(font.pixelSize())));
        }
        return font;
    }

    void Sizes(QWidget& widget) const {
        const QSize minimum = widget.minimumSize();
        const QSize maximum = widget.maximumSize();
        // In the order that never leaves the minimum above the maximum.
        if (num_ > den_) {
            widget.setMaximumSize((*this)(maximum));
            widget.setMinimumSize((*this)(minimum));
        } else {
            widget.setMinimumSize((*this)(minimum));
            widget.setMaximumSize((*this)(maximum));
        }
    }

    void Layout(QLayout& layout) const {
        const QMargins m = layout.contentsMargins();
        layout.setContentsMargins((*this)(m.left()), (*this)(m.top()), (*this)(m.right()),
                                  (*this)(m.bottom()));
        if (auto* grid = qobject_cast<QGridLayout*>(&layout)) {
            grid->setHorizontalSpacing((*this)(grid->horizontalSpacing()));
            grid->setVerticalSpacing((*this)(grid->verticalSpacing()));
        } else if (layout.spacing() >= 0) {
            layout.setSpacing((*this)(layout.spacing()));
        }
    }

    QRect Geometry(const QRect& rect) const {
        return {(*this)(rect.x()), (*this)(rect.y()), (*this)(rect.width()), (*this)(rect.height())};
    }

private:
    // The unlimited size stays unlimited.
    int Limit(int value) const { return value >= QWIDGETSIZE_MAX ? value : (*this)(value); }

    int num_;
    int den_;
};

bool SameSize(const QFont& a, const QFont& b) {
    return a.pointSizeF() == b.pointSizeF() && a.pixelSize() == b.pixelSize();
}

// The font in the size of another, in that one's unit.
QFont WithSizeOf(QFont font, const QFont& size) {
    if (size.pointSizeF() > 0) {
        font.setPointSizeF(size.pointSizeF());
    } else if (size.pixelSize() > 0) {
        font.setPixelSize(size.pixelSize());
    }
    return font;
}

// Whether a layout of the parent places the widget.
bool PlacedByLayout(const QWidget& widget) {
    const QWidget* parent = widget.parentWidget();
    return parent != nullptr && parent->layout() != nullptr && parent->layout()->indexOf(&widget) >= 0;
}

}  // namespace

bool IsScaled(const QWidget& form) {
    return form.property(kScaledProperty).toBool();
}

void scaleBy(QWidget& form, int num, int den) {
    if (den <= 0) throw std::invalid_argument("scaleBy: the denominator must be positive");
    if (IsScaled(form))
        throw std::logic_error("scaleBy: the form " + form.objectName().toStdString() +
                               " is scaled already; re-create it to scale it again");
    form.setProperty(kScaledProperty, true);
    if (num == den) return;
    const Scaler scale(num, den);
    const QSize design = form.size();
    QList<QWidget*> children;
    for (QWidget* child : form.findChildren<QWidget*>()) {
        if (child->window() == &form) children.append(child);  // not a window of its own over this one
    }
    // Each widget's font as designed, before the form's own font changes what the others inherit.
    std::vector<QFont> designFonts;
    designFonts.reserve(children.size());
    for (const QWidget* child : children) designFonts.push_back(child->font());

    form.setFont(scale.Font(form.font()));
    scale.Sizes(form);
    for (qsizetype i = 0; i < children.size(); ++i) {
        QWidget* child = children[i];
        // Parents come before their children: a font that inherits its size has it scaled by now.
        const QFont target = scale.Font(designFonts[i]);
        if (child->testAttribute(Qt::WA_SetFont) && !SameSize(child->font(), target)) {
            child->setFont(WithSizeOf(child->font(), target));
        }
        scale.Sizes(*child);
        if (!child->isWindow() && !PlacedByLayout(*child))
            child->setGeometry(scale.Geometry(child->geometry()));
    }
    for (QLayout* layout : form.findChildren<QLayout*>()) {
        if (layout->parentWidget() == nullptr || layout->parentWidget()->window() == &form)
            scale.Layout(*layout);
    }
    form.resize(scale(design));
}

}  // namespace app
