#include "engine/values/FieldConversion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "engine/base/EngineTexts.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/DateTime.h"
#include "rtl/DateTimeFormat.h"
#include "rtl/DateTimeParse.h"
#include "rtl/Exceptions.h"
#include "rtl/FloatFormat.h"
#include "rtl/NumberConvert.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// Stored values are little-endian in record images, whatever the machine.
template <class Unsigned>
Unsigned LoadLE(const std::uint8_t* p) noexcept {
    Unsigned value = 0;
    for (std::size_t i = sizeof(Unsigned); i-- > 0;) value = static_cast<Unsigned>((value << 8) | p[i]);
    return value;
}

template <class Unsigned>
void StoreLE(Unsigned value, std::uint8_t* p) noexcept {
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
        p[i] = static_cast<std::uint8_t>(value & 0xFF);
        value = static_cast<Unsigned>(value >> 8);
    }
}

std::int16_t LoadInt16(const std::uint8_t* p) noexcept {
    return static_cast<std::int16_t>(LoadLE<std::uint16_t>(p));
}
std::int32_t LoadInt32(const std::uint8_t* p) noexcept {
    return static_cast<std::int32_t>(LoadLE<std::uint32_t>(p));
}
std::int64_t LoadInt64(const std::uint8_t* p) noexcept {
    return static_cast<std::int64_t>(LoadLE<std::uint64_t>(p));
}
double LoadDouble(const std::uint8_t* p) noexcept {
    return std::bit_cast<double>(LoadLE<std::uint64_t>(p));
}
void StoreInt16(std::int32_t value, std::uint8_t* p) noexcept {
    StoreLE(static_cast<std::uint16_t>(value), p);
}
void StoreInt32(std::int32_t value, std::uint8_t* p) noexcept {
    StoreLE(static_cast<std::uint32_t>(value), p);
}
void StoreInt64(std::int64_t value, std::uint8_t* p) noexcept {
    StoreLE(static_cast<std::uint64_t>(value), p);
}
void StoreDouble(double value, std::uint8_t* p) noexcept {
    StoreLE(std::bit_cast<std::uint64_t>(value), p);
}

// The words that stand for the clock's date, time and moment in the texts of date and time fields, in any
// letter case.
constexpr std::string_view kDateWord = "DATE";
constexpr std::string_view kTimeWord = "TIME";
constexpr std::string_view kNowWord = "NOW";

// The moment 0.0 of the runtime's date-time, 30 December 1899 00:00, in the three stored forms.
constexpr std::int32_t kZeroMomentDay = rtl::DateDelta;
constexpr std::int32_t kZeroMomentTime = 0;
constexpr double kZeroMomentMSecs = static_cast<double>(rtl::DateDelta) * rtl::MSecsPerDay;

// The text that ends at the first zero of the bytes, or at their end.
std::string_view TextIn(const std::uint8_t* bytes, std::size_t size) noexcept {
    const auto* const chars = reinterpret_cast<const char*>(bytes);
    const auto* const zero = static_cast<const char*>(std::memchr(chars, 0, size));
    return {chars, zero != nullptr ? static_cast<std::size_t>(zero - chars) : size};
}

bool IsDateType(std::uint8_t type) noexcept {
    return type == FieldTypeDate || type == FieldTypeTime || type == FieldTypeDateTime;
}

// Stores the zero value of a date, time or date-time target: the moment 0.0.
void StoreZeroMoment(std::uint8_t type, std::uint8_t* out) noexcept {
    if (type == FieldTypeDate) StoreInt32(kZeroMomentDay, out);
    if (type == FieldTypeTime) StoreInt32(kZeroMomentTime, out);
    if (type == FieldTypeDateTime) StoreDouble(kZeroMomentMSecs, out);
}

// Stores a date-time in the form of a date, time or date-time field. Raises rtl::EConvertError outside the
// years 1 to 9999.
void StoreMoment(rtl::TDateTime value, std::uint8_t type, std::uint8_t* out) {
    const rtl::TimeStamp stamp = rtl::DateTimeToTimeStamp(value);
    if (type == FieldTypeDate) StoreInt32(stamp.Date, out);
    if (type == FieldTypeTime) StoreInt32(stamp.Time, out);
    if (type == FieldTypeDateTime) StoreDouble(rtl::TimeStampToMSecs(stamp), out);
}

// Reads a date, time or date-time text into its stored form; the moment 0.0 and false when it does not read.
bool StoreMomentText(std::string_view text, std::uint8_t type, std::uint8_t* out) {
    rtl::TDateTime value = 0;
    const bool read = type == FieldTypeDate   ? rtl::TryStrToDate(text, value)
                      : type == FieldTypeTime ? rtl::TryStrToTime(text, value)
                                              : rtl::TryStrToDateTime(text, value);
    if (read) {
        try {
            StoreMoment(value, type, out);
            return true;
        } catch (const rtl::EConvertError&) {
        }
    }
    StoreZeroMoment(type, out);
    return false;
}

bool InRange(std::int64_t value, std::uint8_t integerType) noexcept {
    switch (integerType) {
        case FieldTypeSmallInt:
            return value >= INT16_MIN && value <= INT16_MAX;
        case FieldTypeWord:
            return value >= 0 && value <= UINT16_MAX;
        case FieldTypeInteger:
            return value >= INT32_MIN && value <= INT32_MAX;
        default:
            return false;
    }
}

// Stores an integer in a 16-bit, 32-bit or unsigned 16-bit target; false (nothing stored) outside its range.
bool StoreInteger(std::int64_t value, std::uint8_t type, std::uint8_t* out) noexcept {
    if (!InRange(value, type)) return false;
    if (type == FieldTypeInteger) {
        StoreInt32(static_cast<std::int32_t>(value), out);
    } else {
        StoreInt16(static_cast<std::int32_t>(value), out);
    }
    return true;
}

// The double rounded to the nearest integer, halves to even; nothing when it is not finite or lies beyond
// 64 bits.
std::optional<std::int64_t> RoundHalfEven(double value) noexcept {
    if (!std::isfinite(value) || std::fabs(value) >= 0x1p62) return std::nullopt;
    double whole = std::floor(value);
    const double fraction = value - whole;  // exact below 2^62
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return static_cast<std::int64_t>(whole);
}

// The scaled integer's value rounded to the nearest integer, halves to even, exactly.
std::int64_t ScaledIntRoundHalfEven(std::int64_t scaled) noexcept {
    const std::uint64_t magnitude =
        scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::uint64_t digits = magnitude / 10;
    std::uint64_t unit = 1;
    for (std::uint64_t scale = magnitude % 10; scale > 0; --scale) unit *= 10;
    std::uint64_t whole = digits / unit;
    const std::uint64_t twice = (digits % unit) * 2;
    if (twice > unit || (twice == unit && (whole & 1) != 0)) ++whole;
    // whole < 2^63 / 10, so the negation is safe
    return scaled < 0 ? -static_cast<std::int64_t>(whole) : static_cast<std::int64_t>(whole);
}

// A string target: at most size - 1 characters and a zero; the rest of the buffer is already zero.
void StoreString(std::string_view text, std::size_t targetSize, std::uint8_t* out) noexcept {
    if (targetSize == 0) return;
    const std::size_t length = std::min(text.size(), targetSize - 1);
    std::memcpy(out, text.data(), length);
    out[length] = 0;
}

// How each pair of types converts, by source type (rows) and target type (columns 0 .. 15):
//   '=' same type;  '-' no conversion;  'R' raw bytes;
//   string source: 'A' text, 'T' date/time text, 'B' boolean text, 'I' integer text, 'F' float text,
//                  'C' currency text to BCD;
//   date and time sources: 'D' to text, 'M' to date-time milliseconds, 'Q' date-time to day or time;
//   boolean source: 'X' to "True"/"False", 'K' to 1 or 0, 'L' to BCD 1 or 0;
//   integer sources: 'N' to text, 'S' sign-extended, 'U' zero-extended, 'W' to a 16-bit type when in its
//   range,
//                    'Z' to a boolean,
//                    'V' to float, 'Y' to BCD;
//   float source: 'G' to text, 'O' rounded to an integer, 'E' to BCD through currency;
//   BCD source: 'H' to text, 'O' rounded to an integer, 'P' to float.
// Large objects, bytes and the types 13 to 15 copy raw bytes to every other type.
constexpr std::array<std::string_view, 16> kConversions = {
    "=---------------",  // 0 no type
    "-=T-BIIFCRTTI---",  // 1 string
    "-D=------R-M----",  // 2 date
    "RRR=RRRRRRRRRRRR",  // 3 large object
    "-X--=KK-LR--K---",  // 4 boolean
    "-N--Z=SVYR--W---",  // 5 smallint
    "-N---W=VYR--W---",  // 6 integer
    "-G---OO=ER--O---",  // 7 float
    "-H---OOP=R--O---",  // 8 BCD
    "RRRRRRRRR=RRRRRR",  // 9 bytes
    "-D-------R=M----",  // 10 time
    "-DQ------RQ=----",  // 11 date-time
    "-N--ZWUVYR--=---",  // 12 word
    "RRRRRRRRRRRRR=RR",  // 13 unsigned 32-bit
    "RRRRRRRRRRRRRR=R",  // 14 10-byte float
    "RRRRRRRRRRRRRRR=",  // 15 variable bytes
};

char ConversionCode(std::uint8_t source, std::uint8_t target) noexcept {
    if (source == target) return '=';
    if (source >= kConversions.size() || target >= kConversions.size()) return '-';
    return kConversions[source][target];
}

// The source value read as an integer (boolean, smallint, integer, word).
std::int64_t LoadIntegerValue(std::uint8_t type, const std::uint8_t* in) noexcept {
    switch (type) {
        case FieldTypeSmallInt:
            return LoadInt16(in);
        case FieldTypeInteger:
            return LoadInt32(in);
        default:  // boolean and word
            return LoadLE<std::uint16_t>(in);
    }
}

// Converts a typed value (everything but same-type copies and raw copies) from `in` into the zeroed `out`.
// False when it does not convert, and the caller stores the target's zero value. May raise rtl::Exception.
bool ConvertTyped(char code, std::uint8_t sourceType, std::size_t sourceSize, std::uint8_t targetType,
                  std::size_t targetSize, int targetScale, const std::uint8_t* in, std::uint8_t* out) {
    const std::string_view text = sourceType == FieldTypeString ? TextIn(in, sourceSize) : std::string_view();
    const auto storeScaled = [&](std::optional<std::int64_t> scaled) {
        if (scaled) StoreInt64(*scaled, out);
        return scaled.has_value();
    };
    switch (code) {
        case 'T':
            return StoreMomentText(text, targetType, out);
        case 'B': {
            bool value = false;
            if (!TryTextToBoolean(text, value)) return false;
            StoreInt16(value ? 1 : 0, out);
            return true;
        }
        case 'I': {
            std::int32_t value = 0;
            return rtl::TryStrToInt(text, value) && StoreInteger(value, targetType, out);
        }
        case 'F': {
            double value = 0;
            if (!rtl::TryStrToFloat(text, value)) return false;
            StoreDouble(value, out);
            return true;
        }
        case 'C': {
            rtl::Currency value;
            return rtl::TryStrToCurr(text, value) && storeScaled(CurrToScaledInt(targetScale, value));
        }
        case 'D': {
            rtl::TDateTime moment = 0;
            std::string written;
            if (sourceType == FieldTypeDate) {
                moment = rtl::TimeStampToDateTime({0, LoadInt32(in)});
                written = rtl::DateToStr(moment);
            } else if (sourceType == FieldTypeTime) {
                moment = rtl::TimeStampToDateTime({LoadInt32(in), rtl::DateDelta});
                written = rtl::TimeToStr(moment);
            } else {
                moment = rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(LoadDouble(in)));
                written = rtl::DateTimeToStr(moment);
            }
            StoreString(written, targetSize, out);
            return true;
        }
        case 'M': {
            const double msecs = sourceType == FieldTypeDate
                                     ? static_cast<double>(LoadInt32(in)) * rtl::MSecsPerDay
                                     : kZeroMomentMSecs + LoadInt32(in);
            StoreDouble(msecs, out);
            return true;
        }
        case 'Q': {
            const rtl::TimeStamp stamp = rtl::MSecsToTimeStamp(LoadDouble(in));
            StoreInt32(targetType == FieldTypeDate ? stamp.Date : stamp.Time, out);
            return true;
        }
        case 'X':
            StoreString(LoadIntegerValue(sourceType, in) != 0 ? texts::TrueText : texts::FalseText,
                        targetSize, out);
            return true;
        case 'K':
            return StoreInteger(LoadIntegerValue(sourceType, in) != 0 ? 1 : 0, targetType, out);
        case 'L':
            return storeScaled(CurrToScaledInt(
                targetScale, rtl::Currency::FromInt64(LoadIntegerValue(sourceType, in) != 0 ? 1 : 0)));
        case 'N':
            StoreString(rtl::IntToStr(LoadIntegerValue(sourceType, in)), targetSize, out);
            return true;
        case 'S':
        case 'U':
        case 'W':
            return StoreInteger(LoadIntegerValue(sourceType, in), targetType, out);
        case 'Z':
            StoreLE(ClampToOne(LoadLE<std::uint16_t>(in)), out);
            return true;
        case 'V':
            StoreDouble(static_cast<double>(LoadIntegerValue(sourceType, in)), out);
            return true;
        case 'Y':
            return storeScaled(
                CurrToScaledInt(targetScale, rtl::Currency::FromInt64(LoadIntegerValue(sourceType, in))));
        case 'E': {
            rtl::Currency value;
            return rtl::Currency::TryFromDouble(LoadDouble(in), value) &&
                   storeScaled(CurrToScaledInt(targetScale, value));
        }
        case 'G':
            StoreString(rtl::FloatToStr(LoadDouble(in)), targetSize, out);
            return true;
        case 'O': {
            const std::optional<std::int64_t> whole = sourceType == FieldTypeFloat
                                                          ? RoundHalfEven(LoadDouble(in))
                                                          : ScaledIntRoundHalfEven(LoadInt64(in));
            return whole && StoreInteger(*whole, targetType, out);
        }
        case 'H':
            StoreString(ScaledIntToStr(LoadInt64(in)), targetSize, out);
            return true;
        case 'P':
            StoreDouble(ScaledIntToFloat(LoadInt64(in)), out);
            return true;
        default:
            return false;
    }
}

}  // namespace

bool IsValidWordText(std::string_view text) {
    std::int32_t value = 0;
    return rtl::TryStrToInt(text, value) && value >= 0 && value <= UINT16_MAX;
}

bool IsValidSmallIntText(std::string_view text) {
    std::int32_t value = 0;
    return rtl::TryStrToInt(text, value) && value >= INT16_MIN && value <= INT16_MAX;
}

bool IsValidIntegerText(std::string_view text) {
    std::int32_t value = 0;
    return rtl::TryStrToInt(text, value);
}

bool IsValidBooleanText(std::string_view text) {
    bool value = false;
    return TryTextToBoolean(text, value);
}

bool IsValidFloatText(std::string_view text) {
    double value = 0;
    return rtl::TryStrToFloat(text, value);
}

bool IsValidCurrencyText(std::string_view text) {
    rtl::Currency value;
    return rtl::TryStrToCurr(text, value);
}

bool IsValidDateText(std::string_view text) {
    rtl::TDateTime value = 0;
    return rtl::TryStrToDate(text, value);
}

bool IsValidDateTimeText(std::string_view text) {
    rtl::TDateTime value = 0;
    return rtl::TryStrToDateTime(text, value);
}

bool IsValidTimeText(std::string_view text) {
    rtl::TDateTime value = 0;
    return rtl::TryStrToTime(text, value);
}

bool IsValidFieldText(std::string_view text, std::uint8_t fieldType) {
    if (text.empty()) return true;
    const auto is = [text](std::string_view word) { return rtl::AnsiSameText(text, word); };
    switch (fieldType) {
        case FieldTypeBoolean:
            return IsValidBooleanText(text);
        case FieldTypeWord:
            return IsValidWordText(text);
        case FieldTypeSmallInt:
            return IsValidSmallIntText(text);
        case FieldTypeInteger:
            return IsValidIntegerText(text);
        case FieldTypeFloat:
            return IsValidFloatText(text);
        case FieldTypeBcd:
            return IsValidCurrencyText(text);
        case FieldTypeDate:
            return is(kDateWord) || IsValidDateText(text);
        case FieldTypeTime:
            return is(kTimeWord) || IsValidTimeText(text);
        case FieldTypeDateTime:
            return is(kNowWord) || is(kDateWord) || is(kTimeWord) || IsValidDateText(text) ||
                   IsValidDateTimeText(text) || IsValidTimeText(text);
        default:
            return true;
    }
}

rtl::TDateTime FieldTextToMoment(std::string_view text, std::uint8_t fieldType) {
    const auto is = [text](std::string_view word) { return rtl::AnsiSameText(text, word); };
    switch (fieldType) {
        case FieldTypeDate:
            return is(kDateWord) ? rtl::Date() : rtl::StrToDate(text);
        case FieldTypeTime:
            return is(kTimeWord) ? rtl::Time() : rtl::StrToTime(text);
        default:
            if (is(kNowWord)) return rtl::Now();
            if (is(kDateWord)) return rtl::Date();
            if (is(kTimeWord)) return rtl::Time();
            return rtl::StrToDateTime(text);
    }
}

bool TextToDateTimeValue(std::span<std::uint8_t> buffer, std::uint8_t fieldType) {
    if (!IsDateType(fieldType)) return true;
    // A buffer too short for the stored value cannot receive it.
    const std::size_t stored = fieldType == FieldTypeDateTime ? sizeof(double) : sizeof(std::int32_t);
    if (buffer.size() < stored) return false;
    const std::string text(TextIn(buffer.data(), buffer.size()));
    return StoreMomentText(text, fieldType, buffer.data());
}

bool ConvertFieldValue(std::uint8_t sourceType, std::size_t sourceSize, int /*sourceScale*/,
                       std::uint8_t targetType, std::size_t targetSize, int targetScale,
                       std::span<std::uint8_t> buffer) {
    if (buffer.size() < FieldValueBufferSize) return false;
    std::uint8_t* const data = buffer.data();
    sourceSize = std::min(sourceSize, FieldValueBufferSize);
    targetSize = std::min(targetSize, FieldValueBufferSize);
    const char code = ConversionCode(sourceType, targetType);

    if (code == '=' || code == 'R') {
        if (code == '=' && sourceType != FieldTypeString && sourceType != FieldTypeBytes) return true;
        std::array<std::uint8_t, FieldValueBufferSize> source;
        std::memcpy(source.data(), data, sourceSize);
        std::memset(data, 0, FieldValueBufferSize);
        if (targetType == FieldTypeString) {
            // Text sources stop at their zero; raw bytes are copied as they are, the zero kept inside the
            // target.
            const std::string_view text =
                sourceType == FieldTypeString
                    ? TextIn(source.data(), sourceSize)
                    : std::string_view(reinterpret_cast<const char*>(source.data()), sourceSize);
            StoreString(text, targetSize, data);
        } else {
            std::memcpy(data, source.data(), std::min(sourceSize, targetSize));
        }
        return true;
    }

    std::array<std::uint8_t, FieldValueBufferSize> source;
    std::memcpy(source.data(), data, FieldValueBufferSize);
    std::memset(data, 0, FieldValueBufferSize);
    if (code == '-') return false;
    bool converted = false;
    try {
        converted = ConvertTyped(code, sourceType, sourceSize, targetType, targetSize, targetScale,
                                 source.data(), data);
    } catch (const rtl::Exception&) {
        converted = false;
    }
    if (!converted) {
        std::memset(data, 0, FieldValueBufferSize);
        StoreZeroMoment(targetType, data);
    }
    return converted;
}

}  // namespace engine
