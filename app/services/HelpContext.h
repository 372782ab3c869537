// Help contexts of the program's windows and controls, and the F1 key that asks the help service for them.
#pragma once

#include <QObject>

class QWidget;

namespace app {

class HelpService;

// A widget's own help context; 0 for none.
void SetHelpContext(QWidget& widget, int context);
int HelpContextOf(const QWidget& widget);

// The first help context from the widget up through its parents within its window; 0 for none.
int NearestHelpContext(const QWidget* widget);

// Asks the help service for the nearest help context of the focus widget, else for the contents.
void ShowHelpFor(HelpService& help, const QWidget* focus);

// Installed on the application: F1 anywhere, inside any modal window too, shows help for the focus.
class HelpKeyFilter : public QObject {
public:
    explicit HelpKeyFilter(HelpService& help, QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    HelpService& help_;
};

}  // namespace app
