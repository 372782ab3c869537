#include "db/DateTimeField.h"

#include <cstdint>
#include <cstring>

#include "rtl/DateTimeFormat.h"
#include "rtl/DateTimeParse.h"

namespace db {

TDateTimeField::TDateTimeField(rtl::TComponent* owner) : TDateTimeField(owner, ftDateTime) {}

TDateTimeField::TDateTimeField(rtl::TComponent* owner, TFieldType type) : TField(owner) {
    SetDataType(type);
}

TDateField::TDateField(rtl::TComponent* owner) : TDateTimeField(owner, ftDate) {}

TTimeField::TTimeField(rtl::TComponent* owner) : TDateTimeField(owner, ftTime) {}

std::size_t TDateTimeField::DataSize() const {
    return DataType() == ftDateTime ? sizeof(double) : sizeof(std::int32_t);
}

bool TDateTimeField::GetValue(rtl::TDateTime& value) const {
    value = 0;
    unsigned char bytes[8] = {};
    if (!GetData(bytes)) return false;
    switch (DataType()) {
        case ftDate: {
            std::int32_t day;
            std::memcpy(&day, bytes, sizeof day);
            value = rtl::TimeStampToDateTime({0, day});
            break;
        }
        case ftTime: {
            std::int32_t msecs;
            std::memcpy(&msecs, bytes, sizeof msecs);
            value = rtl::TimeStampToDateTime({msecs, rtl::DateDelta});
            break;
        }
        default: {
            double msecs;
            std::memcpy(&msecs, bytes, sizeof msecs);
            value = rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(msecs));
            break;
        }
    }
    return true;
}

std::string TDateTimeField::GetAsString() const {
    rtl::TDateTime value;
    if (!GetValue(value)) return {};
    switch (DataType()) {
        case ftDate:
            return rtl::DateToStr(value);
        case ftTime:
            return rtl::TimeToStr(value);
        default:
            return rtl::DateTimeToStr(value);
    }
}

void TDateTimeField::SetAsStringValue(std::string_view value) {
    switch (DataType()) {
        case ftDate:
            SetAsDateTime(rtl::StrToDate(value));
            break;
        case ftTime:
            SetAsDateTime(rtl::StrToTime(value));
            break;
        default:
            SetAsDateTime(rtl::StrToDateTime(value));
            break;
    }
}

double TDateTimeField::GetAsFloat() const {
    return GetAsDateTime();
}

void TDateTimeField::SetAsFloatValue(double value) {
    SetAsDateTime(value);
}

rtl::TDateTime TDateTimeField::GetAsDateTime() const {
    rtl::TDateTime value;
    GetValue(value);
    return value;
}

void TDateTimeField::SetAsDateTimeValue(rtl::TDateTime value) {
    const rtl::TimeStamp stamp = rtl::DateTimeToTimeStamp(value);
    unsigned char bytes[8] = {};
    switch (DataType()) {
        case ftDate:
            std::memcpy(bytes, &stamp.Date, sizeof stamp.Date);
            break;
        case ftTime:
            std::memcpy(bytes, &stamp.Time, sizeof stamp.Time);
            break;
        default: {
            const double msecs = rtl::TimeStampToMSecs(stamp);
            std::memcpy(bytes, &msecs, sizeof msecs);
            break;
        }
    }
    SetData(bytes);
}

rtl::Variant TDateTimeField::GetAsVariant() const {
    return rtl::Variant::FromDateTime(GetAsDateTime());
}

void TDateTimeField::SetVarValue(const rtl::Variant& value) {
    if (value.Type() == rtl::VarType::String)
        SetAsString(value.StringValue());
    else
        SetAsDateTime(rtl::VarToDateTime(value));
}

}  // namespace db
