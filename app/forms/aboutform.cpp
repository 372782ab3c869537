#include "app/forms/aboutform.h"

#include "app/core/Texts.h"
#include "app/forms/SmallDialog.h"
#include "db/widgets/QtText.h"
#include "ui_aboutform.h"

namespace app {

using db::widgets::ToQString;

// The product's name in large type.
inline constexpr int kProductPointSize = 24;

Taboutform::Taboutform(QWidget* parent) : TForm(parent), ui_(std::make_unique<Ui::Taboutform>()) {
    ui_->setupUi(this);
    setWindowTitle(ToQString(kAboutCaption));
    SetSmallDialogStyle(*this);
    ui_->ProductName->setText(ToQString(kAboutProduct));
    QFont large(QString::fromLatin1(kFormFontFamily), kProductPointSize);
    large.setBold(true);
    ui_->ProductName->setFont(large);
    ui_->Button1->setText(ToQString(kAboutOk));
    ui_->Button1->setDefault(true);
    ConnectModalButton(*ui_->Button1, mrOk);
}

Taboutform::~Taboutform() = default;

}  // namespace app
