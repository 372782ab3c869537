#include "app/forms/passwordchangeform.h"

#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "app/core/Texts.h"
#include "app/core/dbfuncs.h"
#include "app/forms/DialogEdits.h"
#include "app/forms/SmallDialog.h"
#include "db/widgets/QtText.h"
#include "rtl/Text.h"
#include "ui_passwordchangeform.h"

namespace app {

using db::widgets::ToQString;

Tpasswordchangeform::Tpasswordchangeform(AppState& state, MessageService& messages, Tdbfuncs& dbfuncs,
                                         QWidget* parent)
    : TForm(parent),
      ui_(std::make_unique<Ui::Tpasswordchangeform>()),
      state_(state),
      messages_(messages),
      dbfuncs_(dbfuncs) {
    ui_->setupUi(this);
    setWindowTitle(ToQString(kPasswordChangeCaption));
    ui_->Label1->setText(ToQString(kEnterNewPassword));
    ui_->Label2->setText(ToQString(kEnterAgain));
    ui_->Label3->setText(ToQString(kLeaveBlank));
    SetupPasswordEdit(*ui_->Edit1);
    SetupPasswordEdit(*ui_->Edit2);
    SetOkCancelButtons(*ui_->BitBtn1, *ui_->BitBtn2);
    SetSmallDialogStyle(*this);
    SetHelpContext(kPasswordHelpContext);
    ConnectModalButton(*ui_->BitBtn1, mrOk, [this] { BitBtn1Click(); });
    ConnectModalButton(*ui_->BitBtn2, mrCancel, [this] { BitBtn2Click(); });
}

Tpasswordchangeform::~Tpasswordchangeform() = default;

void Tpasswordchangeform::FormShow() {
    ui_->Edit1->clear();
    ui_->Edit2->clear();
    ui_->Edit1->setFocus();
    oldPassword_ = state_.password;
}

void Tpasswordchangeform::CloseRequested() {
    BitBtn2Click();
    TForm::CloseRequested();
}

void Tpasswordchangeform::BitBtn1Click() {
    if (ui_->Edit1->text() != ui_->Edit2->text()) {
        SetModalResult(mrNone);
        messages_.ShowError(kPasswordsDiffer);
        ui_->Edit1->clear();
        ui_->Edit2->clear();
        ui_->Edit1->setFocus();
        return;
    }
    state_.password = rtl::Trim(db::widgets::ToBytes(ui_->Edit1->text()));
    if (dbfuncs_.savepassword()) {
        messages_.ShowInformation(kPasswordChanged);
    } else {
        messages_.ShowError(kPasswordNotSaved);
        state_.password = oldPassword_;
    }
}

void Tpasswordchangeform::BitBtn2Click() {
    messages_.ShowInformation(kPasswordNotChanged);
}

}  // namespace app
