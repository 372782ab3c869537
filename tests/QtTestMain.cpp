// The main of the Qt tests: one application object on the offscreen platform, each test in its own temporary
// directory, and a watchdog that fails a test which leaves a modal window open.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/ModalGrace.h"

namespace {

// How often the watchdog looks for a modal window while a test runs its event loop.
constexpr int kWatchIntervalMs = 100;
// How long a modal window may stay open: tests close their own dialogs from a timer right away, so a
// window still open after this is stuck waiting for a user who is not there. A test that waits long with a
// window open lengthens it for a while through testsupport::ScopedModalGrace.
constexpr int kModalGraceMs = 2000;
int modalGraceMs = kModalGraceMs;

QString Describe(const QWidget* window) {
    const QString title = window->windowTitle();
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(window->metaObject()->className()), title);
}

// Closes the window so that the modal loop waiting on it returns.
void CloseModal(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
    if (window->isVisible()) window->close();
    if (window->isVisible()) window->hide();
}

class TestEnvironment : public testing::EmptyTestEventListener {
public:
    TestEnvironment() {
        timer_.setInterval(kWatchIntervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Watch(); });
    }

    void OnTestStart(const testing::TestInfo&) override {
        startDir_ = QDir::currentPath();
        dir_ = std::make_unique<QTemporaryDir>();
        if (!dir_->isValid() || !QDir::setCurrent(dir_->path())) {
            ADD_FAILURE() << "cannot make a temporary directory for the test: "
                          << dir_->errorString().toStdString();
        }
        watched_ = nullptr;
        timer_.start();
    }

    void OnTestEnd(const testing::TestInfo&) override {
        timer_.stop();
        modalGraceMs = kModalGraceMs;  // a grace a test lengthened ends with it
        while (QWidget* window = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the test left the modal window " << Describe(window).toStdString() << " open";
            CloseModal(window);
            if (QApplication::activeModalWidget() == window) break;
        }
        QDir::setCurrent(startDir_);
        dir_.reset();
    }

private:
    void Watch() {
        QWidget* window = QApplication::activeModalWidget();
        if (window != watched_) {
            watched_ = window;
            openFor_.start();
            return;
        }
        if (window == nullptr || openFor_.elapsed() < modalGraceMs) return;
        ADD_FAILURE() << "the modal window " << Describe(window).toStdString() << " stayed open for "
                      << modalGraceMs << " ms; closed by the watchdog";
        watched_ = nullptr;
        CloseModal(window);
    }

    QTimer timer_;
    QPointer<QWidget> watched_;
    QElapsedTimer openFor_;
    QString startDir_;
    std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace

int testsupport::ExchangeModalGraceMs(int ms) {
    const int previous = modalGraceMs;
    modalGraceMs = ms;
    return previous;
}

// The tests' application object: a plain QApplication. A test program whose code needs another one (the
// program's own) links a strong definition of this function, which takes the place of this weak one.
__attribute__((weak)) std::unique_ptr<QApplication> CreateTestApplication(int& argc, char** argv) {
    return std::make_unique<QApplication>(argc, argv);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The tests draw no window on a screen; a caller may still choose another platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's printing takes its PDF road instead of any printer the machine has.
    qputenv("KEYVALE_PRINT_TO_PDF", "1");
    const std::unique_ptr<QApplication> app = CreateTestApplication(argc, argv);

    // Declared after the application so that its timer goes before the application does.
    TestEnvironment environment;
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(&environment);
    const int result = RUN_ALL_TESTS();
    listeners.Release(&environment);
    return result;
}
