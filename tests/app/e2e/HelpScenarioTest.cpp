// Help as a user asks for it: Help, Contents and its toolbar button, and F1 in each window, answered by the
// program's help window at the topic of that window in the help file beside the program.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/forms/zmain.h"
#include "app/services/HelpWindow.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalScript.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

const QString kHelpWindow = QStringLiteral("app::HelpWindow");

// What the help window showed: the anchor it was opened at, and whether that anchor's text lies in the
// part of the document on view.
struct SeenHelp {
    std::string anchor;
    bool anchorOnView = false;
};

bool AnchorOnView(const QTextBrowser& browser, const QString& anchor) {
    const QTextDocument& document = *browser.document();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            if (!fragment.fragment().charFormat().anchorNames().contains(anchor)) continue;
            const QRectF place = document.documentLayout()->blockBoundingRect(block).translated(
                0, -browser.verticalScrollBar()->value());
            return place.intersects(QRectF(browser.viewport()->rect()));
        }
    }
    return false;
}

// Notes what the help window shows, then presses its Close.
ModalScript::TAction ReadHelp(SeenHelp* seen) {
    return [seen](QWidget& window) {
        auto& help = static_cast<app::HelpWindow&>(window);
        seen->anchor = help.Anchor().toStdString();
        seen->anchorOnView = AnchorOnView(help.Browser(), help.Anchor());
        help.accept();
    };
}

// F1 as the user presses it, into the control that has the focus (the window itself when none has).
void PressF1(QWidget& window) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : &window, Qt::Key_F1);
}

class HelpScenarioTest : public ScenarioTest {
protected:
    // Opens the window by its command, presses F1 there, reads the help window, and leaves with `leave`.
    SeenHelp F1In(const QString& command, const QString& window, const std::function<void(QWidget&)>& leave) {
        SeenHelp seen;
        ModalScript script;
        script
            .Expect(window,
                    [&leave](QWidget& opened) {
                        PressF1(opened);
                        leave(opened);
                    })
            .Expect(kHelpWindow, ReadHelp(&seen));
        Trigger(Program().Main(), command);
        EXPECT_TRUE(script.WaitDone()) << command.toStdString();
        return seen;
    }
};

// Help, Contents, the toolbar's help button and F1 in the main window all open the contents.
TEST_F(HelpScenarioTest, HelpContentsTheHelpButtonAndF1InTheMainWindowOpenTheContents) {
    app::Tzmain& main = Program().Main();
    const struct {
        const char* way;
        std::function<void()> ask;
    } ways[] = {
        {"Help, Contents", [&main] { Trigger(main, QStringLiteral("Help/Contents")); }},
        {"toolbar", [&main] { Click(Button(main, QStringLiteral("kvColorButton7"))); }},
        {"F1", [&main] { PressF1(main); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        SeenHelp seen;
        ModalScript script;
        script.Expect(kHelpWindow, ReadHelp(&seen));
        way.ask();
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(seen.anchor, "CONTENTS");
        EXPECT_TRUE(seen.anchorOnView);
    }
}

// F1 opens the topic of the window it is pressed in: the settings 7000, the results window 5000, the name
// dialog 1000, the numeric screen 3000, and, once a password is set, the password prompt 8000.
TEST_F(HelpScenarioTest, F1OpensTheTopicOfEachWindow) {
    const auto press = [](const char* button) {
        return [button](QWidget& window) { PressButton(QLatin1String(button))(window); };
    };
    const struct {
        const char* command;
        QString window;
        std::function<void(QWidget&)> leave;
        const char* anchor;
    } cases[] = {
        {"Admin/Settings", kSettingsDialog, press("Button2"), "context-7000"},
        {"File/Results", kResultsWindow, [](QWidget& w) { Click(Button(w, QStringLiteral("Close"))); }, "context-5000"},
        {"Tests/Numeric/Real", kNameDialog, press("BitBtn2"), "context-1000"},
        {"Tests/Numeric/Practice", kNumericScreen, press("BitBtn1"), "context-3000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const SeenHelp seen = F1In(QLatin1String(c.command), c.window, c.leave);
        EXPECT_EQ(seen.anchor, c.anchor);
        EXPECT_TRUE(seen.anchorOnView);
    }

    const SeenBox changed = SetPassword(QStringLiteral("abc"));
    ASSERT_EQ(changed.text.toStdString(), "Password change successful.");
    const SeenHelp seen = F1In(QStringLiteral("Admin/Settings"), kPasswordPrompt, press("BitBtn2"));
    EXPECT_EQ(seen.anchor, "context-8000");
    EXPECT_TRUE(seen.anchorOnView);
}

}  // namespace
}  // namespace e2e
