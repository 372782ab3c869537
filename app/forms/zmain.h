// Tzmain: the main window, the program's hub: its menu, toolbar, clock and status hints, and every command.
#pragma once

#include <QMainWindow>

#include <memory>

#include "app/forms/Form.h"
#include "app/forms/FormRegistry.h"
#include "app/services/Services.h"

namespace Ui {
class Tzmain;
}

namespace controls {
class TKvClock;
}

namespace app {

struct AppState;
class Tdbfuncs;

// Lives in the registry's slot zmain and reaches every other form through the registry: a command whose
// form has no factory ends after its gate or its name dialog. The first show loads the settings, presets
// the results window and scales the test screens; closing it ends the program, after saving the testee's
// name when the settings ask for it.
class Tzmain : public QMainWindow {
    Q_OBJECT

public:
    // The main window's designed size.
    static constexpr int kDesignWidth = 648;
    static constexpr int kDesignHeight = 468;

    Tzmain(FormRegistry& forms, AppState& state, const Services& services, QWidget* parent = nullptr);
    ~Tzmain() override;

    // The password gate of the administrative commands and of the test screens' Cancel: true at once when
    // no password is set (empty or blanks), else the verdict the prompt leaves in `passwordok`.
    bool getpassword();
    // config.dat could not be read at the first showing: the window closes as soon as the message loop
    // runs, and the program ends with a failure.
    bool SettingsUnread() const { return settingsUnread_; }

    // Shows the slot's form modally and returns its modal result; mrNone when the slot has no form.
    TModalResult ShowModal(FormSlot slot);

    // ---- Commands of the menu and the toolbar ----
    void Alphanumeric1Click();  // File, New, Alphanumeric and alpha
    void numeric1Click();       // File, New, numeric
    void resultsbtnClick();     // File, Results; kvColorButton6
    void Exit1Click();          // File, Exit
    void kvColorButton1Click();
    void Real1Click();          // Tests, Alphanumeric, Real; kvColorButton3
    void Practise1Click();      // Tests, Alphanumeric, Practice
    void Real2Click();          // Tests, Numeric, Real; kvColorButton2
    void Practice1Click();      // Tests, Numeric, Practice
    void Realmode1Click();      // Tests, Alpha, Real; kvColorButton4
    void Practice2Click();      // Tests, Alpha, Practice
    void Password1Click();      // Admin, Password
    void Settings1Click();      // Admin, Settings; kvColorButton5
    void Contents1Click();      // Help, Contents, F1; kvColorButton7
    void About1Click();         // Help, About

    // Shows the hint in the first panel of the status bar.
    void displayhint(const QString& hint);

    controls::TKvClock& KvClock1() { return *clock_; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void SetTexts();
    void ConnectCommands();
    void SetUpToolbar();
    void SetUpClock();
    // Once, at the first show: settings, the results window's presets, the test screens' scale.
    void FormShow();
    void FormClose();

    // The data module; none when its slot is empty.
    Tdbfuncs* dbfuncs() const;
    // Administrative: behind the gate.
    void AdminCommand(FormSlot form);
    // A real-mode test: the name first, the screen only on OK.
    void RealTest(FormSlot screen);
    // A practice test; `askName` as for a real one.
    void PracticeTest(FormSlot screen, bool askName);

    std::unique_ptr<Ui::Tzmain> ui_;
    FormRegistry& forms_;
    AppState& state_;
    Services services_;
    controls::TKvClock* clock_ = nullptr;  // owned by Panel2
    // Qt shows a window again after a minimise and restore; the settings load only at the first.
    bool formShown_ = false;
    bool settingsUnread_ = false;
};

}  // namespace app
