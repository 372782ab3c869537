#include "components/PasswordDialogModel.h"

namespace components {

void PasswordDialogModel::AddButtonClick() {
    session_.AddPassword(text_);
    added_ = true;
    EditChange({});
}

void PasswordDialogModel::RemoveButtonClick() {
    session_.RemovePassword(text_);
    EditChange({});
}

void PasswordDialogModel::RemoveAllButtonClick() {
    session_.RemoveAllPasswords();
}

void PasswordDialogModel::OKButtonClick() {
    session_.AddPassword(text_);
}

}  // namespace components
