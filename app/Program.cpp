#include "app/Program.h"

#include <QWidget>

#include <cstdio>

#include "app/Application.h"
#include "app/DataModule.h"
#include "app/settingsform.h"
#include "app/showitForm.h"
#include "app/core/dbfuncs.h"
#include "app/core/Texts.h"
#include "rtl/ExceptionHook.h"

namespace app {

void RegisterForms(FormRegistry& forms, ProgramRuntime& runtime, const Services& services) {
    // Each form joins here with its slot's factory, in the order of FormSlot.
    AppState& state = runtime.State();
    MessageService& messages = services.messages;
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
    PrintService& print = services.print;
    forms.SetFactory(FormSlot::showitForm, [&messages, &print](QWidget* mainWindow) {
        return std::make_unique<TshowitForm>(messages, print, mainWindow);
    });
}

Program::Program(TApplication& application, std::string progdir, const TRegisterForms& registerForms)
    : runtime_(std::move(progdir)),
      services_(runtime_.State(), application.Title()),
      routes_(application, services_.View()) {
    registerForms(forms_, runtime_, services_.View());
    forms_.CreateAll();
}

Program::~Program() {
    forms_.DestroyAll();
}

int RunProgram(TApplication& application) {
    try {
        Program program(application, ProgramDirectory());
        QWidget* mainWindow = program.Forms().MainWindow();
        if (mainWindow == nullptr) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(kNoMainWindow.size()), kNoMainWindow.data());
            return 1;
        }
        mainWindow->show();
        return application.exec();
    } catch (...) {
        rtl::HandleCurrentException();
        return 1;
    }
}

}  // namespace app
