#include "app/Program.h"

#include <QWidget>

#include <cstdio>

#include "app/Application.h"
#include "app/core/Texts.h"
#include "rtl/ExceptionHook.h"

namespace app {

void RegisterForms(FormRegistry& forms, ProgramRuntime& runtime, const Services& services) {
    // Each form joins here with its slot's factory, in the order of FormSlot.
    static_cast<void>(forms);
    static_cast<void>(runtime);
    static_cast<void>(services);
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
