#include "tests/app/e2e/copy/StepDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <unistd.h>

#include <cerrno>
#include <exception>
#include <stdexcept>
#include <string_view>

#include "app/controls/ColorButton.h"
#include "app/core/Texts.h"
#include "app/forms/getnameform.h"
#include "app/forms/resultsForm.h"
#include "app/forms/showitForm.h"
#include "app/forms/zmain.h"
#include "app/program/Program.h"
#include "app/screens/TestScreen.h"
#include "components/TARNISTable.h"
#include "db/widgets/DBText.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/Exceptions.h"
#include "tests/support/LineIo.h"
#include "tests/support/ServiceDoubles.h"

namespace e2ecopy {

namespace {

// Between the texts of several message boxes in one answer.
constexpr std::string_view kBoxSeparator = " | ";

// One line of the answer: a text's line breaks would end it early.
std::string OneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return line.toStdString();
}

std::string Describe(const QWidget* window) {
    if (window == nullptr) return "no window";
    return std::string(window->metaObject()->className()) + " \"" + OneLine(window->windowTitle()) + '"';
}

std::string FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const rtl::Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown failure";
    }
}

app::Tzmain& MainWindowOf(app::Program& program) {
    auto* main = program.Forms().Get<app::Tzmain>(app::FormSlot::zmain);
    if (main == nullptr) throw std::logic_error("the program has no main window");
    return *main;
}

template <class Window>
Window* ActiveModal() {
    return qobject_cast<Window*>(QApplication::activeModalWidget());
}

}  // namespace

StepDriver::StepDriver(app::Program& program, testsupport::FakeTimeSource& time)
    : program_(program),
      time_(time),
      main_(MainWindowOf(program)),
      input_(STDIN_FILENO, QSocketNotifier::Read) {
    connect(&input_, &QSocketNotifier::activated, this, [this] { ReadInput(); });
    poll_.setInterval(kPollIntervalMs);
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
}

StepDriver::~StepDriver() {
    poll_.stop();
    input_.setEnabled(false);
    if (held_) held_->Close();
}

void StepDriver::Begin() {
    stepRunning_ = true;
    stepName_ = "start";
    stepClock_.start();
    poll_.start();
    RunCommand([this] { main_.show(); });
    progress_ = [this] { return !commandRunning_; };
}

void StepDriver::ReadInput() {
    char chunk[256];
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) return;
    if (got <= 0) {
        input_.setEnabled(false);
        inputEnded_ = true;
    } else {
        pending_.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t newline = pending_.find('\n'); newline != std::string::npos;
             newline = pending_.find('\n')) {
            lines_.push_back(pending_.substr(0, newline));
            pending_.erase(0, newline + 1);
        }
    }
    NextStep();
}

void StepDriver::NextStep() {
    if (stepRunning_ || quitRequested_) return;
    if (lines_.empty()) {
        // The end of the input ends the program as `quit` does, without its answer.
        if (inputEnded_) {
            stepRunning_ = true;
            Quit();
        }
        return;
    }
    const std::string line = lines_.front();
    lines_.pop_front();
    Start(line);
}

void StepDriver::Start(const std::string& line) {
    stepRunning_ = true;
    stepName_ = line;
    stepClock_.restart();
    progress_ = nullptr;
    constexpr std::string_view kRealNumeric = "real numeric ";
    try {
        if (line.starts_with(kRealNumeric) && line.size() > kRealNumeric.size()) {
            RealNumeric(line.substr(kRealNumeric.size()));
        } else if (line == "time out") {
            TimeOut();
        } else if (line == "results open") {
            ResultsOpen();
        } else if (line == "results close") {
            ResultsClose();
        } else if (line == "hold results") {
            HoldResults();
        } else if (line == "release results") {
            ReleaseResults();
        } else if (line == "quit") {
            quitRequested_ = true;
            Quit();
        } else {
            Finish("unknown step: " + line);
        }
    } catch (...) {
        if (stepRunning_) Finish(FailureText(std::current_exception()));
    }
}

void StepDriver::Poll() {
    // A message box is answered whenever it comes; one between steps counts for the next.
    if (auto* box = ActiveModal<QMessageBox>()) {
        AnswerBox(*box);
        return;
    }
    if (!stepRunning_ || !progress_) return;
    try {
        if (progress_()) {
            if (stepRunning_) Finish();
            return;
        }
    } catch (...) {
        Finish(FailureText(std::current_exception()));
        return;
    }
    if (stepClock_.elapsed() > kStepTimeoutMs) {
        Finish("the step did not end within " + std::to_string(kStepTimeoutMs) + " ms; open: " +
               Describe(QApplication::activeModalWidget()));
    }
}

void StepDriver::Finish(const std::string& error) {
    std::string answer;
    std::string boxes;
    for (const std::string& box : boxes_) {
        if (!boxes.empty()) boxes += kBoxSeparator;
        boxes += box;
    }
    if (!error.empty()) {
        answer = "error " + error;
        if (!boxes.empty()) answer += " (after the boxes: " + boxes + ')';
    } else {
        answer = boxes.empty() ? std::string("ok") : boxes;
    }
    testsupport::WriteLine(STDOUT_FILENO, answer);
    boxes_.clear();
    stepRunning_ = false;
    progress_ = nullptr;
    QTimer::singleShot(0, this, [this] { NextStep(); });
}

void StepDriver::RunCommand(std::function<void()> command) {
    commandRunning_ = true;
    // A timer of its own: the command's exec() loops run the polling timer meanwhile.
    QTimer::singleShot(0, this, [this, command = std::move(command)] {
        db::widgets::Guarded(command);
        commandRunning_ = false;
    });
}

void StepDriver::AnswerBox(QMessageBox& box) {
    boxes_.push_back(OneLine(box.text()));
    QAbstractButton* button = box.button(QMessageBox::Ok);
    if (button == nullptr) button = box.button(QMessageBox::Yes);
    if (button == nullptr && !box.buttons().isEmpty()) button = box.buttons().front();
    if (button != nullptr) {
        button->click();
    } else {
        box.reject();
    }
}

// ---- The steps ----

void StepDriver::RealNumeric(const std::string& name) {
    if (commandRunning_) return Finish("a window is open: " + Describe(QApplication::activeModalWidget()));
    // "Last,First"; a name without a comma is the first name too.
    const std::size_t comma = name.find(',');
    const QString last = db::widgets::ToQString(name.substr(0, comma));
    const QString first = db::widgets::ToQString(comma == std::string::npos ? name : name.substr(comma + 1));
    RunCommand([this] { main_.Real2Click(); });
    progress_ = [this, last, first, keyed = false]() mutable {
        if (auto* nameForm = ActiveModal<app::Tgetnameform>()) {
            nameForm->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(first);
            nameForm->findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(last);
            nameForm->findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->click();
            return false;
        }
        if (auto* screen = ActiveModal<app::TestScreen>()) {
            if (!screen->isVisible() || !screen->testdb.Active()) return false;
            if (keyed) return screen->timerstarted;
            keyed = true;
            // The first field's source text, keyed into it, and Enter: the countdown starts.
            QWidget* target = QApplication::focusWidget();
            if (target == nullptr || !screen->isAncestorOf(target)) target = &screen->Entry(1);
            QString text = screen->Source(1).text();
            if (text.isEmpty()) text = QStringLiteral("1");
            QTest::keyClicks(target, text);
            QTest::keyClick(target, Qt::Key_Return);
            return false;
        }
        if (commandRunning_) return false;
        if (boxes_.empty()) Finish("the numeric screen did not open");
        return true;
    };
}

void StepDriver::TimeOut() {
    auto* screen = ActiveModal<app::TestScreen>();
    if (screen == nullptr || !screen->timerstarted) return Finish("no test is running");
    // The countdown's next tick finds the whole time gone.
    time_.Advance(screen->testseconds);
    progress_ = [this] {
        if (auto* report = ActiveModal<app::TshowitForm>()) {
            report->BitBtn1().click();
            return false;
        }
        return !commandRunning_;
    };
}

void StepDriver::ResultsOpen() {
    if (commandRunning_) return Finish("a window is open: " + Describe(QApplication::activeModalWidget()));
    RunCommand([this] { main_.resultsbtnClick(); });
    progress_ = [this] {
        if (auto* results = ActiveModal<app::TresultsForm>()) return results->isVisible();
        if (commandRunning_) return false;
        if (boxes_.empty()) Finish("the results window did not open");
        return true;
    };
}

void StepDriver::ResultsClose() {
    auto* results = ActiveModal<app::TresultsForm>();
    if (results == nullptr) return Finish("the results window is not open");
    emit results->Button("closebtn").clicked();
    progress_ = [this] { return !commandRunning_; };
}

void StepDriver::HoldResults() {
    if (held_) return Finish("results.dat is held already");
    auto table = std::make_unique<components::TTARNISTable>();
    table->SetTableName(program_.Runtime().State().progdir + std::string(app::kResultsTable));
    table->SetExclusive(true);
    table->Open();
    held_ = std::move(table);
    Finish();
}

void StepDriver::ReleaseResults() {
    if (!held_) return Finish("results.dat is not held");
    held_->Close();
    held_.reset();
    Finish();
}

void StepDriver::Quit() {
    // The windows close first, so that the commands that showed them return; then the main window, whose
    // closing ends the message loop. The answer to `quit` comes once the program has shut down.
    progress_ = [this] {
        if (commandRunning_) {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
            return false;
        }
        if (held_) {
            held_->Close();
            held_.reset();
        }
        poll_.stop();
        main_.Exit1Click();
        return false;
    };
}

}  // namespace e2ecopy
