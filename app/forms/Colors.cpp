#include "app/forms/Colors.h"

#include <QPalette>
#include <QWidget>

namespace app {

void SetBackgroundColor(QWidget& widget, controls::BgrColor color) {
    QPalette palette = widget.palette();
    const QColor qt = controls::ColorFromBgr(color);
    palette.setColor(QPalette::Window, qt);
    palette.setColor(QPalette::Base, qt);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void SetTextColor(QWidget& widget, controls::BgrColor color) {
    QPalette palette = widget.palette();
    const QColor qt = controls::ColorFromBgr(color);
    palette.setColor(QPalette::WindowText, qt);
    palette.setColor(QPalette::Text, qt);
    widget.setPalette(palette);
}

}  // namespace app
