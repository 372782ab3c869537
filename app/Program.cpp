#include "app/Program.h"

#include <cstdio>
#include <string>

#include "app/Application.h"
#include "app/FormRegistry.h"
#include "app/ProgramRuntime.h"
#include "app/Services.h"
#include "app/core/Texts.h"
#include "rtl/ExceptionHook.h"

namespace app {

void RegisterForms(FormRegistry& forms, ProgramRuntime& runtime, const Services& services) {
    // Each form joins here with its slot's factory, in the order of FormSlot.
    static_cast<void>(forms);
    static_cast<void>(runtime);
    static_cast<void>(services);
}

int RunProgram(TApplication& application) {
    std::string progdir;
    try {
        progdir = ProgramDirectory();
    } catch (...) {
        rtl::HandleCurrentException();
        return 1;
    }
    try {
        ProgramRuntime runtime(progdir);
        QtServices services(runtime.State(), application.Title());
        ServiceRoutes routes(application, services.View());
        FormRegistry forms;
        RegisterForms(forms, runtime, services.View());
        forms.CreateAll();
        if (forms.MainWindow() == nullptr) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(kNoMainWindow.size()), kNoMainWindow.data());
            return 1;
        }
        return application.exec();
    } catch (...) {
        rtl::HandleCurrentException();
        return 1;
    }
}

}  // namespace app
