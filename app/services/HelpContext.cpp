#include "app/services/HelpContext.h"

#include <QApplication>
#include <QKeyEvent>
#include <QVariant>
#include <QWidget>

#include "app/core/HelpService.h"
#include "app/core/Texts.h"
#include "db/widgets/Guarded.h"

namespace app {

namespace {

// The dynamic property that carries a widget's help context.
constexpr char kHelpContextProperty[] = "helpContext";

}  // namespace

void SetHelpContext(QWidget& widget, int context) {
    widget.setProperty(kHelpContextProperty, context);
}

int HelpContextOf(const QWidget& widget) {
    return widget.property(kHelpContextProperty).toInt();
}

int NearestHelpContext(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (const int context = HelpContextOf(*widget); context != 0) return context;
        if (widget->isWindow()) break;
    }
    return 0;
}

void ShowHelpFor(HelpService& help, const QWidget* focus) {
    if (const int context = NearestHelpContext(focus); context != 0) {
        help.ShowContext(context);
    } else {
        help.ShowTopic(kHelpContentsTopic);
    }
}

HelpKeyFilter::HelpKeyFilter(HelpService& help, QObject* parent) : QObject(parent), help_(help) {}

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr) focus = static_cast<QWidget*>(watched);
    db::widgets::Guarded([&] { ShowHelpFor(help_, focus); });
    return true;  // taken: the key goes no further up
}

}  // namespace app
