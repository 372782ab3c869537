// The screenshot tour: the real program on a virtual display, driven through every window a user meets,
// each photographed for review. The pictures are never compared with anything.
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "TourShots.h"
#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "app/forms/FormRegistry.h"
#include "app/forms/zmain.h"
#include "app/generators/newnumerictestform.h"
#include "app/generators/rewritean.h"
#include "app/screens/TestScreen.h"
#include "db/widgets/QtText.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace e2etour {
namespace {

using e2e::Button;
using e2e::Click;
using e2e::PressEnter;
using e2e::Trigger;
using e2e::Type;
using testsupport::ModalScript;
using testsupport::waitUntil;
using TAction = ModalScript::TAction;

// How long a window may take to come, or a test screen's countdown to tick, on a loaded machine; only a
// fault makes the tour wait this long. The watchdog of the tests' main gets as long.
constexpr int kStepTimeoutMs = 30000;
// The test screens are photographed this far into their test, so that the countdown shows.
constexpr double kSecondsBeforeShot = 75;

// Replaces the edit's text as a user does: focus, select all, type.
void Rekey(QLineEdit& edit, const QString& text) {
    edit.setFocus(Qt::OtherFocusReason);
    edit.selectAll();
    QTest::keyClicks(&edit, text);
}

template <class T>
T& Child(QWidget& window, const QString& name) {
    T* child = window.findChild<T*>(name);
    if (child == nullptr) {
        throw std::logic_error("no " + name.toStdString() + " in " + ModalScript::Describe(&window).toStdString());
    }
    return *child;
}

// The keying of a test screen up to its picture; the screen's first field has the focus.
using TKeying = std::function<void(app::TestScreen& screen, const QStringList& sources)>;

class ScreenshotTour : public e2e::ScenarioTest {
protected:
    ScreenshotTour() : shots(QStringLiteral(KEYVALE_SCREENSHOT_DIR)) {}

    app::Tzmain& Main() { return Program().Main(); }

    // Photographs the window as it is, then does `then` with it.
    TAction Photographed(const QString& name, const QString& caption, TAction then) {
        return [this, name, caption, then](QWidget& window) {
            shots.Take(name, caption, window);
            if (then) then(window);
        };
    }

    // Keys part of a test, lets its countdown tick once and photographs the screen; the rest of the test's
    // time then passes, so the next tick ends it.
    TAction KeyAndPhotograph(const QString& name, const QString& caption, const TKeying& keying) {
        return [this, name, caption, keying](QWidget& window) {
            auto& screen = static_cast<app::TestScreen&>(window);
            EXPECT_TRUE(e2e::WaitForFocus(screen.Entry(1))) << caption.toStdString();
            keying(screen, e2e::SourceTexts(screen));
            e2e::AdvanceClock(Program().Clock(), kSecondsBeforeShot);
            const QString starts = db::widgets::ToQString(app::kTimerStarts);
            EXPECT_TRUE(waitUntil([&] { return screen.timeLabel->text() != starts; }, kStepTimeoutMs))
                << caption.toStdString() << ": the countdown did not tick";
            shots.Take(name, caption, screen);
            e2e::AdvanceClock(Program().Clock(), screen.testseconds - kSecondsBeforeShot);
        };
    }

    // A real-mode test: the name dialog, the screen keyed, "Test is complete..." and the report. The first
    // one photographs all four, the others their screen only.
    void RealTest(const QString& command, const QString& screenClass, const QString& screenName,
                  const QString& screenCaption, const TKeying& keying, bool photographAll) {
        ModalScript script(kStepTimeoutMs);
        if (photographAll) {
            script.Expect(e2e::kNameDialog, [this](QWidget& dialog) {
                Rekey(Child<QLineEdit>(dialog, QStringLiteral("Edit1")), QStringLiteral("Ann"));
                Rekey(Child<QLineEdit>(dialog, QStringLiteral("Edit2")), QStringLiteral("Lee"));
                shots.Take(QStringLiteral("name-dialog"), QStringLiteral("The name dialog before a real test"), dialog);
                e2e::PressButton(QStringLiteral("BitBtn1"))(dialog);
            });
        } else {
            script.Expect(e2e::kNameDialog, e2e::EnterName(QStringLiteral("Ann"), QStringLiteral("Lee")));
        }
        script.Expect(screenClass, KeyAndPhotograph(screenName, screenCaption, keying));
        e2e::SeenBox end;
        if (photographAll) {
            script.Expect(e2e::kMessageBox, Photographed(QStringLiteral("test-complete"),
                                                         QStringLiteral("\"Test is complete...\" at the time-out"),
                                                         e2e::AnswerBox(&end)));
            script.Expect(e2e::kReportWindow,
                          Photographed(QStringLiteral("report-window"), QStringLiteral("The report of the test just ended"),
                                       e2e::ReadReport(nullptr)));
        } else {
            script.Expect(e2e::kMessageBox, e2e::AnswerBox(&end));
            script.Expect(e2e::kReportWindow, e2e::ReadReport(nullptr));
        }
        Trigger(Main(), command);
        EXPECT_TRUE(script.WaitDone()) << screenCaption.toStdString();
        EXPECT_EQ(end.text, db::widgets::ToQString(app::kTestComplete)) << screenCaption.toStdString();
    }

    // A generator's run, photographed when its gauge reaches halfway.
    template <class Form>
    void Generator(const QString& command, app::FormSlot slot, const QString& formClass, const QString& name,
                   const QString& caption) {
        auto& form = Program().Form<Form>(slot);
        auto& gauge = Child<QProgressBar>(form, QStringLiteral("Gauge1"));
        bool taken = false;
        const QMetaObject::Connection halfway =
            QObject::connect(&gauge, &QProgressBar::valueChanged, &form, [&](int value) {
                const int span = gauge.maximum() - gauge.minimum();
                if (taken || span <= 1 || value - gauge.minimum() < span / 2) return;
                taken = true;
                shots.Take(name, caption, form);
            });
        ModalScript script(kStepTimeoutMs);
        script.Expect(formClass, [](QWidget&) {});  // the run starts, ends and closes the form by itself
        // Its closing message belongs to the form, which a window manager centres it on, not to no window,
        // which puts it in a corner of the screen.
        const QWidget* owner = nullptr;
        script.Expect(e2e::kMessageBox, [&](QWidget& box) {
            owner = box.parentWidget();
            shots.Take(name + QStringLiteral("-done"), caption + QStringLiteral(": its closing message"), box);
            e2e::AnswerBox(nullptr)(box);
        });
        Trigger(Main(), command);
        EXPECT_TRUE(script.WaitDone()) << caption.toStdString();
        QObject::disconnect(halfway);
        EXPECT_TRUE(taken) << caption.toStdString() << ": the gauge never reached halfway";
        EXPECT_EQ(owner, &form) << caption.toStdString();
    }

    TourShots shots;
};

TEST_F(ScreenshotTour, LeavesAPictureOfEveryWindow) {
    const testsupport::ScopedModalGrace grace(kStepTimeoutMs);
    shots.Take(QStringLiteral("main-window"), QStringLiteral("The main window at start, no password set"), Main());
    {
        ModalScript script(kStepTimeoutMs);
        script.Expect(e2e::kAboutBox, Photographed(QStringLiteral("about-box"), QStringLiteral("Help, About"),
                                                   e2e::PressButton(QStringLiteral("Button1"))));
        Trigger(Main(), QStringLiteral("About1"));
        EXPECT_TRUE(script.WaitDone());
    }
    {
        ModalScript script(kStepTimeoutMs);
        script.Expect(e2e::kSettingsDialog,
                      Photographed(QStringLiteral("settings"), QStringLiteral("Admin, Settings: the setup's values"),
                                   e2e::PressButton(QStringLiteral("Button2"))));
        Trigger(Main(), QStringLiteral("Settings1"));
        EXPECT_TRUE(script.WaitDone());
    }

    // Three real tests with a mistake each, so that the results window lists three results with errors.
    RealTest(QStringLiteral("Real2"), e2e::kNumericScreen, QStringLiteral("numeric-screen"),
             QStringLiteral("The numeric test in real mode, three fields keyed, one mistake"),
             [](app::TestScreen&, const QStringList& sources) {
                 Type(sources[0]);
                 PressEnter();
                 Type(e2e::WithMistake(sources[1], 1));
                 PressEnter();
                 Type(sources[2].left(2));
             },
             true);
    RealTest(QStringLiteral("Real1"), e2e::kAlphanumericScreen, QStringLiteral("alphanumeric-screen"),
             QStringLiteral("The alphanumeric test in real mode, invoice and date keyed, one mistake"),
             [](app::TestScreen&, const QStringList& sources) {
                 // The masks supply the date's separators: only its digits are keyed.
                 QString date = sources[1];
                 date.remove(QLatin1Char('/'));
                 Type(e2e::WithMistake(sources[0], 0));
                 PressEnter();
                 Type(date);
                 PressEnter();
             },
             false);
    RealTest(QStringLiteral("Realmode1"), e2e::kAlphaScreen, QStringLiteral("alpha-screen"),
             QStringLiteral("The alpha test in real mode, two names keyed, one mistake"),
             [](app::TestScreen&, const QStringList& sources) {
                 Type(sources[0]);
                 PressEnter();
                 Type(e2e::WithMistake(sources[1], 0));
                 PressEnter();
                 Type(sources[2].left(3));
             },
             false);

    {
        ModalScript script(kStepTimeoutMs);
        script.Expect(e2e::kResultsWindow, [this](QWidget& results) {
            shots.Take(QStringLiteral("results-window"),
                       QStringLiteral("File, Results: the three stored results, the first one's errors below"), results);
            Click(Button(results, QStringLiteral("kvColorButton3")));  // Print all: the preview's step answers it
            Click(Button(results, QStringLiteral("closebtn")));
        });
        script.Expect(e2e::kPreview, [this](QWidget& preview) {
            auto* pages = preview.findChild<QPrintPreviewWidget*>();
            EXPECT_TRUE(pages != nullptr && waitUntil([pages] { return pages->pageCount() > 0; }, kStepTimeoutMs));
            shots.Take(QStringLiteral("print-preview"), QStringLiteral("Print all: the results list in the preview"),
                       preview);
            static_cast<QDialog&>(preview).reject();
        });
        Trigger(Main(), QStringLiteral("Results1"));
        EXPECT_TRUE(script.WaitDone());
    }

    Generator<app::Trewritean>(QStringLiteral("Alphanumeric1"), app::FormSlot::rewritean,
                               QStringLiteral("app::Trewritean"), QStringLiteral("alpha-generator"),
                               QStringLiteral("File, New, Alphanumeric and alpha: halfway"));
    Generator<app::Tnewnumerictestform>(QStringLiteral("numeric1"), app::FormSlot::newnumerictestform,
                                        QStringLiteral("app::Tnewnumerictestform"),
                                        QStringLiteral("numeric-generator"), QStringLiteral("File, New, numeric: halfway"));

    {
        ModalScript script(kStepTimeoutMs);
        script.Expect(e2e::kPasswordChange, [this](QWidget& dialog) {
            Rekey(Child<QLineEdit>(dialog, QStringLiteral("Edit1")), QStringLiteral("abc"));
            Rekey(Child<QLineEdit>(dialog, QStringLiteral("Edit2")), QStringLiteral("abc"));
            shots.Take(QStringLiteral("password-change"), QStringLiteral("Admin, Password: the new password twice"),
                       dialog);
            e2e::PressButton(QStringLiteral("BitBtn1"))(dialog);
        });
        script.Expect(e2e::kMessageBox, e2e::AnswerBox(nullptr));
        Trigger(Main(), QStringLiteral("Password1"));
        EXPECT_TRUE(script.WaitDone());
    }
    {
        ModalScript script(kStepTimeoutMs);
        script.Expect(e2e::kPasswordPrompt, [this](QWidget& prompt) {
            Rekey(Child<QLineEdit>(prompt, QStringLiteral("Edit1")), QStringLiteral("abc"));
            shots.Take(QStringLiteral("password-prompt"),
                       QStringLiteral("The password prompt before Admin, Settings"), prompt);
            e2e::PressButton(QStringLiteral("BitBtn2"))(prompt);  // Cancel: the settings stay shut
        });
        Trigger(Main(), QStringLiteral("Settings1"));
        EXPECT_TRUE(script.WaitDone());
    }
    {
        ModalScript script(kStepTimeoutMs);
        script.Expect(QStringLiteral("app::HelpWindow"),
                      Photographed(QStringLiteral("help-window"), QStringLiteral("Help, Contents"),
                                   e2e::PressButton(QStringLiteral("CloseButton"))));
        Trigger(Main(), QStringLiteral("Contents1"));
        EXPECT_TRUE(script.WaitDone());
    }

    // What a reviewer should know of the display the pictures come from.
    shots.AddNote(QStringLiteral("No window manager runs on the virtual display: the windows have no frames, and "
                                 "the results window, which asks to be maximised, keeps its design size."));
    // The forms ask for Arial and Courier; the page says which fonts the machine drew them with.
    for (const char* family : {"Arial", "Courier"}) {
        shots.AddNote(QStringLiteral("%1 was drawn in %2.")
                          .arg(QLatin1String(family), QFontInfo(QFont(QLatin1String(family))).family()));
    }
    EXPECT_TRUE(shots.WriteIndex());
    EXPECT_TRUE(shots.Failures().isEmpty()) << shots.Failures().join(QLatin1Char('\n')).toStdString();

    // All the tour asks of a picture is that it is there and shows something.
    for (const char* window :
         {"main-window", "about-box", "settings", "name-dialog", "numeric-screen", "test-complete", "report-window",
          "alphanumeric-screen", "alpha-screen", "results-window", "print-preview", "alpha-generator",
          "numeric-generator", "numeric-generator-done", "password-change", "password-prompt", "help-window"}) {
        EXPECT_TRUE(shots.Has(QLatin1String(window))) << "no picture of the " << window;
    }
    for (const Shot& shot : shots.Shots()) {
        const QImage image(QDir(shots.Folder()).filePath(shot.file));
        EXPECT_FALSE(image.isNull()) << shot.file.toStdString() << " is missing or unreadable";
        EXPECT_FALSE(IsOneFlatColour(image)) << shot.file.toStdString() << " is one flat colour";
    }
    EXPECT_TRUE(QFile::exists(QDir(shots.Folder()).filePath(QStringLiteral("index.html"))));
}

}  // namespace
}  // namespace e2etour
