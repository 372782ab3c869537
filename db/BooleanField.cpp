#include "db/BooleanField.h"

#include <cstring>

#include "db/FieldText.h"

namespace db {

TBooleanField::TBooleanField(rtl::TComponent* owner) : TField(owner) {
    SetDataType(ftBoolean);
}

bool TBooleanField::GetValue(bool& value) const {
    std::uint16_t word = 0;
    const bool hasValue = GetData(&word);
    value = hasValue && word != 0;
    return hasValue;
}

std::string TBooleanField::GetAsString() const {
    bool value;
    return GetValue(value) ? BooleanToText(value) : std::string();
}

void TBooleanField::SetAsStringValue(std::string_view value) {
    SetAsBoolean(TextToBoolean(value));
}

bool TBooleanField::GetAsBoolean() const {
    bool value;
    GetValue(value);
    return value;
}

void TBooleanField::SetAsBooleanValue(bool value) {
    const std::uint16_t word = value ? 1 : 0;
    SetData(&word);
}

rtl::Variant TBooleanField::GetAsVariant() const {
    return rtl::Variant(GetAsBoolean());
}

void TBooleanField::SetVarValue(const rtl::Variant& value) {
    if (value.Type() == rtl::VarType::String)
        SetAsString(value.StringValue());
    else
        SetAsBoolean(rtl::VarToBool(value));
}

}  // namespace db
