#include "app/program/Program.h"

#include <QWidget>

#include <stdexcept>

#include "app/core/dbfuncs.h"
#include "app/forms/DataModule.h"
#include "app/forms/aboutform.h"
#include "app/forms/getnameform.h"
#include "app/forms/getpasswordForm.h"
#include "app/forms/passwordchangeform.h"
#include "app/forms/printresultsform.h"
#include "app/forms/resultsForm.h"
#include "app/forms/settingsform.h"
#include "app/forms/showitForm.h"
#include "app/forms/zmain.h"
#include "app/generators/newnumerictestform.h"
#include "app/generators/rewritean.h"
#include "app/screens/alphanumerictestform.h"
#include "app/screens/alphatestform.h"
#include "app/screens/numerictestform.h"
#include "app/services/Application.h"
#include "rtl/ExceptionHook.h"

namespace app {

namespace {

// The two test-data generators.
void RegisterGenerators(FormRegistry& forms, AppState& state, const Services& services) {
    forms.SetFactory(FormSlot::newnumerictestform, [&state, services](QWidget* mainWindow) {
        return std::make_unique<Tnewnumerictestform>(state, services.messages, services.random, mainWindow);
    });
    forms.SetFactory(FormSlot::rewritean, [&state, services](QWidget* mainWindow) {
        return std::make_unique<Trewritean>(state, services.messages, services.random, services.time, mainWindow);
    });
}

// The data module, which the dialogs after it in the creation order use.
Tdbfuncs& DataModuleOf(const FormRegistry& forms) {
    auto* module = forms.Get<TDataModule<Tdbfuncs>>(FormSlot::dbfuncs);
    if (module == nullptr) throw std::logic_error("the data module over config.dat is not created");
    return module->module;
}

Services WithStandIns(const Services& real, const ServiceStandIns& standIns) {
    return Services{real.messages,
                    real.help,
                    real.print,
                    standIns.keyboard != nullptr ? *standIns.keyboard : real.keyboard,
                    standIns.time != nullptr ? *standIns.time : real.time,
                    standIns.random != nullptr ? *standIns.random : real.random};
}

}  // namespace

void RegisterForms(FormRegistry& forms, ProgramRuntime& runtime, const Services& services) {
    // Each form joins here with its slot's factory, in the order of FormSlot.
    AppState& state = runtime.State();
    MessageService& messages = services.messages;
    forms.SetFactory(FormSlot::zmain, [&forms, &state, services](QWidget*) {
        return std::make_unique<Tzmain>(forms, state, services);
    });
    forms.SetFactory(FormSlot::settingsform, [&forms, &state, &messages](QWidget* mainWindow) {
        // The data module comes after the dialog: it is looked up when a save reloads.
        auto reload = [&forms] {
            if (auto* dbfuncs = forms.Get<TDataModule<Tdbfuncs>>(FormSlot::dbfuncs)) dbfuncs->module.getconfig();
        };
        return std::make_unique<Tsettingsform>(state, messages, reload, mainWindow);
    });
    forms.SetFactory(FormSlot::dbfuncs, [&state, &messages](QWidget*) {
        return std::make_unique<TDataModule<Tdbfuncs>>(state, messages);
    });
    forms.SetFactory(FormSlot::getpasswordForm, [&state, &messages](QWidget* mainWindow) {
        return std::make_unique<TgetpasswordForm>(state, messages, mainWindow);
    });
    forms.SetFactory(FormSlot::passwordchangeform, [&forms, &state, &messages](QWidget* mainWindow) {
        return std::make_unique<Tpasswordchangeform>(state, messages, DataModuleOf(forms), mainWindow);
    });
    forms.SetFactory(FormSlot::getnameform, [&forms, &state](QWidget* mainWindow) {
        return std::make_unique<Tgetnameform>(state, DataModuleOf(forms), mainWindow);
    });
    forms.SetFactory(FormSlot::aboutform, [](QWidget* mainWindow) { return std::make_unique<Taboutform>(mainWindow); });
    PrintService& print = services.print;
    forms.SetFactory(FormSlot::showitForm, [&messages, &print](QWidget* mainWindow) {
        return std::make_unique<TshowitForm>(messages, print, mainWindow);
    });
    forms.SetFactory(FormSlot::resultsForm, [&forms, &state, &messages](QWidget* mainWindow) {
        return std::make_unique<TresultsForm>(state, messages, forms, mainWindow);
    });
    // The list report follows the results window's table.
    forms.SetFactory(FormSlot::printresultsform, [&forms, &messages, &print](QWidget*) {
        auto results = [&forms]() -> db::TDataSet& {
            auto* window = forms.Get<TresultsForm>(FormSlot::resultsForm);
            if (window == nullptr) throw std::logic_error("the results window is not created");
            return window->resultsdb;
        };
        return std::make_unique<Tprintresultsform>(results, print, messages);
    });
    RegisterGenerators(forms, state, services);
    RegisterTestScreens(forms, state, services);
}

TestScreen::TPasswordGate MainWindowGate(const FormRegistry& forms) {
    // Looked up at each Cancel: the main window is made before the screens and outlives them.
    return [&forms] {
        auto* zmain = forms.Get<Tzmain>(FormSlot::zmain);
        if (zmain == nullptr) throw std::logic_error("the test screens' Cancel needs the main window's password gate");
        return zmain->getpassword();
    };
}

void RegisterTestScreens(FormRegistry& forms, AppState& state, const Services& services) {
    // A screen finds the report window when it scores: the window's slot comes after the numeric screen's.
    const auto withReport = [&forms](std::unique_ptr<TestScreen> screen) -> std::unique_ptr<QObject> {
        screen->reportWindow = [&forms] { return forms.Get<TshowitForm>(FormSlot::showitForm); };
        return screen;
    };
    forms.SetFactory(FormSlot::numerictestform, [&forms, &state, services, withReport](QWidget* mainWindow) {
        return withReport(std::make_unique<Tnumerictestform>(state, services, MainWindowGate(forms), mainWindow));
    });
    forms.SetFactory(FormSlot::alphanumerictestform, [&forms, &state, services, withReport](QWidget* mainWindow) {
        return withReport(
            std::make_unique<Talphanumerictestform>(state, services, MainWindowGate(forms), mainWindow));
    });
    forms.SetFactory(FormSlot::alphatestform, [&forms, &state, services, withReport](QWidget* mainWindow) {
        return withReport(std::make_unique<Talphatestform>(state, services, MainWindowGate(forms), mainWindow));
    });
}

Program::Program(TApplication& application, std::string progdir, const TRegisterForms& registerForms,
                 const ServiceStandIns& standIns)
    : runtime_(std::move(progdir)),
      services_(runtime_.State(), application.Title()),
      view_(WithStandIns(services_.View(), standIns)),
      routes_(application, view_) {
    registerForms(forms_, runtime_, view_);
    forms_.CreateAll();
}

Program::~Program() {
    forms_.DestroyAll();
}

int RunProgram(TApplication& application) {
    try {
        Program program(application, ProgramDirectory());
        auto* mainWindow = program.Forms().Get<Tzmain>(FormSlot::zmain);
        if (mainWindow == nullptr) throw std::logic_error("the program has no main window");
        // Closing the main window ends the message loop, although the other forms live on hidden.
        mainWindow->show();
        const int code = application.exec();
        return mainWindow->SettingsUnread() ? 1 : code;
    } catch (...) {
        rtl::HandleCurrentException();
        return 1;
    }
}

}  // namespace app
