// AppFixture: a program to test forms in: a program directory of its own, a runtime with its state, and a
// double of every service, routed to as the running program routes to the real ones.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/services/ProgramRuntime.h"
#include "app/services/Services.h"
#include "components/TARNISTable.h"
#include "tests/app/core/support/ConfigTables.h"
#include "tests/support/ServiceDoubles.h"

namespace testsupport {

// The program directory is not the test's working directory (tests/QtTestMain.cpp gives each test its
// own), so a file opened by a bare name is not found there. A stop box that the test has not taken with
// TakeStops fails the test at its end.
class AppFixture : public testing::Test {
private:
    // Before the doubles: the print double writes into one.
    QTemporaryDir programDir_;
    QTemporaryDir printDir_;

protected:
    AppFixture();
    ~AppFixture() override;

    void TearDown() override;

    // The program directory with its trailing "/".
    QString ProgramDir() const;
    app::ProgramRuntime& Runtime() { return *runtime_; }
    app::AppState& State() { return runtime_->State(); }
    app::Services View();

    // Copies the program's help file into the program directory.
    void InstallHelpFile();
    // config.dat in the program directory, as keyvale-setup makes it from `spec`, with `values` in its record.
    void InstallConfig(const ConfigValues& values = {},
                       const keyvalesetup::TableSpec& spec = testsupport::ConfigSpec());
    // The program's four tables, seeded: config from `values`, no results, a small invsort, the numeric test.
    void InstallApplicationTables(const ConfigValues& values = {});

    // A handle of its own on config.dat, at its record, that waits for no lock: another copy of the program.
    std::unique_ptr<components::TTARNISTable> OpenConfig();
    // A field of config.dat's record as stored now.
    std::string StoredConfig(const char* field);

    // Shows the window and waits until it is the active one, as a user's window would be.
    void ShowActive(QWidget& window);

    std::vector<Box> TakeStops() { return messages.TakeStops(); }

    RecordingMessageService messages;
    RecordingHelpService help;
    RecordingKeyboardState keyboard;
    FakeTimeSource time;
    ScriptedRandomSource random;
    PdfPrintService print;

private:
    std::unique_ptr<app::ProgramRuntime> runtime_;
    std::unique_ptr<app::ServiceRoutes> routes_;
};

}  // namespace testsupport
