#include "app/QtMessageService.h"

#include <QApplication>
#include <QMessageBox>

#include "app/core/Texts.h"
#include "db/widgets/QtText.h"

namespace app {

namespace {

using db::widgets::ToQString;

QMessageBox::StandardButton Ask(QMessageBox::Icon icon, std::string_view caption, std::string_view text,
                                QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, ToQString(caption), ToQString(text), buttons, QApplication::activeWindow());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QtMessageService::QtMessageService(std::string title) : title_(std::move(title)) {}

void QtMessageService::ShowError(std::string_view text) {
    Ask(QMessageBox::Critical, kErrorCaption, text, QMessageBox::Ok);
}

void QtMessageService::ShowInformation(std::string_view text) {
    Ask(QMessageBox::NoIcon, title_, text, QMessageBox::Ok);
}

bool QtMessageService::Confirm(std::string_view question) {
    return Ask(QMessageBox::Question, kConfirmCaption, question, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void QtMessageService::ShowStop(std::string_view text) {
    // The platform's stop icon is the critical one.
    Ask(QMessageBox::Critical, title_, text, QMessageBox::Ok);
}

}  // namespace app
