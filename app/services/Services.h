// Services: the program's seams to the platform (boxes, help, printing, keyboard, time, randomness), the
// real ones, and the routes that lead the application and the data-aware controls to them.
#pragma once

#include <memory>
#include <string>

#include "app/controls/TimeSource.h"
#include "app/core/HelpService.h"
#include "app/core/KeyboardState.h"
#include "app/core/MessageService.h"
#include "app/core/RandomSource.h"
#include "app/services/HelpContext.h"
#include "app/services/PrintService.h"
#include "app/services/QtHelpService.h"
#include "app/services/QtMessageService.h"
#include "app/services/QtPrintService.h"
#include "app/services/XkbKeyboardState.h"
#include "db/widgets/Confirm.h"

namespace app {

class TApplication;
struct AppState;

// The services a form uses; whoever makes the view owns the services and outlives it.
struct Services {
    MessageService& messages;
    HelpService& help;
    PrintService& print;
    KeyboardState& keyboard;
    const controls::TimeSource& time;
    RandomSource& random;
};

// The real services of a running program.
class QtServices {
public:
    // The help file is the program directory's "marlo.hlp".
    QtServices(const AppState& state, const std::string& title);
    QtServices(const QtServices&) = delete;
    QtServices& operator=(const QtServices&) = delete;

    Services View();

private:
    QtMessageService messages_;
    QtHelpService help_;
    QtPrintService print_;
    XkbKeyboardState keyboard_;
    controls::SystemTimeSource time_;
    SystemRandomSource random_;
};

// While it lives: the application's stop box goes to the message service, the data-aware controls'
// delete question to its Confirm, and F1 to the help service. What was there before comes back at its end.
class ServiceRoutes {
public:
    ServiceRoutes(TApplication& application, const Services& services);
    ~ServiceRoutes();
    ServiceRoutes(const ServiceRoutes&) = delete;
    ServiceRoutes& operator=(const ServiceRoutes&) = delete;

private:
    TApplication& application_;
    MessageService* previousMessages_;
    db::widgets::TConfirmHandler previousConfirm_;
    HelpKeyFilter helpKey_;
};

}  // namespace app
