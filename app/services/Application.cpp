#include "app/services/Application.h"

#include "app/core/ExceptionText.h"
#include "app/core/Texts.h"
#include "app/services/QtMessageService.h"

namespace app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv), title_(kTitle) {
    previous_ = rtl::SetExceptionHandler([this](std::exception_ptr error) { HandleException(error); });
}

TApplication::~TApplication() {
    rtl::SetExceptionHandler(std::move(previous_));
}

void TApplication::HandleException(std::exception_ptr error) {
    if (onException_) {
        const TExceptionEvent handler = onException_;  // a copy: the handler may assign another
        handler(error);
    } else {
        ShowException(error);
    }
}

void TApplication::ShowException(const std::exception_ptr& error) {
    const std::string text = WithFullStop(rtl::ExceptionMessage(error));
    if (messages_ != nullptr) {
        messages_->ShowStop(text);
    } else {
        QtMessageService(title_).ShowStop(text);
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        rtl::HandleCurrentException();
        return false;
    }
}

TApplication* Application() {
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

}  // namespace app
