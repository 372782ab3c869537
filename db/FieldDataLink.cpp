#include "db/FieldDataLink.h"

#include "db/DataSource.h"
#include "db/Field.h"

namespace db {

void TFieldDataLink::SetFieldName(std::string name) {
    if (name == fieldName_) return;
    fieldName_ = std::move(name);
    UpdateField();
}

bool TFieldDataLink::CanModify() const {
    return !ReadOnly() && field_ != nullptr && field_->CanModify();
}

bool TFieldDataLink::Edit() {
    if (CanModify()) TDataLink::Edit();
    return fieldEditing_;
}

void TFieldDataLink::ActiveChanged() {
    UpdateField();
    if (OnActiveChange) OnActiveChange();
}

void TFieldDataLink::EditingChanged() {
    SetFieldEditing(TDataLink::Editing() && CanModify());
}

void TFieldDataLink::FocusControl(TField** field) {
    if (field == nullptr || *field == nullptr || *field != field_ || !OnFocusControl) return;
    *field = nullptr;
    OnFocusControl();
}

void TFieldDataLink::LayoutChanged() {
    UpdateField();
}

void TFieldDataLink::RecordChanged(TField* field) {
    if (field != nullptr && field != field_) return;
    if (OnDataChange) OnDataChange();
    modified_ = false;
}

void TFieldDataLink::UpdateData() {
    if (!modified_) return;
    if (field_ != nullptr && OnUpdateData) OnUpdateData();
    modified_ = false;
}

void TFieldDataLink::UpdateField() {
    if (Active() && !fieldName_.empty())
        SetField(&DataSet()->FieldByName(fieldName_));
    else
        SetField(nullptr);
}

void TFieldDataLink::SetField(TField* field) {
    if (field == field_) return;
    field_ = field;
    EditingChanged();
    RecordChanged(nullptr);
}

void TFieldDataLink::SetFieldEditing(bool editing) {
    if (editing == fieldEditing_) return;
    fieldEditing_ = editing;
    modified_ = false;
    if (OnEditingChange) OnEditingChange();
}

}  // namespace db
