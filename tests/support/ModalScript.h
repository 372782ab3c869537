// ModalScript: answers the modal windows a test opens, in order, even inside nested exec() loops.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <QElapsedTimer>

#include <functional>
#include <vector>

namespace testsupport {

// Each step names the modal window it expects (its class and, unless empty, its object name) and what
// to do with it. A timer polls QApplication::activeModalWidget() and runs a step's action from a timer
// of its own, so that an action that opens a nested modal window leaves the polling going. The window of
// the last step may stay open after its action (it may close itself later, or open the next window), and
// so may any window an earlier step handled: it comes back on top when a nested window closes and may
// work there before it opens the next (a test screen scores, then shows its report).
// A failure: a modal window that is not the next step's, a step that does not come within the timeout,
// or the last step's window still open a timeout after the last action. Then every modal window is
// closed, so that the exec() loops return and the test goes on. Failures go to the test when the script
// ends, unless the test has taken them.
class ModalScript : public QObject {
public:
    using TAction = std::function<void(QWidget& modal)>;

    // How long each step may take to come.
    static constexpr int kDefaultTimeoutMs = 2000;

    explicit ModalScript(int timeoutMs = kDefaultTimeoutMs);
    ~ModalScript() override;

    // Adds a step; the script starts polling with its first step.
    ModalScript& Expect(const QString& className, const QString& objectName, TAction action);
    ModalScript& Expect(const QString& className, TAction action) {
        return Expect(className, {}, std::move(action));
    }

    // Every step has run to its end and the last step's window has closed.
    bool Done() const;
    // Waits until Done, or a failure, within the timeout of the steps left.
    bool WaitDone();

    QStringList TakeFailures();
    bool Failed() const { return !failures_.isEmpty(); }

    // Describes a widget as the failures name it: class "object name" "title".
    static QString Describe(const QWidget* widget);
    // Closes every modal window, innermost first.
    static void CloseAllModals();

private:
    struct Step {
        QString className;
        QString objectName;
        TAction action;
    };

    void Poll();
    bool Matches(const Step& step, const QWidget& modal) const;
    void Run(std::size_t index, QWidget* modal);
    void Fail(const QString& failure);

    int timeoutMs_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;           // the step awaited
    std::size_t finished_ = 0;       // steps whose action has returned
    QList<QPointer<QWidget>> busy_;  // windows whose action still runs (a nested exec inside it)
    QPointer<QWidget> lastHandled_;  // the window of the last step whose action has returned
    QList<QPointer<QWidget>> handled_;  // every window whose action has returned
    QTimer poll_;
    QElapsedTimer waiting_;  // since the awaited step became next
    QStringList failures_;
    bool stopped_ = false;
};

}  // namespace testsupport
