#include "db/Field.h"

#include <cstring>
#include <limits>

#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"
#include "rtl/NumberConvert.h"

namespace db {

TField::TField(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TField::~TField() {
    Destroying();
    if (dataSet_ != nullptr) {
        // A dataset cannot keep its cursor bound to a field that is going away.
        if (!dataSet_->IsDestroying()) {
            try {
                dataSet_->Close();
            } catch (...) {
                dataSet_->InternalHandleException(std::current_exception());
            }
        }
        dataSet_->fields_.Remove(this);
        dataSet_ = nullptr;
    }
}

void TField::SetFieldName(std::string name) {
    if (name == fieldName_) return;
    CheckInactive();
    if (dataSet_ != nullptr && !name.empty()) {
        const TField* other = dataSet_->FindField(name);
        if (other != nullptr && other != this) DatabaseErrorFmt(kDuplicateFieldName, {name}, dataSet_);
    }
    fieldName_ = std::move(name);
}

void TField::SetFieldKind(TFieldKind kind) {
    if (kind == fieldKind_) return;
    CheckInactive();
    fieldKind_ = kind;
}

void TField::SetSize(int size) {
    if (size == size_) return;
    CheckInactive();
    CheckTypeSize(size);
    size_ = size;
}

std::size_t TField::DataSize() const {
    return 0;
}

int TField::Index() const {
    return dataSet_ == nullptr ? -1 : dataSet_->fields_.IndexOf(this);
}

void TField::SetIndex(int index) {
    if (dataSet_ == nullptr) return;
    dataSet_->fields_.Move(Index(), index);
    if (dataSet_->Active()) dataSet_->DataEvent(deLayoutChange);
}

void TField::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_ != nullptr) dataSet_->CheckInactive();
    if (dataSet != nullptr) {
        dataSet->CheckInactive();
        dataSet->fields_.Add(this);
    }
    if (dataSet_ != nullptr) dataSet_->fields_.Remove(this);
    dataSet_ = dataSet;
}

bool TField::CanModify() const {
    if (readOnly_ || dataSet_ == nullptr || fieldNo_ <= 0) return false;
    if (dataSet_->State() == dsSetKey) return IsIndexField();
    return dataSet_->CanModify();
}

bool TField::IsIndexField() const {
    return dataSet_ != nullptr && dataSet_->GetIsIndexField(const_cast<TField*>(this));
}

void TField::SetLookupDataSet(TDataSet* dataSet) {
    if (dataSet == lookupDataSet_) return;
    if (lookupDataSet_ != nullptr) RemoveFreeNotification(lookupDataSet_);
    lookupDataSet_ = dataSet;
    if (dataSet != nullptr) FreeNotification(dataSet);
}

void TField::Notification(rtl::TComponent* component, rtl::TOperation operation) {
    rtl::TComponent::Notification(component, operation);
    if (operation == rtl::opRemove && component == lookupDataSet_) lookupDataSet_ = nullptr;
}

bool TField::GetData(void* buffer, bool nativeFormat) const {
    if (dataSet_ == nullptr) DatabaseErrorFmt(kFieldHasNoDataSet, {DisplayName()});
    if (validating_) {
        if (validateBuffer_ == nullptr) return false;
        if (buffer != nullptr) {
            if (nativeFormat)
                std::memcpy(buffer, validateBuffer_, DataSize());
            else
                dataSet_->DataConvert(const_cast<TField*>(this), validateBuffer_, buffer, false);
        }
        return true;
    }
    return dataSet_->GetFieldData(const_cast<TField*>(this), buffer, nativeFormat);
}

void TField::SetData(const void* buffer, bool nativeFormat) {
    if (dataSet_ == nullptr) DatabaseErrorFmt(kFieldHasNoDataSet, {DisplayName()});
    dataSet_->SetFieldData(this, buffer, nativeFormat);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

void TField::Clear() {
    SetData(nullptr);
}

rtl::Variant TField::Value() const {
    if (IsNull()) return rtl::Variant::Null();
    return GetAsVariant();
}

void TField::SetValue(const rtl::Variant& value) {
    if (value.IsNull() || value.IsEmpty()) {
        Clear();
        return;
    }
    try {
        SetVarValue(value);
    } catch (const rtl::EVariantError&) {
        AccessError();
    }
}

std::string TField::Text() const {
    std::string text;
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, false);
    else
        GetText(text, false);
    return text;
}

void TField::SetAsString(std::string_view value) {
    if (value.empty() && dataType_ != ftString)
        Clear();
    else
        SetAsStringValue(value);
}

void TField::SetText(std::string_view text) {
    if (OnSetText)
        OnSetText(*this, text);
    else
        SetAsString(text);
}

std::string TField::DisplayText() const {
    std::string text;
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, true);
    else
        GetText(text, true);
    return text;
}

void TField::GetText(std::string& text, bool) const {
    text = GetAsString();
}

rtl::Variant TField::OldValue() const {
    if (dataSet_ == nullptr) DatabaseErrorFmt(kFieldHasNoDataSet, {DisplayName()});
    return dataSet_->GetStateFieldValue(dsOldValue, const_cast<TField*>(this));
}

rtl::Variant TField::NewValue() const {
    if (dataSet_ == nullptr) DatabaseErrorFmt(kFieldHasNoDataSet, {DisplayName()});
    return dataSet_->GetStateFieldValue(dsNewValue, const_cast<TField*>(this));
}

void TField::SetNewValue(const rtl::Variant& value) {
    if (dataSet_ == nullptr) DatabaseErrorFmt(kFieldHasNoDataSet, {DisplayName()});
    dataSet_->SetStateFieldValue(dsNewValue, this, value);
}

void TField::Assign(const TField& source) {
    if (source.IsNull())
        Clear();
    else
        SetValue(source.Value());
}

void TField::FocusControl() {
    if (dataSet_ == nullptr || !dataSet_->Active()) return;
    TField* field = this;
    dataSet_->DataEvent(deFocusControl, {.FocusField = &field});
}

void TField::Validate(const void* buffer) {
    if (!OnValidate) return;
    struct Reset {
        TField& f;
        ~Reset() {
            f.validating_ = false;
            f.validateBuffer_ = nullptr;
        }
    } reset{*this};
    validating_ = true;
    validateBuffer_ = buffer;
    OnValidate(*this);
}

void TField::Change() {
    if (OnChange) OnChange(*this);
}

void TField::Bind(bool binding, int fieldNo, std::size_t offset) {
    fieldNo_ = binding ? fieldNo : 0;
    offset_ = binding ? offset : 0;
}

void TField::CalcLookupValue() {
    if (lookupDataSet_ == nullptr || !lookupDataSet_->Active() || dataSet_ == nullptr) return;
    SetValue(lookupDataSet_->Lookup(lookupKeyFields_, dataSet_->FieldValues(keyFields_), lookupResultField_));
}

void TField::CheckTypeSize(int size) const {
    if (size != 0) DatabaseError(kInvalidFieldSize);
}

void TField::AccessError() const {
    DatabaseErrorFmt(kFieldAccessError, {DisplayName()});
}

void TField::RangeError(std::string_view valueText) const {
    DatabaseErrorFmt(kFieldRangeError, {valueText, DisplayName()});
}

void TField::CheckInactive() const {
    if (dataSet_ != nullptr && dataSet_->Active()) DatabaseError(kDataSetOpen, dataSet_);
}

std::string TField::GetAsString() const {
    AccessError();
}
void TField::SetAsStringValue(std::string_view) {
    AccessError();
}
std::int32_t TField::GetAsInteger() const {
    const std::int64_t value = GetAsLargeInt();
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        RangeError(rtl::IntToStr(value));
    return static_cast<std::int32_t>(value);
}
void TField::SetAsIntegerValue(std::int32_t value) {
    SetAsLargeInt(value);
}
std::int64_t TField::GetAsLargeInt() const {
    AccessError();
}
void TField::SetAsLargeIntValue(std::int64_t) {
    AccessError();
}
double TField::GetAsFloat() const {
    AccessError();
}
void TField::SetAsFloatValue(double) {
    AccessError();
}
bool TField::GetAsBoolean() const {
    AccessError();
}
void TField::SetAsBooleanValue(bool) {
    AccessError();
}
rtl::TDateTime TField::GetAsDateTime() const {
    AccessError();
}
void TField::SetAsDateTimeValue(rtl::TDateTime) {
    AccessError();
}
rtl::Currency TField::GetAsCurrency() const {
    AccessError();
}
void TField::SetAsCurrencyValue(rtl::Currency) {
    AccessError();
}
rtl::Variant TField::GetAsVariant() const {
    AccessError();
}
void TField::SetVarValue(const rtl::Variant&) {
    AccessError();
}

}  // namespace db
