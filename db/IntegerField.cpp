#include "db/IntegerField.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "rtl/FloatFormat.h"
#include "rtl/NumberConvert.h"

namespace db {

TIntegerField::TIntegerField(rtl::TComponent* owner)
    : TIntegerField(owner, ftInteger, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max()) {}

TIntegerField::TIntegerField(rtl::TComponent* owner, TFieldType type, std::int64_t minValue,
                             std::int64_t maxValue)
    : TField(owner), minValue_(minValue), maxValue_(maxValue) {
    SetDataType(type);
}

TSmallintField::TSmallintField(rtl::TComponent* owner)
    : TIntegerField(owner, ftSmallint, std::numeric_limits<std::int16_t>::min(),
                    std::numeric_limits<std::int16_t>::max()) {}

TWordField::TWordField(rtl::TComponent* owner)
    : TIntegerField(owner, ftWord, 0, std::numeric_limits<std::uint16_t>::max()) {}

TAutoIncField::TAutoIncField(rtl::TComponent* owner)
    : TIntegerField(owner, ftAutoInc, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max()) {}

TLargeintField::TLargeintField(rtl::TComponent* owner)
    : TIntegerField(owner, ftLargeint, std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::int64_t>::max()) {}

std::size_t TIntegerField::DataSize() const {
    switch (DataType()) {
        case ftSmallint:
        case ftWord:
            return 2;
        case ftLargeint:
            return 8;
        default:
            return 4;
    }
}

bool TIntegerField::GetValue(std::int64_t& value) const {
    unsigned char bytes[8] = {};
    value = 0;
    if (!GetData(bytes)) return false;
    switch (DataType()) {
        case ftSmallint: {
            std::int16_t v;
            std::memcpy(&v, bytes, sizeof v);
            value = v;
            break;
        }
        case ftWord: {
            std::uint16_t v;
            std::memcpy(&v, bytes, sizeof v);
            value = v;
            break;
        }
        case ftLargeint:
            std::memcpy(&value, bytes, sizeof value);
            break;
        default: {
            std::int32_t v;
            std::memcpy(&v, bytes, sizeof v);
            value = v;
            break;
        }
    }
    return true;
}

std::string TIntegerField::GetAsString() const {
    std::int64_t value;
    return GetValue(value) ? rtl::IntToStr(value) : std::string();
}

void TIntegerField::SetAsStringValue(std::string_view value) {
    SetAsLargeInt(rtl::StrToInt64(value));
}

std::int64_t TIntegerField::GetAsLargeInt() const {
    std::int64_t value;
    GetValue(value);
    return value;
}

void TIntegerField::SetAsLargeIntValue(std::int64_t value) {
    if (value < minValue_ || value > maxValue_) RangeError(rtl::IntToStr(value));
    unsigned char bytes[8] = {};
    switch (DataType()) {
        case ftSmallint: {
            const auto v = static_cast<std::int16_t>(value);
            std::memcpy(bytes, &v, sizeof v);
            break;
        }
        case ftWord: {
            const auto v = static_cast<std::uint16_t>(value);
            std::memcpy(bytes, &v, sizeof v);
            break;
        }
        case ftLargeint:
            std::memcpy(bytes, &value, sizeof value);
            break;
        default: {
            const auto v = static_cast<std::int32_t>(value);
            std::memcpy(bytes, &v, sizeof v);
            break;
        }
    }
    SetData(bytes);
}

double TIntegerField::GetAsFloat() const {
    return static_cast<double>(GetAsLargeInt());
}

void TIntegerField::SetAsFloatValue(double value) {
    // 2^63 is exactly representable; every double below it converts without overflow.
    constexpr double kTwoPow63 = 9223372036854775808.0;
    const double rounded = std::nearbyint(value);  // the default rounding mode rounds halves to even
    if (!(rounded >= -kTwoPow63 && rounded < kTwoPow63)) RangeError(rtl::FloatToStr(value));
    SetAsLargeInt(static_cast<std::int64_t>(rounded));
}

rtl::Currency TIntegerField::GetAsCurrency() const {
    std::int64_t value;
    if (!GetValue(value)) return {};
    return rtl::Currency::FromInt64(value);
}

void TIntegerField::SetAsCurrencyValue(rtl::Currency value) {
    SetAsLargeInt(rtl::VarToInt64(rtl::Variant(value)));
}

rtl::Variant TIntegerField::GetAsVariant() const {
    const std::int64_t value = GetAsLargeInt();
    if (DataType() == ftLargeint) return rtl::Variant(value);
    return rtl::Variant(static_cast<std::int32_t>(value));
}

void TIntegerField::SetVarValue(const rtl::Variant& value) {
    switch (value.Type()) {
        case rtl::VarType::Double:
        case rtl::VarType::Date:
            SetAsFloat(rtl::VarToReal(value));
            break;
        case rtl::VarType::String:
            SetAsString(value.StringValue());
            break;
        default:
            SetAsLargeInt(rtl::VarToInt64(value));
            break;
    }
}

}  // namespace db
