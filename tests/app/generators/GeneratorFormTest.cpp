// What both test-data generators do alike: their frame, their slot in the registry, the refused exclusive
// open, and close requests ignored while they run.
#include "app/generators/GeneratorForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/FormRegistry.h"
#include "app/forms/zmain.h"
#include "app/generators/newnumerictestform.h"
#include "app/generators/rewritean.h"
#include "app/program/Program.h"
#include "tests/app/generators/GeneratorRuns.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::SeededRandomSource;

// The numeric generator as the typed tests see it.
struct NumericGenerator {
    using Form = Tnewnumerictestform;
    static constexpr FormSlot kSlot = FormSlot::newnumerictestform;
    static constexpr const char* kTable = "numeric";
    static constexpr const char* kFile = "numeric.DAT";
    static constexpr const char* kLabel = "Creating new numeric data entry test. Please wait...";
    static constexpr const char* kSuccess = "New numeric test created successfully.";
    static constexpr const char* kRefused = "Could not get exclusive use of database. Try later.";
    static constexpr int kGaugeMinimum = 1;
    static constexpr void (Tzmain::*kCommand)() = &Tzmain::numeric1Click;  // File, New, numeric

    static std::unique_ptr<Form> Make(testsupport::AppFixture&, AppState& state, MessageService& messages,
                                      RandomSource& random, const controls::TimeSource&) {
        return std::make_unique<Form>(state, messages, random);
    }
    static components::TTARNISTable& Table(Form& form) { return form.numericdb; }
    static void Install(const std::string& directory) { testsupport::CreateNumeric(directory, 5); }
};

struct AlphaGenerator {
    using Form = Trewritean;
    static constexpr FormSlot kSlot = FormSlot::rewritean;
    static constexpr const char* kTable = "invsort";
    static constexpr const char* kFile = "invsort.DAT";
    static constexpr const char* kLabel = "Generating new alphanumeric/alpha tests. Please wait...";
    static constexpr const char* kSuccess = "New test has been created.";
    static constexpr const char* kRefused = "Unable to get exclusive use of database. Rewrite cancelled.";
    static constexpr int kGaugeMinimum = 0;
    static constexpr void (Tzmain::*kCommand)() = &Tzmain::Alphanumeric1Click;  // File, New, Alphanumeric and alpha

    static std::unique_ptr<Form> Make(testsupport::AppFixture&, AppState& state, MessageService& messages,
                                      RandomSource& random, const controls::TimeSource& time) {
        return std::make_unique<Form>(state, messages, random, time);
    }
    static components::TTARNISTable& Table(Form& form) { return form.inv; }
    static void Install(const std::string& directory) {
        testsupport::CreateInvsort(directory, 200, rtl::EncodeDate(2019, 6, 1));
    }
};

template <class Generator>
class GeneratorFormTest : public testsupport::AppFixture {
protected:
    using Form = typename Generator::Form;

    std::string Dir() { return State().progdir; }
    std::string TablePath() { return testsupport::ProgramTable(Dir(), Generator::kTable); }
    Box Success() { return {BoxKind::Information, "Keyvale", Generator::kSuccess}; }
    Box Refused() { return {BoxKind::Error, "Error", Generator::kRefused}; }

    Form& Make(RandomSource& source) {
        form = Generator::Make(*this, State(), messages, source, time);
        return *form;
    }
    // Shows the form and waits until its run has closed it.
    void Run(RandomSource& source) {
        Make(source).show();
        ASSERT_TRUE(testsupport::waitUntil([this] { return !form->isVisible(); }, 20000)) << "the run never ended";
    }
    // The program's forms over the fixture's services, with `random` for the draws.
    void CreateForms(FormRegistry& forms, RandomSource& random) {
        RegisterForms(forms, this->Runtime(), Services{messages, help, print, keyboard, time, random});
        forms.CreateAll();
    }
    QProgressBar& Gauge() { return *form->template findChild<QProgressBar*>("Gauge1"); }

    std::unique_ptr<Form> form;
};

using Generators = testing::Types<NumericGenerator, AlphaGenerator>;
TYPED_TEST_SUITE(GeneratorFormTest, Generators);

TYPED_TEST(GeneratorFormTest, IsABorderlessCentredFormWithItsGaugeLabelTimerAndTable) {
    auto& form = this->Make(this->random);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form.HelpContext(), 4000);
    EXPECT_EQ(form.template findChild<QLabel*>("Label1")->text(), TypeParam::kLabel);
    EXPECT_EQ(this->Gauge().minimum(), TypeParam::kGaugeMinimum);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ(form.Timer1.interval(), 100);
    EXPECT_EQ(TypeParam::Table(form).LockRetryCount(), 15);
    EXPECT_EQ(TypeParam::Table(form).LockWaitTime(), 100);
}

TYPED_TEST(GeneratorFormTest, TheRegistryMakesItInItsSlotAndItRunsModally) {
    this->InstallApplicationTables();
    SeededRandomSource seeded(11);
    FormRegistry forms;
    this->CreateForms(forms, seeded);
    auto* generator = forms.Get<typename TypeParam::Form>(TypeParam::kSlot);
    ASSERT_NE(generator, nullptr);
    EXPECT_EQ(generator->exec(), mrCancel);
    EXPECT_EQ(this->messages.Boxes(), std::vector<Box>{this->Success()});
}

// Another copy of the program holds the table, or it is missing: the form's message, nothing drawn,
// the files as they were and free again once the other program lets go.
TYPED_TEST(GeneratorFormTest, ATableAnotherProgramHoldsOrAMissingOneIsLeftAsItWas) {
    TypeParam::Install(this->Dir());
    const auto before = testsupport::TableBytes(this->Dir(), TypeParam::kTable);
    {
        enginetest::HolderProcess holder(enginetest::HolderProcess::TableMode{}, this->Dir() + TypeParam::kFile);
        ASSERT_TRUE(holder.Ready()) << holder.Greeting();
        this->Run(this->random);
        EXPECT_EQ(this->messages.Boxes(), std::vector<Box>{this->Refused()});
        EXPECT_TRUE(this->random.Ranges().empty());
        EXPECT_FALSE(TypeParam::Table(*this->form).Active());
        EXPECT_EQ(testsupport::TableBytes(this->Dir(), TypeParam::kTable), before);
        EXPECT_EQ(holder.Release(), 0);
    }
    EXPECT_TRUE(testsupport::OpensExclusively(this->TablePath()));

    // A missing table is named, not taken for one another program holds.
    this->messages.Clear();
    testsupport::RemoveTable(this->Dir(), TypeParam::kTable);
    this->Run(this->random);
    const Box missing{BoxKind::Error, "Error",
                      "The table file \"" + this->Dir() + TypeParam::kFile + "\" does not exist."};
    EXPECT_EQ(this->messages.Boxes(), std::vector<Box>{missing});
    EXPECT_FALSE(std::filesystem::exists(this->Dir() + TypeParam::kFile));
}

TYPED_TEST(GeneratorFormTest, EscAndCloseRequestsDuringTheRunAreIgnored) {
    TypeParam::Install(this->Dir());
    SeededRandomSource random(3);
    auto& form = this->Make(random);
    int requests = 0;
    QObject::connect(&this->Gauge(), &QProgressBar::valueChanged, &form, [&](int value) {
        if (value != 100) return;
        ++requests;
        QTest::keyClick(&form, Qt::Key_Escape);
        form.close();
        form.reject();
        EXPECT_TRUE(form.isVisible());
    });
    form.show();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !form.isVisible(); }, 20000));
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(this->messages.Boxes(), std::vector<Box>{this->Success()});
}

// The main window's command reaches the generator only past the password gate: a refused gate opens nothing
// and leaves the table as it was; without a password the generator opens at once and runs.
TYPED_TEST(GeneratorFormTest, TheMainWindowsFileNewCommandPassesTheGateFirst) {
    this->InstallApplicationTables();
    SeededRandomSource seeded(13);
    FormRegistry forms;
    this->CreateForms(forms, seeded);
    auto* zmain = forms.Get<Tzmain>(FormSlot::zmain);
    ASSERT_NE(zmain, nullptr);
    const auto before = testsupport::TableBytes(this->Dir(), TypeParam::kTable);

    this->State().password = "SECRET";
    {
        testsupport::ModalScript script;
        script.Expect("app::TgetpasswordForm", [](QWidget& prompt) {
            prompt.findChild<QPushButton*>("BitBtn2")->click();  // Cancel
        });
        (zmain->*TypeParam::kCommand)();
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_TRUE(this->messages.Boxes().empty());
    EXPECT_EQ(seeded.RandomizeCalls(), 0);
    EXPECT_EQ(testsupport::TableBytes(this->Dir(), TypeParam::kTable), before);

    this->State().password = "   ";  // blanks alone are no password
    (zmain->*TypeParam::kCommand)();
    EXPECT_EQ(this->messages.Boxes(), std::vector<Box>{this->Success()});
    EXPECT_GE(seeded.RandomizeCalls(), 1);
}

}  // namespace
}  // namespace app
