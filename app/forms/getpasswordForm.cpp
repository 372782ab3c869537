#include "app/forms/getpasswordForm.h"

#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "app/core/Texts.h"
#include "app/forms/DialogEdits.h"
#include "app/forms/Glyphs.h"
#include "app/forms/SmallDialog.h"
#include "db/widgets/QtText.h"
#include "rtl/Text.h"
#include "ui_getpasswordForm.h"

namespace app {

using db::widgets::ToQString;

TgetpasswordForm::TgetpasswordForm(AppState& state, MessageService& messages, QWidget* parent)
    : TForm(parent), ui_(std::make_unique<Ui::TgetpasswordForm>()), state_(state), messages_(messages) {
    ui_->setupUi(this);
    setWindowTitle(ToQString(kPasswordRequiredCaption));
    ui_->Label1->setText(ToQString(kEnterYourPassword));
    ui_->Image1->setPixmap(Glyph(kKeyGlyph));
    SetupPasswordEdit(*ui_->Edit1);
    SetOkCancelButtons(*ui_->BitBtn1, *ui_->BitBtn2);
    SetSmallDialogStyle(*this);
    SetHelpContext(kPasswordHelpContext);
    ConnectModalButton(*ui_->BitBtn1, mrOk, [this] { BitBtn1Click(); });
    ConnectModalButton(*ui_->BitBtn2, mrCancel);
}

TgetpasswordForm::~TgetpasswordForm() = default;

void TgetpasswordForm::FormShow() {
    state_.passwordok = false;
    ui_->Edit1->clear();
    ui_->Edit1->setFocus();
}

void TgetpasswordForm::BitBtn1Click() {
    if (rtl::Trim(db::widgets::ToBytes(ui_->Edit1->text())) == rtl::Trim(state_.password)) {
        state_.passwordok = true;
        return;
    }
    messages_.ShowError(kIncorrectPassword);
    SetModalResult(mrNone);
    ui_->Edit1->clear();
    ui_->Edit1->setFocus();
}

}  // namespace app
