#include "app/FormRegistry.h"

#include <QDialog>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace app {
namespace {

// A form that writes its creation and its end into a shared log.
class LoggedForm : public QDialog {
public:
    LoggedForm(std::string name, QWidget* parent, std::vector<std::string>& log)
        : QDialog(parent), name_(std::move(name)), log_(log) {
        log_.push_back("create " + name_);
    }
    ~LoggedForm() override { log_.push_back("destroy " + name_); }

private:
    std::string name_;
    std::vector<std::string>& log_;
};

FormRegistry::TFactory Logged(const char* name, std::vector<std::string>& log) {
    return [name, &log](QWidget* mainWindow) { return std::make_unique<LoggedForm>(name, mainWindow, log); };
}

TEST(FormRegistryTest, CreatesInTheTablesOrderAndDestroysInReverse) {
    std::vector<std::string> log;
    {
        FormRegistry forms;
        // Given out of order: the slots decide.
        forms.SetFactory(FormSlot::aboutform, Logged("about", log));
        forms.SetFactory(FormSlot::settingsform, Logged("settings", log));
        forms.SetFactory(FormSlot::zmain, Logged("main", log));
        forms.CreateAll();
        EXPECT_EQ(log, (std::vector<std::string>{"create main", "create settings", "create about"}));
        QWidget* main = forms.MainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(forms.Get<QDialog>(FormSlot::settingsform)->parentWidget(), main);
        EXPECT_EQ(forms.Get<QDialog>(FormSlot::aboutform)->parentWidget(), main);
        EXPECT_EQ(forms.Form(FormSlot::resultsForm), nullptr);
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"destroy about", "destroy settings", "destroy main"}));
}

TEST(FormRegistryTest, RecreatesATestScreenFromItsFactory) {
    std::vector<std::string> log;
    FormRegistry forms;
    forms.SetFactory(FormSlot::zmain, Logged("main", log));
    forms.SetFactory(FormSlot::numerictestform, Logged("numeric", log));
    forms.CreateAll();
    log.clear();
    QObject* screen = forms.Recreate(FormSlot::numerictestform);
    // The old screen goes before the new one is made, and the new one has the main window as parent.
    EXPECT_EQ(log, (std::vector<std::string>{"destroy numeric", "create numeric"}));
    EXPECT_EQ(forms.Form(FormSlot::numerictestform), screen);
    EXPECT_EQ(static_cast<QWidget*>(forms.Get<QDialog>(FormSlot::numerictestform))->parentWidget(),
              forms.MainWindow());
    EXPECT_THROW(forms.Recreate(FormSlot::zmain), std::logic_error);
    EXPECT_THROW(forms.Recreate(FormSlot::alphatestform), std::logic_error);
}

TEST(FormRegistryTest, AFailingFactoryUndoesTheFormsMadeSoFar) {
    std::vector<std::string> log;
    FormRegistry forms;
    forms.SetFactory(FormSlot::zmain, Logged("main", log));
    forms.SetFactory(FormSlot::settingsform, Logged("settings", log));
    forms.SetFactory(FormSlot::dbfuncs, [](QWidget*) -> std::unique_ptr<QObject> {
        throw std::runtime_error("config.dat is missing");
    });
    EXPECT_THROW(forms.CreateAll(), std::runtime_error);
    EXPECT_EQ(log, (std::vector<std::string>{"create main", "create settings", "destroy settings",
                                             "destroy main"}));
    EXPECT_EQ(forms.MainWindow(), nullptr);
}

}  // namespace
}  // namespace app
