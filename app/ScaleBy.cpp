#include "app/ScaleBy.h"

#include <QGridLayout>
#include <QLayout>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <stdexcept>

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

    void Font(QWidget& widget, bool always) const {
        if (!always && !widget.testAttribute(Qt::WA_SetFont)) return;
        QFont font = widget.font();
        // A font set for its weight or family only takes its size from the parent, which is scaled.
        if (!always && !(font.resolveMask() & QFont::SizeResolved)) return;
        if (font.pointSizeF() > 0) {
            font.setPointSizeF(font.pointSizeF() * num_ / den_);
        } else if (font.pixelSize() > 0) {
            font.setPixelSize(std::max(1, (*this)(font.pixelSize())));
        }
        widget.setFont(font);
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

    scale.Font(form, true);
    scale.Sizes(form);
    const QList<QWidget*> children = form.findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (child->window() != &form) continue;  // a window of its own, such as a dialog over this one
        scale.Font(*child, false);
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
