#include "app/forms/Form.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include "app/services/HelpContext.h"
#include "app/services/WindowHints.h"
#include "db/widgets/Guarded.h"

namespace app {

using db::widgets::Guarded;

TForm::TForm(QWidget* parent) : QDialog(parent) {}

TForm::~TForm() = default;

void TForm::SetModalResult(TModalResult result) {
    modalResult_ = result;
    if (result != mrNone && isVisible()) done(result);
}

void TForm::SetHelpContext(int context) {
    app::SetHelpContext(*this, context);
}

int TForm::HelpContext() const {
    return HelpContextOf(*this);
}

void TForm::SetNoSystemButtons() {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    noSystemButtons_ = true;
}

void TForm::SetBorderless() {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    noSystemButtons_ = false;
}

void TForm::done(int result) {
    if (closing_) {
        QDialog::done(result);
        return;
    }
    closing_ = true;
    modalResult_ = static_cast<TModalResult>(result);
    if (isVisible()) Guarded([this] { FormClose(); });
    QDialog::done(result);
}

void TForm::CloseRequested() {
    SetModalResult(mrCancel);
}

void TForm::CloseAfterFailedShow(std::exception_ptr failure) {
    // Shown at once, the message's loop would run while the form is still being shown, before exec() has a
    // loop that the closing could end, and the form would stay open for good.
    QMetaObject::invokeMethod(
        this,
        [this, failure = std::move(failure)] {
            Guarded([&failure] { std::rethrow_exception(failure); });
            SetModalResult(mrCancel);
        },
        Qt::QueuedConnection);
}

void TForm::ConnectModalButton(QAbstractButton& button, TModalResult result, std::function<void()> handler) {
    connect(&button, &QAbstractButton::clicked, this, [this, result, handler = std::move(handler)] {
        modalResult_ = result;
        if (handler && !Guarded(handler)) return;  // a failed handler leaves the form open
        if (modalResult_ != mrNone && isVisible()) done(modalResult_);
    });
}

void TForm::ConnectClick(QAbstractButton& button, std::function<void()> handler) {
    connect(&button, &QAbstractButton::clicked, this, [handler = std::move(handler)] { Guarded(handler); });
}

void TForm::ConnectActivated(QComboBox& combo, std::function<void()> handler) {
    connect(&combo, &QComboBox::activated, this, [handler = std::move(handler)] { Guarded(handler); });
}

void TForm::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        closing_ = false;
        modalResult_ = mrNone;
        // A push button is the default only where a form makes it so.
        for (QPushButton* button : findChildren<QPushButton*>()) {
            if (!button->isDefault()) button->setAutoDefault(false);
        }
        if (noSystemButtons_) AllowMoveOnly(*this);
        if (maximised_) setWindowState(windowState() | Qt::WindowMaximized);
        if (fixedBorder_ && !maximised_) setFixedSize(size());
        if (centred_ && !maximised_) {
            const QScreen* screen =
                this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
            if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
        }
        Guarded([this] { FormShow(); });
    }
    QDialog::showEvent(event);
}

void TForm::closeEvent(QCloseEvent* event) {
    event->ignore();  // the form decides, and hides itself through done()
    Guarded([this] { CloseRequested(); });
}

void TForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Guarded([this] { CloseRequested(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace app
