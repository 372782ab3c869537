#include "db/StringField.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "db/DatabaseError.h"
#include "db/FieldText.h"
#include "db/Messages.h"
#include "rtl/DateTimeFormat.h"
#include "rtl/DateTimeParse.h"
#include "rtl/FloatFormat.h"
#include "rtl/NumberConvert.h"

namespace db {

namespace {

// The framework's limit on the length of a text field; the table engine's texts are far shorter.
constexpr int kMaxStringSize = 8192;

}  // namespace

TStringField::TStringField(rtl::TComponent* owner) : TField(owner) {
    SetDataType(ftString);
    SetSize(20);
}

void TStringField::CheckTypeSize(int size) const {
    if (size < 1 || size > kMaxStringSize) DatabaseError(kInvalidFieldSize);
}

bool TStringField::GetValue(std::string& value) const {
    std::vector<char> buffer(DataSize(), '\0');
    if (!GetData(buffer.data())) {
        value.clear();
        return false;
    }
    // The last byte is the terminator's place, whatever the dataset left there.
    const auto end = std::find(buffer.begin(), buffer.end() - 1, '\0');
    value.assign(buffer.begin(), end);
    return true;
}

std::string TStringField::GetAsString() const {
    std::string value;
    GetValue(value);
    return value;
}

void TStringField::SetAsStringValue(std::string_view value) {
    std::vector<char> buffer(DataSize(), '\0');
    std::memcpy(buffer.data(), value.data(), std::min(value.size(), static_cast<std::size_t>(Size())));
    SetData(buffer.data());
}

std::int64_t TStringField::GetAsLargeInt() const {
    std::string text;
    return GetValue(text) ? rtl::StrToInt64(text) : 0;
}

void TStringField::SetAsLargeIntValue(std::int64_t value) {
    SetAsString(rtl::IntToStr(value));
}

double TStringField::GetAsFloat() const {
    std::string text;
    return GetValue(text) ? rtl::StrToFloat(text) : 0;
}

void TStringField::SetAsFloatValue(double value) {
    SetAsString(rtl::FloatToStr(value));
}

bool TStringField::GetAsBoolean() const {
    std::string text;
    return GetValue(text) && TextToBoolean(text);
}

void TStringField::SetAsBooleanValue(bool value) {
    SetAsString(BooleanToText(value));
}

rtl::TDateTime TStringField::GetAsDateTime() const {
    std::string text;
    return GetValue(text) ? rtl::StrToDateTime(text) : 0;
}

void TStringField::SetAsDateTimeValue(rtl::TDateTime value) {
    SetAsString(rtl::DateTimeToStr(value));
}

rtl::Currency TStringField::GetAsCurrency() const {
    std::string text;
    return GetValue(text) ? rtl::StrToCurr(text) : rtl::Currency();
}

void TStringField::SetAsCurrencyValue(rtl::Currency value) {
    SetAsString(rtl::CurrToStr(value));
}

rtl::Variant TStringField::GetAsVariant() const {
    return rtl::Variant(GetAsString());
}

void TStringField::SetVarValue(const rtl::Variant& value) {
    SetAsString(rtl::VarToStr(value));
}

}  // namespace db
