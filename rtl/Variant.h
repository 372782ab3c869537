// Variant: one value of any of the runtime's kinds, or none, converted to the kind a caller asks for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

namespace rtl {

// A conversion or comparison that the variant's kind does not allow (an array to a number, Null to a
// number). Text that does not parse raises the text conversions' own EConvertError instead.
class EVariantError : public EConvertError {
public:
    using EConvertError::EConvertError;
};

enum class VarType : std::uint8_t {
    Empty,
    Null,
    Boolean,
    Integer,
    Int64,
    Double,
    Currency,
    Date,
    String,
    Array
};

class Variant {
public:
    // Unassigned: no value given at all (it converts to 0, "" and false).
    Variant() = default;
    static Variant Null();
    static Variant FromDateTime(TDateTime value);

    Variant(bool value) : value_(value) {}
    Variant(std::int32_t value) : value_(value) {}
    Variant(std::int64_t value) : value_(value) {}
    Variant(long long value) : value_(static_cast<std::int64_t>(value)) {}
    Variant(double value) : value_(value) {}
    Variant(Currency value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(std::string_view value) : value_(std::string(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    Variant(std::vector<Variant> items) : value_(std::move(items)) {}

    VarType Type() const noexcept;
    bool IsEmpty() const noexcept { return Type() == VarType::Empty; }
    bool IsNull() const noexcept { return Type() == VarType::Null; }
    bool IsArray() const noexcept { return Type() == VarType::Array; }

    // The items of an array; EVariantError for any other kind.
    const std::vector<Variant>& Items() const;
    std::size_t ArrayLength() const { return Items().size(); }
    const Variant& operator[](std::size_t index) const;

    // The stored value of its own kind; callers check Type() first.
    bool BoolValue() const { return std::get<bool>(value_); }
    const std::string& StringValue() const { return std::get<std::string>(value_); }

    // Same kind and value, or numbers of equal value, or a text that converts to the other side's number,
    // date or truth value. Null equals only Null and Unassigned only Unassigned; nothing raises.
    friend bool operator==(const Variant& a, const Variant& b) noexcept;

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct DateTag {
        TDateTime Value;
    };
    friend std::string VarToStr(const Variant& value);
    friend std::int64_t VarToInt64(const Variant& value);
    friend double VarToReal(const Variant& value);
    friend Currency VarToCurr(const Variant& value);
    friend TDateTime VarToDateTime(const Variant& value);
    friend bool VarToBool(const Variant& value);
    friend int VarCompare(const Variant& a, const Variant& b);

    std::variant<std::monostate, NullTag, bool, std::int32_t, std::int64_t, double, Currency, DateTag,
                 std::string, std::vector<Variant>>
        value_;
};

inline Variant Unassigned() {
    return Variant();
}
Variant VarArrayOf(std::vector<Variant> items);

inline bool VarIsNull(const Variant& v) noexcept {
    return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) noexcept {
    return v.IsEmpty();
}
inline bool VarIsArray(const Variant& v) noexcept {
    return v.IsArray();
}

// Conversions. Unassigned gives 0, "" or false; Null gives "" as text and raises EVariantError for every
// other kind, as does an array. Text is read with the current format settings (StrToFloat, StrToCurr,
// StrToDateTime, "True"/"False"); numbers are written in the general 15-digit form, dates with
// DateTimeToStr. Floats and currency round half to even into integers; a value outside the target's range
// raises EOverflow.
std::string VarToStr(const Variant& value);
std::int32_t VarToInt(const Variant& value);
std::int64_t VarToInt64(const Variant& value);
double VarToReal(const Variant& value);
Currency VarToCurr(const Variant& value);
TDateTime VarToDateTime(const Variant& value);
bool VarToBool(const Variant& value);

// Order: <0, 0 or >0. Numbers (truth values as 0 and 1, dates as their day count) compare by value, texts
// byte by byte, a text with a number by the text's number. Null, Unassigned and arrays have no order:
// EVariantError; a text that is not a number, compared with a number, raises EConvertError.
int VarCompare(const Variant& a, const Variant& b);
inline bool operator<(const Variant& a, const Variant& b) {
    return VarCompare(a, b) < 0;
}
inline bool operator>(const Variant& a, const Variant& b) {
    return VarCompare(a, b) > 0;
}
inline bool operator<=(const Variant& a, const Variant& b) {
    return VarCompare(a, b) <= 0;
}
inline bool operator>=(const Variant& a, const Variant& b) {
    return VarCompare(a, b) >= 0;
}

}  // namespace rtl
