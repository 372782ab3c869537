#include "app/forms/Form.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/services/HelpContext.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"

namespace app {
namespace {

using testsupport::ModalScript;

// A form that counts its show and close handlers and answers OK by the test's rule.
class CountingForm : public TForm {
public:
    CountingForm() {
        setObjectName("CountingForm");
        ok = new QPushButton(this);
        ok->setObjectName("BitBtn1");
        cancel = new QPushButton(this);
        cancel->setObjectName("BitBtn2");
        combo = new QComboBox(this);
        combo->addItems({"a", "b"});
        ConnectModalButton(*ok, mrOk, [this] {
            ++okClicks;
            if (!acceptOk) SetModalResult(mrNone);
        });
        ConnectModalButton(*cancel, mrCancel);
        ConnectActivated(*combo, [this] { ++activations; });
    }

    QPushButton* ok;
    QPushButton* cancel;
    QComboBox* combo;
    bool acceptOk = true;
    int shows = 0;
    int closes = 0;
    int okClicks = 0;
    int activations = 0;

protected:
    void FormShow() override { ++shows; }
    void FormClose() override { ++closes; }
};

class FormTest : public testsupport::AppFixture {};

TEST_F(FormTest, AnOkHandlerThatSetsNoResultKeepsTheFormOpen) {
    CountingForm form;
    form.acceptOk = false;
    bool openAfterOk = false;
    ModalScript script;
    script.Expect("app::TForm", "CountingForm", [&](QWidget&) {
        form.ok->click();
        openAfterOk = form.isVisible() && form.ModalResult() == mrNone;
        form.acceptOk = true;
        form.ok->click();
    });
    EXPECT_EQ(form.exec(), mrOk);
    EXPECT_TRUE(openAfterOk);
    EXPECT_EQ(form.okClicks, 2);
    EXPECT_EQ(form.ModalResult(), mrOk);
    EXPECT_EQ(form.closes, 1);
}

TEST_F(FormTest, FormCloseRunsOncePerClosingHoweverTheFormCloses) {
    const struct {
        const char* how;
        std::function<void(CountingForm&)> close;
        TModalResult result;
    } cases[] = {
        {"accept", [](CountingForm& f) { f.accept(); }, mrOk},
        {"Cancel button", [](CountingForm& f) { f.cancel->click(); }, mrCancel},
        {"Esc", [](CountingForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }, mrCancel},
        {"close box", [](CountingForm& f) { f.close(); }, mrCancel},
        {"SetModalResult", [](CountingForm& f) { f.SetModalResult(mrOk); }, mrOk},
    };
    for (const auto& c : cases) {
        CountingForm form;
        ModalScript script;
        script.Expect("app::TForm", [&](QWidget&) { c.close(form); });
        EXPECT_EQ(form.exec(), c.result) << c.how;
        EXPECT_EQ(form.closes, 1) << c.how;
        EXPECT_FALSE(form.isVisible()) << c.how;
    }
}

TEST_F(FormTest, FormShowRunsAtEveryShowingAndTheResultStartsAtNone) {
    CountingForm form;
    for (int i = 1; i <= 3; ++i) {
        TModalResult atShow = mrOk;
        ModalScript script;
        script.Expect("app::TForm", [&](QWidget&) {
            atShow = form.ModalResult();
            form.cancel->click();
        });
        form.exec();
        EXPECT_EQ(form.shows, i);
        EXPECT_EQ(form.closes, i);
        EXPECT_EQ(atShow, mrNone);
    }
}

TEST_F(FormTest, AFailingHandlerGoesToTheApplicationAndTheFormStaysOpen) {
    TForm form;
    auto* ok = new QPushButton(&form);
    auto* cancel = new QPushButton(&form);
    form.ConnectModalButton(*ok, mrOk, [] { throw std::runtime_error("cannot post"); });
    form.ConnectModalButton(*cancel, mrCancel);
    bool open = false;
    ModalScript script;
    script.Expect("app::TForm", [&](QWidget&) {
        ok->click();
        open = form.isVisible();
        cancel->click();
    });
    EXPECT_EQ(form.exec(), mrCancel);
    EXPECT_TRUE(open);
    const std::vector<testsupport::Box> stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].text, "cannot post.");
}

TEST_F(FormTest, ButtonsAreNotDefaultUnlessMadeSoAndCombosActOnlyOnPicks) {
    CountingForm form;
    auto* chosen = new QPushButton(&form);
    chosen->setDefault(true);
    form.combo->setCurrentIndex(1);  // code, not the user
    bool autoDefaultOff = false;
    ModalScript script;
    script.Expect("app::TForm", [&](QWidget&) {
        autoDefaultOff = !form.ok->autoDefault() && !form.cancel->autoDefault() && chosen->isDefault();
        form.combo->activated(0);  // as a pick in the list emits it
        form.cancel->click();
    });
    form.exec();
    EXPECT_TRUE(autoDefaultOff);
    EXPECT_EQ(form.activations, 1);
}

TEST_F(FormTest, StyleFunctions) {
    CountingForm form;
    form.SetHelpContext(7000);
    EXPECT_EQ(form.HelpContext(), 7000);
    EXPECT_EQ(HelpContextOf(form), 7000);
    form.SetNoSystemButtons();
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    form.resize(300, 200);
    form.SetFixedBorder(true);
    form.SetCentred(true);
    QSize shownMinimum;
    QSize shownMaximum;
    ModalScript script;
    script.Expect("app::TForm", [&](QWidget&) {
        shownMinimum = form.minimumSize();
        shownMaximum = form.maximumSize();
        form.cancel->click();
    });
    form.exec();
    EXPECT_EQ(shownMinimum, QSize(300, 200));
    EXPECT_EQ(shownMaximum, QSize(300, 200));

    TForm borderless;
    borderless.SetBorderless();
    EXPECT_TRUE(borderless.windowFlags().testFlag(Qt::FramelessWindowHint));
}

}  // namespace
}  // namespace app
