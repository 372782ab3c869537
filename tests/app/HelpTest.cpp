#include "app/QtHelpService.h"

#include <QLineEdit>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include "app/Form.h"
#include "app/HelpContext.h"
#include "app/HelpWindow.h"
#include "app/core/Texts.h"
#include "db/widgets/QtText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ModalScript;

class HelpTest : public testsupport::AppFixture {};

// F1 asks for the nearest help context up from the focus: the dialog's own, a panel's, or the contents.
TEST_F(HelpTest, F1AsksForTheNearestContextOfTheFocus) {
    TForm settings;
    settings.SetHelpContext(kSettingsHelpContext);
    auto* settingsEdit = new QLineEdit(&settings);

    TForm screen;
    auto* panel = new QWidget(&screen);
    SetHelpContext(*panel, kTestScreenHelpContext);
    auto* panelEdit = new QLineEdit(panel);

    TForm plain;
    auto* plainEdit = new QLineEdit(&plain);

    for (auto [form, edit] : {std::pair<TForm*, QLineEdit*>{&settings, settingsEdit},
                              {&screen, panelEdit},
                              {&plain, plainEdit}}) {
        ModalScript script;
        script.Expect("app::TForm", [edit = edit](QWidget& modal) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_F1);
            static_cast<TForm&>(modal).reject();
        });
        form->exec();
    }
    EXPECT_EQ(help.Requests(), (std::vector<std::string>{"7000", "3000", "CONTENTS"}));
}

TEST_F(HelpTest, TheHelpWindowOpensAtTheContextAboveTheAskingModal) {
    InstallHelpFile();
    QtHelpService service(State().progdir + std::string(kHelpFile), messages);
    TForm asking;
    asking.setObjectName("Tsettingsform");
    QWidget* parent = nullptr;
    QString anchor;
    bool hasText = false;
    ModalScript script;
    script
        .Expect("app::TForm", "Tsettingsform",
                [&](QWidget& modal) {
                    service.ShowContext(kSettingsHelpContext);
                    static_cast<TForm&>(modal).reject();
                })
        .Expect("app::HelpWindow", [&](QWidget& modal) {
            auto& window = static_cast<HelpWindow&>(modal);
            parent = window.parentWidget();
            anchor = window.Anchor();
            hasText = window.Browser().toPlainText().contains(QStringLiteral("Settings"));
            window.accept();
        });
    asking.exec();
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(parent, &asking);
    EXPECT_EQ(anchor, QStringLiteral("context-7000"));
    EXPECT_TRUE(hasText);
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(HelpTest, AnUnknownContextAndTheHelpCommandShowTheContents) {
    InstallHelpFile();
    QtHelpService service(State().progdir + std::string(kHelpFile), messages);
    QStringList anchors;
    ModalScript script;
    for (int i = 0; i < 2; ++i) {
        script.Expect("app::HelpWindow", [&](QWidget& modal) {
            anchors << static_cast<HelpWindow&>(modal).Anchor();
            static_cast<HelpWindow&>(modal).accept();
        });
    }
    service.ShowContext(1234);
    service.ShowTopic(kHelpContentsTopic);
    EXPECT_EQ(anchors, (QStringList{"CONTENTS", "CONTENTS"}));
}

TEST_F(HelpTest, AMissingFileGivesAnErrorBoxNamingIt) {
    const std::string path = State().progdir + std::string(kHelpFile);
    QtHelpService service(path, messages);
    service.ShowContext(kSettingsHelpContext);
    service.ShowTopic(kHelpContentsTopic);
    const Box missing{BoxKind::Error, "Error", "Cannot open the help file " + path};
    EXPECT_EQ(messages.Boxes(), (std::vector<Box>{missing, missing}));
}

// Every help context the forms carry has its topic in the shipped file.
TEST_F(HelpTest, TheShippedFileHasEveryContext) {
    InstallHelpFile();
    QtHelpService service(State().progdir + std::string(kHelpFile), messages);
    QStringList anchors;
    const int contexts[] = {kNameHelpContext,    kTestScreenHelpContext, kGeneratorHelpContext,
                            kResultsHelpContext, kSettingsHelpContext,   kPasswordHelpContext};
    ModalScript script;
    for (std::size_t i = 0; i < std::size(contexts); ++i) {
        script.Expect("app::HelpWindow", [&](QWidget& modal) {
            anchors << static_cast<HelpWindow&>(modal).Anchor();
            static_cast<HelpWindow&>(modal).accept();
        });
    }
    for (const int context : contexts) service.ShowContext(context);
    QStringList expected;
    for (const int context : contexts) expected << QtHelpService::ContextAnchor(context);
    EXPECT_EQ(anchors, expected);
}

}  // namespace
}  // namespace app
