#include "db/widgets/DBCheckBox.h"

#include "db/Field.h"
#include "db/Messages.h"
#include "db/widgets/Guarded.h"
#include "rtl/Text.h"

namespace db::widgets {

TDBCheckBox::TDBCheckBox(QWidget* parent) : QCheckBox(parent) {
    setTristate(false);
    link_.OnDataChange = [this] { ShowField(); };
    link_.OnFocusControl = [this] { setFocus(); };
}

void TDBCheckBox::ShowField() {
    const db::TField* field = link_.Field();
    setChecked(field != nullptr && rtl::AnsiSameText(field->Text(), db::kTextTrue));
}

void TDBCheckBox::nextCheckState() {
    Guarded([this] {
        if (!link_.Edit()) return;
        // Editing has shown the stored value again; the field's change shows the new one.
        if (db::TField* field = link_.Field()) field->SetText(isChecked() ? db::kTextFalse : db::kTextTrue);
    });
}

}  // namespace db::widgets
