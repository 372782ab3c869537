#include "app/forms/getnameform.h"

#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "app/core/dbfuncs.h"
#include "app/forms/DialogEdits.h"
#include "app/forms/SmallDialog.h"
#include "db/widgets/QtText.h"
#include "ui_getnameform.h"

namespace app {

using db::widgets::ToBytes;
using db::widgets::ToQString;

Tgetnameform::Tgetnameform(AppState& state, Tdbfuncs& dbfuncs, QWidget* parent)
    : TForm(parent), ui_(std::make_unique<Ui::Tgetnameform>()), state_(state), dbfuncs_(dbfuncs) {
    ui_->setupUi(this);
    setWindowTitle(ToQString(kNameCaption));
    ui_->Label1->setText(ToQString(kFirstNameLabel));
    ui_->Label2->setText(ToQString(kLastNameLabel));
    SetupNameEdit(*ui_->Edit1);
    SetupNameEdit(*ui_->Edit2);
    SetOkCancelButtons(*ui_->BitBtn1, *ui_->BitBtn2);
    SetSmallDialogStyle(*this);
    SetHelpContext(kNameHelpContext);
    ConnectModalButton(*ui_->BitBtn1, mrOk, [this] { BitBtn1Click(); });
    ConnectModalButton(*ui_->BitBtn2, mrCancel);
}

Tgetnameform::~Tgetnameform() = default;

void Tgetnameform::FormShow() {
    ui_->Edit1->setFocus();
    ui_->Edit1->setText(ToQString(state_.fname));
    ui_->Edit2->setText(ToQString(state_.lname));
}

void Tgetnameform::BitBtn1Click() {
    for (QLineEdit* edit : {ui_->Edit1, ui_->Edit2}) {
        if (edit->text().isEmpty()) {
            edit->setFocus();
            SetModalResult(mrNone);
            return;
        }
    }
    state_.fname = ToBytes(ui_->Edit1->text());
    state_.lname = ToBytes(ui_->Edit2->text());
    dbfuncs_.savename();
}

}  // namespace app
