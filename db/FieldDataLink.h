// TFieldDataLink: the link of a control that shows and edits one field, bound by the field's name.
#pragma once

#include <functional>
#include <string>

#include "db/DataLink.h"

namespace rtl {
class TComponent;
}

namespace db {

class TField;

// The link finds its field by name again whenever the name, the dataset's layout or its active state
// changes. A control that changes its text calls Modified; the link then asks it for the text
// (OnUpdateData) before the dataset posts or moves.
class TFieldDataLink : public TDataLink {
public:
    TField* Field() const { return field_; }
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(std::string name);
    // The control that owns the link, for the application's use.
    rtl::TComponent* Control() const { return control_; }
    void SetControl(rtl::TComponent* control) { control_ = control; }
    // The link is editing and its field can be modified.
    bool Editing() const { return fieldEditing_; }
    bool CanModify() const;
    // Puts the dataset into the edit state when the field can be modified (a record that another user has
    // locked fails here); true when editing.
    bool Edit();
    // The control's text differs from the field's value.
    void Modified() { modified_ = true; }
    bool IsModified() const { return modified_; }
    // Shows the field's value again, dropping the control's pending text.
    void Reset() { RecordChanged(nullptr); }

    std::function<void()> OnDataChange;     // show the field's value
    std::function<void()> OnEditingChange;  // editing began or ended
    std::function<void()> OnUpdateData;     // put the pending text into the field
    std::function<void()> OnActiveChange;   // the dataset opened or closed
    std::function<void()> OnFocusControl;   // take the focus

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void FocusControl(TField** field) override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;

private:
    void UpdateField();
    void SetField(TField* field);
    void SetFieldEditing(bool editing);

    TField* field_ = nullptr;
    std::string fieldName_;
    rtl::TComponent* control_ = nullptr;
    bool fieldEditing_ = false;
    bool modified_ = false;
};

}  // namespace db
