#include "app/services/QtMessageService.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "app/core/Texts.h"
#include "db/widgets/QtText.h"

namespace app {

namespace {

using db::widgets::ToQString;

// Room a window manager's title bar takes beside its title: its icon, buttons and margins.
constexpr int kTitleBarRoom = 160;

// The window the box belongs to, which it is centred on: the active one, or while none is active (a
// borderless form that the window manager did not activate) the modal form on top.
QWidget* BoxOwner() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    return QApplication::activeModalWidget();
}

QMessageBox::StandardButton Ask(QMessageBox::Icon icon, std::string_view caption, std::string_view text,
                                QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, ToQString(caption), ToQString(text), buttons, BoxOwner());
    // A short text would make the box narrower than its own title, which the title bar then elides.
    if (auto* layout = qobject_cast<QGridLayout*>(box.layout())) {
        const int titleWidth = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
        layout->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), layout->rowCount(),
                        0, 1, layout->columnCount());
    }
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
