// TField: one column of a dataset's current record, read and written as text, numbers, dates or variants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "db/FieldType.h"
#include "rtl/Component.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/Variant.h"

namespace db {

class TDataSet;

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// A field reads and writes its value in the dataset's buffer for the dataset's state (the current record,
// the record being edited, the calculation buffer, ...). The typed accessors convert to and from the
// field's own kind:
// - Text follows the current format settings: floats in the general 15-digit form, truth values as "True"
//   and "False" (either word in any case is read back), dates with the short date format, times with the
//   long time format, date-times with both (no time at midnight).
// - A null value reads as "", 0, false or Null; an empty text clears a field of any kind but text.
// - Floats and currency round half to even into integers; a value outside the field's range raises
//   "Value %s is out of range for field '%s'", an accessor the kind does not support "Invalid type
//   conversion for field '%s'".
class TField : public rtl::TComponent {
public:
    explicit TField(rtl::TComponent* owner);
    ~TField() override;

    // Identity and layout.
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(std::string name);
    // The label shown for the field: DisplayLabel when set, else FieldName.
    std::string DisplayName() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    std::string DisplayLabel() const { return DisplayName(); }
    void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind);
    bool Calculated() const { return fieldKind_ == fkCalculated; }
    bool Lookup() const { return fieldKind_ == fkLookup; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    void SetSize(int size);
    // The cursor's number of the field (from 1); -1 for calculated and lookup fields; 0 while unbound.
    int FieldNo() const { return fieldNo_; }
    // Where a calculated or lookup field keeps its not-null byte and value in the dataset's calculated area.
    std::size_t Offset() const { return offset_; }
    // Bytes of the value in a record buffer (the dataset's own form).
    virtual std::size_t DataSize() const;
    virtual bool IsBlob() const { return false; }
    // Position among the dataset's fields.
    int Index() const;
    void SetIndex(int index);
    TDataSet* DataSet() const { return dataSet_; }
    // Joins the field to a dataset, which must be closed (nullptr takes it out).
    void SetDataSet(TDataSet* dataSet);

    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth(); }
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    // Not read-only, on a dataset that can modify, and not a calculated field outside the calculation.
    bool CanModify() const;
    bool IsIndexField() const;

    // Lookup fields: the value of LookupResultField in the record of LookupDataSet whose LookupKeyFields
    // equal this dataset's KeyFields.
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* dataSet);
    const std::string& KeyFields() const { return keyFields_; }
    void SetKeyFields(std::string names) { keyFields_ = std::move(names); }
    const std::string& LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(std::string names) { lookupKeyFields_ = std::move(names); }
    const std::string& LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(std::string name) { lookupResultField_ = std::move(name); }

    // Events.
    std::function<void(TField&)> OnChange;
    // Runs before a new value is stored; the value is readable through the field meanwhile. Raising refuses
    // the value.
    std::function<void(TField&)> OnValidate;
    std::function<void(TField&, std::string& text, bool displayText)> OnGetText;
    std::function<void(TField&, std::string_view text)> OnSetText;

    // The value in the dataset's form: true when the field has a value. A nullptr buffer asks only that.
    // nativeFormat false converts from the cursor's form with the dataset's DataConvert.
    bool GetData(void* buffer, bool nativeFormat = true) const;
    void SetData(const void* buffer, bool nativeFormat = true);
    virtual bool IsNull() const;
    virtual void Clear();

    std::string AsString() const { return GetAsString(); }
    // An empty text clears a field of any kind but text.
    void SetAsString(std::string_view value);
    std::int32_t AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(std::int32_t value) { SetAsIntegerValue(value); }
    std::int64_t AsLargeInt() const { return GetAsLargeInt(); }
    void SetAsLargeInt(std::int64_t value) { SetAsLargeIntValue(value); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double value) { SetAsFloatValue(value); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool value) { SetAsBooleanValue(value); }
    rtl::TDateTime AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(rtl::TDateTime value) { SetAsDateTimeValue(value); }
    rtl::Currency AsCurrency() const { return GetAsCurrency(); }
    void SetAsCurrency(rtl::Currency value) { SetAsCurrencyValue(value); }
    // Null for a null value; any variant converts to the field's kind (Null and Unassigned clear it).
    rtl::Variant Value() const;
    void SetValue(const rtl::Variant& value);
    rtl::Variant AsVariant() const { return Value(); }
    void SetAsVariant(const rtl::Variant& value) { SetValue(value); }

    // The text for editing, through OnGetText when set.
    std::string Text() const;
    // Through OnSetText when set, else AsString.
    void SetText(std::string_view text);
    // The text for showing: Text, except that large objects show "(Memo)" or "(Blob)".
    std::string DisplayText() const;

    // The value of the record as the cursor holds it, before the pending edit.
    rtl::Variant OldValue() const;
    // The value being written (while the dataset is in its new-value state).
    rtl::Variant NewValue() const;
    void SetNewValue(const rtl::Variant& value);

    // Takes the other field's value (a null one clears this field).
    void Assign(const TField& source);
    // Asks the controls bound to the field to take the focus.
    void FocusControl();

    // Hooks for the dataset.
    // Runs OnValidate with the new value (nullptr: null) readable through the field.
    void Validate(const void* buffer);
    // Runs OnChange.
    void Change();
    // Ends what the field keeps open for the pending edit; large-object fields close their value.
    virtual void FreeBuffers() {}
    // The dataset binds the field to its cursor at open (fieldNo and offset) and unbinds it at close.
    void Bind(bool binding, int fieldNo, std::size_t offset);
    // The lookup value for the current record, in the calculation of a lookup field.
    void CalcLookupValue();

protected:
    void SetDataType(TFieldType type) { dataType_ = type; }
    // Rejects sizes the kind does not allow; the default allows only 0.
    virtual void CheckTypeSize(int size) const;
    virtual int DefaultDisplayWidth() const { return 10; }

    virtual std::string GetAsString() const;
    // A text that is not empty (or any text of a text field).
    virtual void SetAsStringValue(std::string_view value);
    // By default through the 64-bit accessors, with the 32-bit range checked.
    virtual std::int32_t GetAsInteger() const;
    virtual void SetAsIntegerValue(std::int32_t value);
    virtual std::int64_t GetAsLargeInt() const;
    virtual void SetAsLargeIntValue(std::int64_t value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatValue(double value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanValue(bool value);
    virtual rtl::TDateTime GetAsDateTime() const;
    virtual void SetAsDateTimeValue(rtl::TDateTime value);
    virtual rtl::Currency GetAsCurrency() const;
    virtual void SetAsCurrencyValue(rtl::Currency value);
    // The value of a non-null field as a variant of the field's kind.
    virtual rtl::Variant GetAsVariant() const;
    // Stores a variant that is neither Null nor Unassigned.
    virtual void SetVarValue(const rtl::Variant& value);
    // The text of Text (displayText false) and DisplayText (true).
    virtual void GetText(std::string& text, bool displayText) const;

    [[noreturn]] void AccessError() const;
    [[noreturn]] void RangeError(std::string_view valueText) const;
    // Fails when the dataset is open: layout properties change only while closed.
    void CheckInactive() const;

private:
    TDataSet* dataSet_ = nullptr;
    std::string fieldName_;
    std::string displayLabel_;
    TFieldKind fieldKind_ = fkData;
    TFieldType dataType_ = ftUnknown;
    int size_ = 0;
    int fieldNo_ = 0;
    std::size_t offset_ = 0;
    bool required_ = false;
    bool readOnly_ = false;
    bool visible_ = true;
    int displayWidth_ = 0;
    TDataSet* lookupDataSet_ = nullptr;
    std::string keyFields_;
    std::string lookupKeyFields_;
    std::string lookupResultField_;
    // While OnValidate runs, reads come from the value being validated.
    bool validating_ = false;
    const void* validateBuffer_ = nullptr;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

    friend class TDataSet;
    friend class TFields;
};

}  // namespace db
