#include "app/core/TestDataGenerators.h"

#include <string_view>

#include "rtl/DateTimeFormat.h"
#include "rtl/FormatSettings.h"
#include "rtl/NumberConvert.h"

namespace app {
namespace {

// The bounds of one draw: a value is drawn below `maximum` until it exceeds `lower`.
struct DrawBounds {
    std::int32_t lower;
    std::int32_t maximum;
};

// The generator's width table; a width of 0 or outside 4..8 falls back to 1 .. 99999999, except that the
// decimals of width 0 start above 1000, so that they keep a digit before the point.
DrawBounds IntegerBounds(std::int32_t width) {
    switch (width) {
        case 4:
            return {1000, 9999};
        case 5:
            return {10000, 99999};
        case 6:
            return {100000, 999999};
        case 7:
            return {1000000, 9999999};
        case 8:
            return {10000000, 99999999};
        default:
            return {1, 99999999};
    }
}

DrawBounds DecimalBounds(std::int32_t width) {
    return width == 0 ? DrawBounds{1000, 99999999} : IntegerBounds(width);
}

std::int32_t DrawAbove(RandomSource& random, DrawBounds bounds) {
    std::int32_t value = 0;
    do {
        value = random.Random(bounds.maximum);
    } while (value <= bounds.lower);
    return value;
}

// The part of `text` from `start` (which may lie before its beginning) for `count` characters, clipped to it.
std::string_view Slice(std::string_view text, std::ptrdiff_t start, std::ptrdiff_t count) {
    std::ptrdiff_t end = start + count;
    if (start < 0) start = 0;
    const auto size = static_cast<std::ptrdiff_t>(text.size());
    if (end > size) end = size;
    if (end <= start) return {};
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

// The invoice amount's draw: a seven-digit number.
constexpr std::int32_t kAmountRange = 9999999;
constexpr std::int32_t kAmountLowest = 1000000;
// The order key's draw: 0 .. 99998.
constexpr std::int32_t kIdxkeyRange = 99999;
// The invoice date lies up to 699 days back.
constexpr std::int32_t kDateRange = 700;
// The invoice number's draw: eight digits.
constexpr std::int32_t kInvoiceRange = 99999999;
constexpr std::int32_t kInvoiceLowest = 10000000;
// The decimal value of a text that is no number.
constexpr double kDecimalFallback = 1.23;

}  // namespace

std::int32_t getinteger(RandomSource& random, std::int32_t width) {
    return DrawAbove(random, IntegerBounds(width));
}

double getdecimal(RandomSource& random, std::int32_t width) {
    const std::string digits = rtl::IntToStr(DrawAbove(random, DecimalBounds(width)));
    const auto length = static_cast<std::ptrdiff_t>(digits.size());
    std::string text(Slice(digits, 0, length - 3));
    text += '.';
    text += Slice(digits, length - 3, 2);
    // The point is "." whatever the settings say.
    double value = 0;
    if (!rtl::TryStrToFloat(text, value, rtl::DefaultFormatSettings())) return kDecimalFallback;
    return value;
}

std::string getamount(RandomSource& random) {
    std::int32_t value = 0;
    do {
        value = random.Random(kAmountRange);
    } while (value < kAmountLowest);
    const std::string digits = rtl::IntToStr(value);
    return digits.substr(0, 4) + '.' + digits.substr(5, 2);
}

InvsortValues NewInvsortValues(RandomSource& random, rtl::TDateTime today) {
    InvsortValues values;
    values.idxkey = rtl::IntToStr(random.Random(kIdxkeyRange));
    values.date = rtl::DateToStr(today - random.Random(kDateRange));
    do {
        values.invoice = random.Random(kInvoiceRange);
    } while (values.invoice < kInvoiceLowest);
    values.amount = getamount(random);
    return values;
}

}  // namespace app
