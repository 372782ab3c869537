#include "rtl/Variant.h"

#include <cmath>
#include <limits>

#include "rtl/BooleanText.h"
#include "rtl/DateTimeFormat.h"
#include "rtl/DateTimeParse.h"
#include "rtl/FloatFormat.h"
#include "rtl/Format.h"
#include "rtl/Messages.h"
#include "rtl/NumberConvert.h"
#include "rtl/Text.h"

namespace rtl {

namespace {

[[noreturn]] void RaiseInvalidConversion() {
    throw EVariantError(std::string(kInvalidVariantConversion));
}

[[noreturn]] void RaiseOverflow(std::string_view valueText, std::string_view target) {
    throw EOverflow(Format(kVariantOverflow, {valueText, target}));
}

// The nearest integer, halves to even; EOverflow outside the 64-bit range (and for NaN or infinities).
std::int64_t RoundFloatToInt64(double value) {
    // 2^63 is exactly representable; every double below it converts without overflow.
    constexpr double kTwoPow63 = 9223372036854775808.0;
    const double rounded = std::nearbyint(value);  // the default rounding mode rounds halves to even
    if (!(rounded >= -kTwoPow63 && rounded < kTwoPow63)) RaiseOverflow(FloatToStr(value), "a 64-bit integer");
    return static_cast<std::int64_t>(rounded);
}

// The whole units of a currency value, halves to even.
std::int64_t RoundCurrencyToInt64(Currency value) {
    const std::int64_t raw = value.Raw();
    std::int64_t units = raw / Currency::kScale;
    const std::int64_t rest = raw % Currency::kScale;  // same sign as raw
    const std::int64_t half = Currency::kScale / 2;
    if (rest > half || (rest == half && units % 2 != 0)) ++units;
    if (rest < -half || (rest == -half && units % 2 != 0)) --units;
    return units;
}

enum class NumberKind { Integer, Currency, Float };

// A numeric variant's value in the widest form that keeps it exact.
struct Number {
    NumberKind Kind = NumberKind::Integer;
    std::int64_t Integer = 0;
    Currency Money;
    double Float = 0;
};

int Sign(__int128 difference) {
    return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

// <0, 0 or >0; unordered (a NaN) raises EVariantError.
int CompareNumbers(const Number& a, const Number& b) {
    if (a.Kind == NumberKind::Integer && b.Kind == NumberKind::Integer)
        return Sign(__int128(a.Integer) - b.Integer);
    if (a.Kind != NumberKind::Float && b.Kind != NumberKind::Float) {
        // Both exact: compare in ten-thousandths, which 128 bits hold for every 64-bit integer.
        const __int128 x =
            a.Kind == NumberKind::Currency ? __int128(a.Money.Raw()) : __int128(a.Integer) * 10000;
        const __int128 y =
            b.Kind == NumberKind::Currency ? __int128(b.Money.Raw()) : __int128(b.Integer) * 10000;
        return Sign(x - y);
    }
    // A float against currency: the float taken to the currency's precision, so that 0.1 equals 0.1.
    if (a.Kind == NumberKind::Currency || b.Kind == NumberKind::Currency) {
        const Number& money = a.Kind == NumberKind::Currency ? a : b;
        const Number& other = a.Kind == NumberKind::Currency ? b : a;
        Currency converted;
        if (Currency::TryFromDouble(other.Float, converted)) {
            const int order = Sign(__int128(money.Money.Raw()) - converted.Raw());
            return a.Kind == NumberKind::Currency ? order : -order;
        }
    }
    const auto wide = [](const Number& n) -> long double {
        switch (n.Kind) {
            case NumberKind::Integer:
                return static_cast<long double>(n.Integer);  // exact: the long double has 64 mantissa bits
            case NumberKind::Currency:
                return n.Money.ToLongDouble();
            case NumberKind::Float:
                return n.Float;
        }
        return 0;
    };
    const long double x = wide(a);
    const long double y = wide(b);
    if (std::isnan(x) || std::isnan(y)) throw EVariantError(std::string(kInvalidVariantOperation));
    return x < y ? -1 : (x > y ? 1 : 0);
}

bool IsNumeric(VarType t) {
    return t == VarType::Boolean || t == VarType::Integer || t == VarType::Int64 || t == VarType::Double ||
           t == VarType::Currency || t == VarType::Date;
}

}  // namespace

Variant Variant::Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
}

Variant Variant::FromDateTime(TDateTime value) {
    Variant v;
    v.value_ = DateTag{value};
    return v;
}

VarType Variant::Type() const noexcept {
    // The alternatives of value_ in the order of VarType.
    return static_cast<VarType>(value_.index());
}

const std::vector<Variant>& Variant::Items() const {
    if (!IsArray()) RaiseInvalidConversion();
    return std::get<std::vector<Variant>>(value_);
}

const Variant& Variant::operator[](std::size_t index) const {
    const auto& items = Items();
    if (index >= items.size())
        throw EListError("Variant array index " + IntToStr(std::int64_t(index)) + " out of bounds");
    return items[index];
}

Variant VarArrayOf(std::vector<Variant> items) {
    return Variant(std::move(items));
}

namespace {

Number ToNumber(const Variant& v) {
    Number n;
    switch (v.Type()) {
        case VarType::Boolean:
            n.Integer = v.BoolValue() ? 1 : 0;
            break;
        case VarType::Integer:
        case VarType::Int64:
            n.Integer = VarToInt64(v);
            break;
        case VarType::Currency:
            n.Kind = NumberKind::Currency;
            n.Money = VarToCurr(v);
            break;
        default:
            n.Kind = NumberKind::Float;
            n.Float = VarToReal(v);
            break;
    }
    return n;
}

// A text read as a number of the kind it is compared with.
Number TextAsNumber(const std::string& text, VarType other) {
    Number n;
    switch (other) {
        case VarType::Boolean:
            n.Integer = VarToBool(Variant(text)) ? 1 : 0;
            return n;
        case VarType::Date:
            n.Kind = NumberKind::Float;
            n.Float = StrToDateTime(text);
            return n;
        case VarType::Currency:
            n.Kind = NumberKind::Currency;
            n.Money = StrToCurr(text);
            return n;
        default:
            if (TryStrToInt64(text, n.Integer)) return n;
            n.Kind = NumberKind::Float;
            n.Float = StrToFloat(text);
            return n;
    }
}

}  // namespace

bool operator==(const Variant& a, const Variant& b) noexcept {
    const VarType ta = a.Type();
    const VarType tb = b.Type();
    if (ta == VarType::Empty || tb == VarType::Empty || ta == VarType::Null || tb == VarType::Null)
        return ta == tb;
    if (ta == VarType::Array || tb == VarType::Array) {
        if (ta != tb) return false;
        const auto& x = a.Items();
        const auto& y = b.Items();
        if (x.size() != y.size()) return false;
        for (std::size_t i = 0; i < x.size(); ++i)
            if (!(x[i] == y[i])) return false;
        return true;
    }
    if (ta == VarType::String && tb == VarType::String) return a.StringValue() == b.StringValue();
    try {
        const Number x = ta == VarType::String ? TextAsNumber(a.StringValue(), tb) : ToNumber(a);
        const Number y = tb == VarType::String ? TextAsNumber(b.StringValue(), ta) : ToNumber(b);
        return CompareNumbers(x, y) == 0;
    } catch (...) {
        return false;  // a text that is no number of the other side's kind, or a NaN
    }
}

std::string VarToStr(const Variant& value) {
    switch (value.Type()) {
        case VarType::Empty:
        case VarType::Null:
            return {};
        case VarType::Boolean:
            return BoolToStr(value.BoolValue());
        case VarType::Integer:
        case VarType::Int64:
            return IntToStr(VarToInt64(value));
        case VarType::Double:
            return FloatToStr(std::get<double>(value.value_));
        case VarType::Currency:
            return CurrToStr(std::get<Currency>(value.value_));
        case VarType::Date:
            return DateTimeToStr(std::get<Variant::DateTag>(value.value_).Value);
        case VarType::String:
            return value.StringValue();
        case VarType::Array:
            break;
    }
    RaiseInvalidConversion();
}

std::int64_t VarToInt64(const Variant& value) {
    switch (value.Type()) {
        case VarType::Empty:
            return 0;
        case VarType::Boolean:
            return value.BoolValue() ? 1 : 0;
        case VarType::Integer:
            return std::get<std::int32_t>(value.value_);
        case VarType::Int64:
            return std::get<std::int64_t>(value.value_);
        case VarType::Double:
            return RoundFloatToInt64(std::get<double>(value.value_));
        case VarType::Date:
            return RoundFloatToInt64(std::get<Variant::DateTag>(value.value_).Value);
        case VarType::Currency:
            return RoundCurrencyToInt64(std::get<Currency>(value.value_));
        case VarType::String: {
            std::int64_t result = 0;
            if (TryStrToInt64(value.StringValue(), result)) return result;
            return RoundFloatToInt64(StrToFloat(value.StringValue()));
        }
        case VarType::Null:
        case VarType::Array:
            break;
    }
    RaiseInvalidConversion();
}

std::int32_t VarToInt(const Variant& value) {
    const std::int64_t wide = VarToInt64(value);
    if (wide < std::numeric_limits<std::int32_t>::min() || wide > std::numeric_limits<std::int32_t>::max())
        RaiseOverflow(IntToStr(wide), "an integer");
    return static_cast<std::int32_t>(wide);
}

double VarToReal(const Variant& value) {
    switch (value.Type()) {
        case VarType::Empty:
            return 0;
        case VarType::Boolean:
            return value.BoolValue() ? 1 : 0;
        case VarType::Integer:
        case VarType::Int64:
            return static_cast<double>(VarToInt64(value));
        case VarType::Double:
            return std::get<double>(value.value_);
        case VarType::Date:
            return std::get<Variant::DateTag>(value.value_).Value;
        case VarType::Currency:
            return std::get<Currency>(value.value_).ToDouble();
        case VarType::String:
            return StrToFloat(value.StringValue());
        case VarType::Null:
        case VarType::Array:
            break;
    }
    RaiseInvalidConversion();
}

Currency VarToCurr(const Variant& value) {
    switch (value.Type()) {
        case VarType::Empty:
            return Currency();
        case VarType::Boolean:
            return Currency::FromInt64(value.BoolValue() ? 1 : 0);
        case VarType::Integer:
        case VarType::Int64:
            return Currency::FromInt64(VarToInt64(value));
        case VarType::Double:
        case VarType::Date:
            return Currency::FromDouble(VarToReal(value));
        case VarType::Currency:
            return std::get<Currency>(value.value_);
        case VarType::String:
            return StrToCurr(value.StringValue());
        case VarType::Null:
        case VarType::Array:
            break;
    }
    RaiseInvalidConversion();
}

TDateTime VarToDateTime(const Variant& value) {
    switch (value.Type()) {
        case VarType::Empty:
            return 0;
        case VarType::Integer:
        case VarType::Int64:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Date:
            return VarToReal(value);
        case VarType::String:
            return StrToDateTime(value.StringValue());
        case VarType::Null:
        case VarType::Boolean:
        case VarType::Array:
            break;
    }
    RaiseInvalidConversion();
}

bool VarToBool(const Variant& value) {
    switch (value.Type()) {
        case VarType::Empty:
            return false;
        case VarType::Boolean:
            return value.BoolValue();
        case VarType::Integer:
        case VarType::Int64:
            return VarToInt64(value) != 0;
        case VarType::Currency:
            return VarToCurr(value).Raw() != 0;
        case VarType::Double:
        case VarType::Date:
            return VarToReal(value) != 0;
        case VarType::String: {
            bool result = false;
            if (TryStrToBool(value.StringValue(), result)) return result;
            double number = 0;
            if (TryStrToFloat(value.StringValue(), number)) return number != 0;
            throw EConvertError(Format(kInvalidBoolean, {value.StringValue()}));
        }
        case VarType::Null:
        case VarType::Array:
            break;
    }
    RaiseInvalidConversion();
}

int VarCompare(const Variant& a, const Variant& b) {
    const VarType ta = a.Type();
    const VarType tb = b.Type();
    const bool orderedA = ta == VarType::String || IsNumeric(ta);
    const bool orderedB = tb == VarType::String || IsNumeric(tb);
    if (!orderedA || !orderedB) throw EVariantError(std::string(kInvalidVariantOperation));
    if (ta == VarType::String && tb == VarType::String) {
        const int order = AnsiCompareStr(a.StringValue(), b.StringValue());
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    const Number x = ta == VarType::String ? TextAsNumber(a.StringValue(), tb) : ToNumber(a);
    const Number y = tb == VarType::String ? TextAsNumber(b.StringValue(), ta) : ToNumber(b);
    return CompareNumbers(x, y);
}

}  // namespace rtl
