// TApplication: the program's application object, and the one handler of every failure no caller handles.
#pragma once

#include <QApplication>

#include <exception>
#include <functional>
#include <string>

#include "rtl/ExceptionHook.h"

namespace app {

class MessageService;

// Shows an exception instead of the default box.
using TExceptionEvent = std::function<void(std::exception_ptr error)>;

// While it lives it is rtl's exception handler; the previous handler comes back at its end. A failure
// goes to OnException when one is assigned, else to ShowException. Exceptions never pass through Qt's
// own code: the program's slots and handlers run guarded, and notify is the last net.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The application's title ("Keyvale"), which captions the stop box. Kept apart from Qt's display
    // name, which the window system would append to every window title.
    const std::string& Title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }

    const TExceptionEvent& OnException() const { return onException_; }
    void SetOnException(TExceptionEvent onException) { onException_ = std::move(onException); }

    // Where the stop box goes; none (the default) shows a message box of its own.
    void SetMessageService(MessageService* messages) { messages_ = messages; }
    MessageService* Messages() const { return messages_; }

    // The exception's message with its full stop, in a stop box captioned with the title.
    void ShowException(const std::exception_ptr& error);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void HandleException(std::exception_ptr error);

    std::string title_;
    TExceptionEvent onException_;
    MessageService* messages_ = nullptr;
    rtl::ExceptionHandler previous_;
};

// The running TApplication; nullptr when the application object is another one or none.
TApplication* Application();

}  // namespace app
