#include "db/FloatField.h"

#include <cmath>
#include <cstring>

#include "rtl/FloatFormat.h"
#include "rtl/NumberConvert.h"

namespace db {

TFloatField::TFloatField(rtl::TComponent* owner) : TFloatField(owner, ftFloat) {}

TFloatField::TFloatField(rtl::TComponent* owner, TFieldType type) : TField(owner) {
    SetDataType(type);
}

TCurrencyField::TCurrencyField(rtl::TComponent* owner) : TFloatField(owner, ftCurrency) {}

bool TFloatField::GetValue(double& value) const {
    value = 0;
    unsigned char bytes[sizeof(double)] = {};
    if (!GetData(bytes)) return false;
    std::memcpy(&value, bytes, sizeof value);
    return true;
}

std::string TFloatField::GetAsString() const {
    double value;
    return GetValue(value) ? rtl::FloatToStr(value) : std::string();
}

void TFloatField::SetAsStringValue(std::string_view value) {
    SetAsFloat(rtl::StrToFloat(value));
}

std::int64_t TFloatField::GetAsLargeInt() const {
    double value;
    if (!GetValue(value)) return 0;
    try {
        return rtl::VarToInt64(rtl::Variant(value));
    } catch (const rtl::EOverflow&) {
        RangeError(rtl::FloatToStr(value));
    }
}

void TFloatField::SetAsLargeIntValue(std::int64_t value) {
    SetAsFloat(static_cast<double>(value));
}

double TFloatField::GetAsFloat() const {
    double value;
    GetValue(value);
    return value;
}

void TFloatField::SetAsFloatValue(double value) {
    if (!std::isfinite(value)) RangeError(rtl::FloatToStr(value));
    SetData(&value);
}

rtl::Currency TFloatField::GetAsCurrency() const {
    double value;
    if (!GetValue(value)) return {};
    rtl::Currency result;
    if (!rtl::Currency::TryFromDouble(value, result)) RangeError(rtl::FloatToStr(value));
    return result;
}

void TFloatField::SetAsCurrencyValue(rtl::Currency value) {
    SetAsFloat(value.ToDouble());
}

rtl::Variant TFloatField::GetAsVariant() const {
    return rtl::Variant(GetAsFloat());
}

void TFloatField::SetVarValue(const rtl::Variant& value) {
    if (value.Type() == rtl::VarType::String)
        SetAsString(value.StringValue());
    else
        SetAsFloat(rtl::VarToReal(value));
}

}  // namespace db
