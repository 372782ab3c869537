#include "db/BCDField.h"

#include <cstring>

#include "db/DatabaseError.h"
#include "db/Messages.h"
#include "rtl/FloatFormat.h"
#include "rtl/NumberConvert.h"

namespace db {

namespace {

// A scale is one decimal digit in the table engine's scaled-integer form.
constexpr int kMaxScale = 9;

}  // namespace

TBCDField::TBCDField(rtl::TComponent* owner) : TField(owner) {
    SetDataType(ftBCD);
    SetSize(4);
}

void TBCDField::CheckTypeSize(int size) const {
    if (size < 0 || size > kMaxScale) DatabaseError(kInvalidFieldSize);
}

bool TBCDField::GetValue(rtl::Currency& value) const {
    std::int64_t raw = 0;
    const bool hasValue = GetData(&raw, false);
    value = rtl::Currency::FromRaw(hasValue ? raw : 0);
    return hasValue;
}

std::string TBCDField::GetAsString() const {
    rtl::Currency value;
    return GetValue(value) ? rtl::CurrToStr(value) : std::string();
}

void TBCDField::SetAsStringValue(std::string_view value) {
    SetAsCurrency(rtl::StrToCurr(value));
}

std::int64_t TBCDField::GetAsLargeInt() const {
    return rtl::VarToInt64(rtl::Variant(GetAsCurrency()));
}

void TBCDField::SetAsLargeIntValue(std::int64_t value) {
    rtl::Currency money;
    try {
        money = rtl::Currency::FromInt64(value);
    } catch (const rtl::EOverflow&) {
        RangeError(rtl::IntToStr(value));
    }
    SetAsCurrency(money);
}

double TBCDField::GetAsFloat() const {
    return GetAsCurrency().ToDouble();
}

void TBCDField::SetAsFloatValue(double value) {
    rtl::Currency money;
    if (!rtl::Currency::TryFromDouble(value, money)) RangeError(rtl::FloatToStr(value));
    SetAsCurrency(money);
}

rtl::Currency TBCDField::GetAsCurrency() const {
    rtl::Currency value;
    GetValue(value);
    return value;
}

void TBCDField::SetAsCurrencyValue(rtl::Currency value) {
    const std::int64_t raw = value.Raw();
    SetData(&raw, false);
}

rtl::Variant TBCDField::GetAsVariant() const {
    return rtl::Variant(GetAsCurrency());
}

void TBCDField::SetVarValue(const rtl::Variant& value) {
    if (value.Type() == rtl::VarType::String) {
        SetAsString(value.StringValue());
        return;
    }
    rtl::Currency money;
    try {
        money = rtl::VarToCurr(value);
    } catch (const rtl::EOverflow&) {
        RangeError(rtl::VarToStr(value));
    }
    SetAsCurrency(money);
}

}  // namespace db
