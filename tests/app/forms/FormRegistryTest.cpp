#include "app/forms/FormRegistry.h"

#include <QDialog>
#include <QPointer>
#include <QSize>
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

// A test screen's stand-in, designed at 300 by 200.
FormRegistry::TFactory Screen(const char* name, std::vector<std::string>& log) {
    return [name, &log](QWidget* mainWindow) {
        auto screen = std::make_unique<LoggedForm>(name, mainWindow, log);
        screen->resize(300, 200);
        return screen;
    };
}

TEST(FormRegistryTest, RescalingRecreatesTheTestScreensAtTheNewFactorOfTheirDesign) {
    std::vector<std::string> log;
    FormRegistry forms;
    forms.SetFactory(FormSlot::zmain, Logged("main", log));
    forms.SetFactory(FormSlot::alphatestform, Screen("alpha", log));
    forms.SetFactory(FormSlot::numerictestform, Screen("numeric", log));
    forms.SetFactory(FormSlot::alphanumerictestform, Screen("alphanumeric", log));
    forms.CreateAll();
    const FormSlot screens[] = {FormSlot::numerictestform, FormSlot::alphanumerictestform,
                                FormSlot::alphatestform};
    log.clear();
    forms.RescaleTestScreens(20);
    EXPECT_EQ(log, (std::vector<std::string>{"destroy numeric", "create numeric", "destroy alphanumeric",
                                             "create alphanumeric", "destroy alpha", "create alpha"}));
    std::vector<QPointer<QObject>> old;
    for (FormSlot slot : screens) {
        QWidget* screen = forms.Get<QWidget>(slot);
        EXPECT_EQ(screen->size(), QSize(360, 240));
        EXPECT_EQ(screen->parentWidget(), forms.MainWindow());
        old.emplace_back(screen);
    }
    forms.RescaleTestScreens(10);
    for (std::size_t i = 0; i < old.size(); ++i) {
        EXPECT_TRUE(old[i].isNull());
        EXPECT_EQ(forms.Get<QWidget>(screens[i])->size(), QSize(330, 220));
    }
}

TEST(FormRegistryTest, RescalingSkipsScreensWithoutAFactory) {
    std::vector<std::string> log;
    FormRegistry forms;
    forms.SetFactory(FormSlot::zmain, Logged("main", log));
    forms.SetFactory(FormSlot::alphatestform, Screen("alpha", log));
    forms.CreateAll();
    log.clear();
    forms.RescaleTestScreens(-10);
    EXPECT_EQ(log, (std::vector<std::string>{"destroy alpha", "create alpha"}));
    EXPECT_EQ(forms.Get<QWidget>(FormSlot::alphatestform)->size(), QSize(270, 180));
    EXPECT_EQ(forms.Form(FormSlot::numerictestform), nullptr);
}

}  // namespace
}  // namespace app
