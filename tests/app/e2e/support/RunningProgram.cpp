#include "tests/app/e2e/support/RunningProgram.h"

#include <QTest>

#include <stdexcept>

#include "app/forms/zmain.h"
#include "app/services/Application.h"
#include "app/services/QtPrintService.h"
#include "tests/support/ModalScript.h"

namespace e2e {

namespace {

app::TApplication& TheApplication() {
    app::TApplication* application = app::Application();
    if (application == nullptr) throw std::logic_error("the program runs on its own application object");
    return *application;
}

}  // namespace

RunningProgram::RunningProgram(const ScenarioDir& dir, rtl::TDateTime start) : clock_(start) {
    // Printing takes its PDF road, whatever printers the machine has: the files land in the working
    // directory (a preview's) or where the file dialog says.
    if (qEnvironmentVariableIsEmpty(app::kPrintToPdfVariable)) qputenv(app::kPrintToPdfVariable, "1");
    // A keyboard with Num Lock off, as a fresh session has it: the numeric screen switches it on.
    keyboard_.SetNumLock(false);
    const app::ServiceStandIns standIns{&keyboard_, &clock_, &random_};
    program_ = std::make_unique<app::Program>(TheApplication(), dir.Progdir(), app::RegisterForms, standIns);
    main_ = program_->Forms().Get<app::Tzmain>(app::FormSlot::zmain);
    if (main_ == nullptr) throw std::runtime_error("the program has no main window");
    main_->show();
    main_->activateWindow();
    if (!QTest::qWaitForWindowActive(main_)) throw std::runtime_error("the main window did not become active");
}

RunningProgram::~RunningProgram() {
    // A window a failed scenario left open would keep its loop on the stack of nothing: close them first.
    testsupport::ModalScript::CloseAllModals();
    if (main_ != nullptr && main_->isVisible()) main_->close();
    program_.reset();
}

}  // namespace e2e
