#include "app/services/Application.h"

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/core/Texts.h"
#include "app/services/QtMessageService.h"
#include "db/widgets/Guarded.h"
#include "rtl/Exceptions.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using testsupport::AppFixture;
using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ModalScript;
using testsupport::waitUntil;

class ApplicationTest : public AppFixture {};

TEST_F(ApplicationTest, IsTheProgramsTitledApplicationObject) {
    ASSERT_NE(Application(), nullptr);
    EXPECT_EQ(Application()->Title(), "Keyvale");
    // Qt's display name would be appended to every window title.
    EXPECT_NE(QApplication::applicationDisplayName(), QStringLiteral("Keyvale"));
}

TEST_F(ApplicationTest, ShowsEachFailureInOneStopBoxWithItsFullStop) {
    const struct {
        std::string message;
        std::string shown;
    } cases[] = {
        {"abc", "abc."}, {"abc.", "abc."},        {"x!", "x!"}, {"x-", "x-"}, {"", ""},
        {"x/", "x/."},   {"caf\xE9", "caf\xE9."},
    };
    for (const auto& c : cases) {
        rtl::HandleException(std::make_exception_ptr(rtl::Exception(c.message)));
        EXPECT_EQ(TakeStops(), (std::vector<Box>{{BoxKind::Stop, "Keyvale", c.shown}})) << c.message;
    }
}

TEST_F(ApplicationTest, WordsEveryKindOfException) {
    rtl::HandleException(std::make_exception_ptr(std::runtime_error("disk full")));
    rtl::HandleException(std::make_exception_ptr(42));
    rtl::HandleException(std::make_exception_ptr(rtl::EAbort("quiet")));
    EXPECT_EQ(TakeStops(), (std::vector<Box>{{BoxKind::Stop, "Keyvale", "disk full."},
                                             {BoxKind::Stop, "Keyvale", "Unknown exception."}}));
}

TEST_F(ApplicationTest, OnExceptionTakesThePlaceOfTheBox) {
    std::vector<std::string> seen;
    Application()->SetOnException(
        [&](std::exception_ptr error) { seen.push_back(rtl::ExceptionMessage(error)); });
    rtl::HandleException(std::make_exception_ptr(rtl::Exception("handled")));
    Application()->SetOnException({});
    EXPECT_EQ(seen, std::vector<std::string>{"handled"});
    EXPECT_TRUE(TakeStops().empty());
}

// A failure in each place the event loop runs the program's code, each handler in the guard the program
// runs its handlers in: one box each, and the loop and the open dialog go on.
TEST_F(ApplicationTest, AFailureAnywhereInTheLoopGivesOneBoxAndTheLoopGoesOn) {
    using db::widgets::Guarded;
    QObject receiver;
    QMetaObject::invokeMethod(
        &receiver, [] { Guarded([] { throw rtl::Exception("from a queued slot"); }); }, Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return messages.Boxes().size() == 1; }));

    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout,
                     [] { Guarded([] { throw std::runtime_error("from a timer"); }); });
    timer.start(0);
    ASSERT_TRUE(waitUntil([&] { return messages.Boxes().size() == 2; }));

    // A key handler inside a nested exec(): its dialog stays open and takes the next key.
    class Throwing : public QLineEdit {
    protected:
        void keyPressEvent(QKeyEvent* event) override {
            Guarded([&] {
                if (event->key() == Qt::Key_X) throw rtl::Exception("from a key");
                QLineEdit::keyPressEvent(event);
            });
        }
    };
    QDialog dialog;
    dialog.setObjectName("Outer");
    auto* edit = new Throwing;
    edit->setParent(&dialog);
    bool stillOpen = false;
    ModalScript script;
    script.Expect("QDialog", "Outer", [&](QWidget& modal) {
        QTest::keyClick(edit, Qt::Key_X);
        QTest::keyClick(edit, Qt::Key_A);
        stillOpen = modal.isVisible() && edit->text() == QStringLiteral("a");
        static_cast<QDialog&>(modal).accept();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(script.WaitDone());
    EXPECT_TRUE(stillOpen);

    rtl::HandleException(std::make_exception_ptr(rtl::Exception("through rtl's hook")));
    std::vector<std::string> texts;
    for (const Box& box : TakeStops()) texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"from a queued slot.", "from a timer.", "from a key.",
                                               "through rtl's hook."}));
}

// The last net: an event handler that lets a failure out still gives one box, and the loop goes on.
TEST_F(ApplicationTest, NotifyCatchesWhatAHandlerLetsOut) {
    class Throwing : public QObject {
    public:
        bool event(QEvent* event) override {
            if (event->type() == QEvent::User) throw rtl::Exception("from an event");
            return QObject::event(event);
        }
    };
    Throwing receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    ASSERT_TRUE(waitUntil([&] { return messages.Boxes().size() == 1; }));
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    ASSERT_TRUE(waitUntil([&] { return messages.Boxes().size() == 2; }));
    EXPECT_EQ(TakeStops().size(), 2u);
}

// Without a service the application shows a real box of its own, captioned with the title.
TEST(TApplicationBoxTest, ShowsARealStopBoxWithoutAService) {
    TApplication& application = *Application();
    MessageService* previous = application.Messages();
    application.SetMessageService(nullptr);
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalScript script;
    script.Expect("QMessageBox", [&](QWidget& modal) {
        auto& box = static_cast<QMessageBox&>(modal);
        caption = box.windowTitle();
        text = box.text();
        icon = box.icon();
        box.accept();
    });
    rtl::HandleException(std::make_exception_ptr(rtl::Exception("Table is busy")));
    application.SetMessageService(previous);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(caption, QStringLiteral("Keyvale"));
    EXPECT_EQ(text, QStringLiteral("Table is busy."));
    EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace app
