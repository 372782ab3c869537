#include "app/services/QtHelpService.h"

#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/core/Texts.h"
#include "app/forms/Form.h"
#include "app/forms/FormRegistry.h"
#include "app/forms/printresultsform.h"
#include "app/forms/resultsForm.h"
#include "app/program/Program.h"
#include "app/services/HelpContext.h"
#include "app/services/HelpWindow.h"
#include "db/widgets/QtText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ModalScript;

class HelpTest : public testsupport::AppFixture {
protected:
    // The shipped help file's text, installed as the build installs it; fails the test unless it is UTF-8.
    QString ShippedHelp() {
        InstallHelpFile();
        QFile file(ProgramDir() + db::widgets::ToQString(kHelpFile));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(file.readAll());
        EXPECT_FALSE(utf8.hasError()) << "the help file is not UTF-8";
        return text;
    }
};

// The help file's topics as the help window's browser reads them: its anchors in the order of the text and,
// per topic (the text from its anchor to the next), the links it holds.
struct HelpTopics {
    QStringList anchors;
    std::map<QString, QStringList> links;
};

HelpTopics ReadTopics(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    HelpTopics topics;
    QString topic;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            for (const QString& name : format.anchorNames()) {
                topics.anchors << name;
                topic = name;
            }
            if (format.isAnchor() && !format.anchorHref().isEmpty()) topics.links[topic] << format.anchorHref();
        }
    }
    return topics;
}

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

// What the program's windows carry, not a list kept beside them: every form of the registry with all its
// controls, and the results list's preview, which is made only when it is shown.
TEST_F(HelpTest, EveryContextTheProgramsWindowsCarryHasItsTopicInTheShippedFile) {
    InstallApplicationTables();
    std::set<int> carried;
    {
        FormRegistry forms;
        RegisterForms(forms, Runtime(), View());
        forms.CreateAll();
        for (std::size_t slot = 0; slot < kFormSlotCount; ++slot) {
            auto* form = qobject_cast<QWidget*>(forms.Form(static_cast<FormSlot>(slot)));
            if (form == nullptr) continue;
            QList<QWidget*> widgets = form->findChildren<QWidget*>();
            widgets.push_front(form);
            for (const QWidget* widget : widgets) {
                if (const int context = HelpContextOf(*widget); context != 0) carried.insert(context);
            }
        }
        auto* results = forms.Get<TresultsForm>(FormSlot::resultsForm);
        ASSERT_NE(results, nullptr);
        results->resultsdb.SetTableName(State().progdir + std::string(kResultsTable));
        results->resultsdb.Open();
        forms.Get<Tprintresultsform>(FormSlot::printresultsform)->Preview();
        ASSERT_EQ(print.Jobs().size(), 1u);
        EXPECT_TRUE(print.Jobs().front().preview);
        carried.insert(print.Jobs().front().helpContext);
    }
    // Each window of the conventions carries its context.
    EXPECT_EQ(carried, (std::set<int>{kNameHelpContext, kTestScreenHelpContext, kGeneratorHelpContext,
                                      kResultsHelpContext, kSettingsHelpContext, kPasswordHelpContext}));

    const HelpTopics topics = ReadTopics(ShippedHelp());
    for (const int context : carried) {
        EXPECT_TRUE(topics.anchors.contains(QtHelpService::ContextAnchor(context)))
            << "no topic for help context " << context;
    }
}

// CONTENTS leads to every topic, every link anywhere leads to a topic, and no anchor is named twice (the
// browser would stop at the first).
TEST_F(HelpTest, TheShippedContentsLinkEveryTopicAndEveryLinkLeadsToOne) {
    const HelpTopics topics = ReadTopics(ShippedHelp());
    ASSERT_FALSE(topics.anchors.isEmpty());
    EXPECT_EQ(topics.anchors.front(), QString::fromLatin1(kHelpContentsTopic));
    const std::set<QString> anchors(topics.anchors.begin(), topics.anchors.end());
    EXPECT_EQ(anchors.size(), static_cast<std::size_t>(topics.anchors.size())) << "an anchor is named twice";

    const auto contents = topics.links.find(QString::fromLatin1(kHelpContentsTopic));
    ASSERT_NE(contents, topics.links.end()) << "CONTENTS links nothing";
    const std::set<QString> linked(contents->second.begin(), contents->second.end());
    for (const QString& anchor : topics.anchors) {
        if (anchor == QString::fromLatin1(kHelpContentsTopic)) continue;
        EXPECT_TRUE(linked.contains(QLatin1Char('#') + anchor)) << "CONTENTS does not link " << anchor.toStdString();
    }
    for (const auto& [topic, links] : topics.links) {
        for (const QString& link : links) {
            EXPECT_TRUE(link.startsWith(QLatin1Char('#')) && anchors.contains(link.mid(1)))
                << "the link " << link.toStdString() << " in " << topic.toStdString() << " leads nowhere";
        }
    }
}

// A link of the contents moves within the same text: the window neither empties nor leaves the file.
TEST_F(HelpTest, FollowingAContentsLinkScrollsToItsTopicInTheSameText) {
    const QString html = ShippedHelp();
    HelpWindow window;
    window.ShowAt(html, QString::fromLatin1(kHelpContentsTopic));
    window.show();
    QTextBrowser& browser = window.Browser();
    const QString text = browser.toPlainText();
    ASSERT_TRUE(text.contains(QStringLiteral("Settings")));
    const int top = browser.verticalScrollBar()->value();
    browser.setSource(QUrl(QStringLiteral("#") + QtHelpService::ContextAnchor(kSettingsHelpContext)));
    EXPECT_EQ(browser.toPlainText(), text);
    EXPECT_GT(browser.verticalScrollBar()->value(), top);
}

}  // namespace
}  // namespace app
