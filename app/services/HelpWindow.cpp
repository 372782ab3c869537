#include "app/services/HelpWindow.h"

#include <QPushButton>
#include <QTextBrowser>

#include "app/core/Texts.h"
#include "db/widgets/QtText.h"
#include "ui_HelpWindow.h"

namespace app {

using db::widgets::ToQString;

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::HelpWindow>()) {
    ui_->setupUi(this);
    setWindowTitle(ToQString(kHelpCaption));
    ui_->CloseButton->setText(ToQString(kClose));
    connect(ui_->CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::ShowAt(const QString& html, const QString& anchor) {
    anchor_ = anchor;
    ui_->Browser->setHtml(html);
    ui_->Browser->scrollToAnchor(anchor);
}

QTextBrowser& HelpWindow::Browser() const {
    return *ui_->Browser;
}

}  // namespace app
