#include "rtl/FloatFormat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "rtl/DecimalNumber.h"
#include "rtl/FormatMask.h"

namespace rtl {

namespace {

// Significant digits of FloatToStr and FormatFloat: as many as every double holds faithfully.
constexpr int kFloatPrecision = 15;
// Digits of the largest currency value (922337203685477.5807), so currency is never rounded.
constexpr int kCurrencyPrecision = 19;
// Upper bounds for the caller's precision and digit counts, and for exponent digits.
constexpr int kMaxPrecision = 18;
constexpr int kMaxDigits = 18;
constexpr int kMaxExponentDigits = 4;

// Placement of the currency string ('$') and the number ('1') by CurrencyFormat and NegCurrFormat.
constexpr std::array<std::string_view, 4> kPositiveCurrency = {"$1", "1$", "$ 1", "1 $"};
constexpr std::array<std::string_view, 16> kNegativeCurrency = {
    "($1)", "-$1",  "$-1",  "$1-",  "(1$)", "-1$",  "1-$",   "1$-",
    "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};

std::optional<std::string> SpecialText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    return std::nullopt;
}

// The digits before the decimal point ("" for a value below 1).
std::string IntegerDigits(const DecimalNumber& n) {
    if (n.IsZero() || n.Exponent <= 0) return {};
    const auto length = static_cast<std::size_t>(n.Exponent);
    std::string out = n.Digits.substr(0, std::min(length, n.Digits.size()));
    out.resize(length, '0');
    return out;
}

// The first `count` digits after the decimal point, zeros included.
std::string FractionDigits(const DecimalNumber& n, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const int k = n.Exponent + i;
        out += k >= 0 && k < static_cast<int>(n.Digits.size()) ? n.Digits[k] : '0';
    }
    return out;
}

std::string ExponentText(int exponent, bool alwaysSign, int minDigits) {
    std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
    if (static_cast<int>(digits.size()) < minDigits) digits.insert(0, minDigits - digits.size(), '0');
    if (exponent < 0) return '-' + digits;
    return alwaysSign ? '+' + digits : digits;
}

std::string Grouped(const std::string& digits, char separator) {
    std::string out;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        out += digits[k];
        if ((digits.size() - 1 - k) % 3 == 0 && k + 1 < digits.size()) out += separator;
    }
    return out;
}

std::string GeneralText(const DecimalNumber& n, int precision, int exponentDigits, const FormatSettings& st) {
    if (n.IsZero()) return "0";
    std::string out = n.Negative ? "-" : "";
    const int exponent = n.Exponent - 1;  // of the first digit
    if (exponent < -4 || exponent >= precision) {
        out += n.Digits[0];
        if (n.Digits.size() > 1) out += st.DecimalSeparator + n.Digits.substr(1);
        return out + 'E' + ExponentText(exponent, false, exponentDigits);
    }
    const std::string whole = IntegerDigits(n);
    out += whole.empty() ? "0" : whole;
    const int decimals = static_cast<int>(n.Digits.size()) - n.Exponent;
    if (decimals > 0) out += st.DecimalSeparator + FractionDigits(n, decimals);
    return out;
}

std::string ScientificText(DecimalNumber n, int precision, int exponentDigits, const FormatSettings& st) {
    RoundSignificant(n, precision);
    std::string mantissa = n.Digits;
    mantissa.resize(static_cast<std::size_t>(precision), '0');
    std::string out = n.Negative && !n.IsZero() ? "-" : "";
    out += mantissa[0];
    if (precision > 1) out += st.DecimalSeparator + mantissa.substr(1);
    return out + 'E' + ExponentText(n.IsZero() ? 0 : n.Exponent - 1, true, exponentDigits);
}

// The unsigned fixed-point text of a number rounded to `decimals` places.
std::string FixedBody(DecimalNumber& n, int decimals, bool thousands, const FormatSettings& st) {
    RoundDecimals(n, decimals);
    std::string whole = IntegerDigits(n);
    // A literal's assign and a char + std::string sum here draw GCC 12's false -Wrestrict from libstdc++.
    if (whole.empty()) whole.assign(1, '0');
    std::string out = thousands ? Grouped(whole, st.ThousandSeparator) : whole;
    if (decimals > 0) {
        out += st.DecimalSeparator;
        out += FractionDigits(n, decimals);
    }
    return out;
}

std::string CurrencyText(DecimalNumber n, int decimals, const FormatSettings& st) {
    const std::string body = FixedBody(n, decimals, true, st);
    const bool negative = n.Negative && !n.IsZero();
    const std::string_view pattern = negative
                                         ? kNegativeCurrency[st.NegCurrFormat < 16 ? st.NegCurrFormat : 0]
                                         : kPositiveCurrency[st.CurrencyFormat < 4 ? st.CurrencyFormat : 0];
    std::string out;
    for (char c : pattern) {
        if (c == '$') {
            out += st.CurrencyString;
        } else if (c == '1') {
            out += body;
        } else {
            out += c;
        }
    }
    return out;
}

std::string DecimalToStrF(const DecimalNumber& n, FloatFormat format, int precision, int digits,
                          const FormatSettings& st) {
    switch (format) {
        case FloatFormat::General:
            return GeneralText(n, precision, std::clamp(digits, 0, kMaxExponentDigits), st);
        case FloatFormat::Exponent:
            return ScientificText(n, precision, std::clamp(digits, 0, kMaxExponentDigits), st);
        case FloatFormat::Fixed:
        case FloatFormat::Number: {
            if (n.Exponent > precision) return GeneralText(n, precision, 0, st);
            DecimalNumber rounded = n;
            const std::string body = FixedBody(rounded, digits, format == FloatFormat::Number, st);
            return (rounded.Negative && !rounded.IsZero() ? "-" : "") + body;
        }
        case FloatFormat::Currency:
            return CurrencyText(n, digits, st);
    }
    return {};
}

// One section of a format mask, as far as rounding and digit placement need it.
struct MaskSection {
    std::string_view Text;
    int IntPlaceholders = 0;
    int MinIntDigits = 0;  // the placeholders from the first "0" before the point on
    int MaxDecimals = 0;
    int MinDecimals = 0;  // up to the last "0" after the point
    bool Thousands = false;
    bool Scientific = false;
};

bool IsMaskQuote(char c) {
    return c == '\'' || c == '"';
}

bool IsExponentAt(std::string_view text, std::size_t i) {
    return (text[i] == 'E' || text[i] == 'e') && i + 1 < text.size() &&
           (text[i + 1] == '+' || text[i + 1] == '-');
}

std::vector<std::string_view> SplitSections(std::string_view mask) {
    std::vector<std::string_view> sections;
    std::size_t start = 0;
    for (std::size_t i = 0; i < mask.size();) {
        if (IsMaskQuote(mask[i])) {
            QuotedLiteral(mask, i, i);
        } else if (mask[i] == ';' && sections.size() < 2) {
            sections.push_back(mask.substr(start, i - start));
            start = ++i;
        } else {
            ++i;
        }
    }
    sections.push_back(mask.substr(start));
    return sections;
}

MaskSection ParseSection(std::string_view text) {
    MaskSection s;
    s.Text = text;
    bool afterPoint = false;
    int firstZero = -1;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsMaskQuote(c)) {
            QuotedLiteral(text, i, i);
            continue;
        }
        if (IsExponentAt(text, i)) {
            s.Scientific = true;
            break;  // placeholders after the exponent print nothing
        }
        if (c == '0' || c == '#') {
            if (afterPoint) {
                ++s.MaxDecimals;
                if (c == '0') s.MinDecimals = s.MaxDecimals;
            } else {
                if (c == '0' && firstZero < 0) firstZero = s.IntPlaceholders;
                ++s.IntPlaceholders;
            }
        } else if (c == '.') {
            afterPoint = true;
        } else if (c == ',' && !afterPoint) {
            s.Thousands = true;
        }
        ++i;
    }
    s.MinIntDigits = firstZero < 0 ? 0 : s.IntPlaceholders - firstZero;
    return s;
}

void RoundForSection(DecimalNumber& n, const MaskSection& s) {
    if (s.Scientific) {
        RoundSignificant(n, std::max(s.IntPlaceholders, 1) + s.MaxDecimals);
    } else {
        RoundDecimals(n, s.MaxDecimals);
    }
}

// Writes a rounded number into its section.
std::string RenderSection(const MaskSection& s, const DecimalNumber& n, bool minus,
                          const FormatSettings& st) {
    std::string whole;
    std::string fraction;
    int exponent = 0;
    if (s.Scientific) {
        const int integerDigits = std::max(s.IntPlaceholders, 1);
        whole = n.Digits.substr(0, std::min<std::size_t>(integerDigits, n.Digits.size()));
        whole.resize(static_cast<std::size_t>(integerDigits), '0');
        fraction = n.Digits.size() > whole.size() ? n.Digits.substr(whole.size()) : "";
        fraction.resize(static_cast<std::size_t>(s.MaxDecimals), '0');
        exponent = n.IsZero() ? 0 : n.Exponent - integerDigits;
    } else {
        whole = IntegerDigits(n);
        if (static_cast<int>(whole.size()) < s.MinIntDigits)
            whole.insert(0, s.MinIntDigits - whole.size(), '0');
        fraction = FractionDigits(n, s.MaxDecimals);
    }
    while (static_cast<int>(fraction.size()) > s.MinDecimals && fraction.back() == '0') fraction.pop_back();

    const int length = static_cast<int>(whole.size());
    auto emitWhole = [&](std::string& out, int from, int to) {
        for (int k = std::max(from, 0); k < to; ++k) {
            out += whole[k];
            if (s.Thousands && k + 1 < length && (length - 1 - k) % 3 == 0) out += st.ThousandSeparator;
        }
    };

    std::string out = minus ? "-" : "";
    const std::string_view text = s.Text;
    int placeholder = 0;
    std::size_t fractionIndex = 0;
    bool afterPoint = false;
    bool afterExponent = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsMaskQuote(c)) {
            out += QuotedLiteral(text, i, i);
            continue;
        }
        if (!afterExponent && IsExponentAt(text, i)) {
            afterExponent = true;
            const bool alwaysSign = text[i + 1] == '+';
            std::size_t j = i + 2;
            int digits = 0;
            while (j < text.size() && text[j] == '0') ++digits, ++j;
            out += c;
            out += ExponentText(exponent, alwaysSign, std::min(digits, kMaxExponentDigits));
            i = j;
            continue;
        }
        if (afterExponent && (c == '0' || c == '#' || c == '.' || c == ',')) {
            ++i;
            continue;
        }
        if (c == '0' || c == '#') {
            if (!afterPoint) {
                // Placeholder p shows digit length - placeholders + p; the first also shows all before it.
                const int last = length - s.IntPlaceholders + placeholder;
                emitWhole(out, placeholder == 0 ? 0 : last, last + 1);
                ++placeholder;
            } else if (fractionIndex < fraction.size()) {
                out += fraction[fractionIndex++];
            }
        } else if (c == '.') {
            if (!afterPoint) {
                afterPoint = true;
                if (s.IntPlaceholders == 0) emitWhole(out, 0, length);
                if (!fraction.empty()) out += st.DecimalSeparator;
            }
        } else if (c != ',') {
            out += c;
        }
        ++i;
    }
    return out;
}

std::string FormatDecimal(std::string_view mask, const DecimalNumber& value, const FormatSettings& st) {
    const std::vector<std::string_view> sections = SplitSections(mask);
    const bool hasZeroSection = sections.size() >= 3 && !sections[2].empty();
    const bool negative = value.Negative && !value.IsZero();
    std::size_t chosen = 0;
    if (value.IsZero()) {
        chosen = hasZeroSection ? 2 : 0;
    } else if (negative && sections.size() >= 2 && !sections[1].empty()) {
        chosen = 1;
    }
    MaskSection section = ParseSection(sections[chosen]);
    DecimalNumber rounded = value;
    RoundForSection(rounded, section);
    if (!value.IsZero() && rounded.IsZero() && hasZeroSection) {
        chosen = 2;
        section = ParseSection(sections[2]);
    }
    return RenderSection(section, rounded, negative && chosen == 0 && !rounded.IsZero(), st);
}

}  // namespace

std::string FloatToStr(double value, const FormatSettings& settings) {
    return FloatToStrF(value, FloatFormat::General, kFloatPrecision, 0, settings);
}

std::string FloatToStr(double value) {
    return FloatToStr(value, CurrentFormatSettings());
}

std::string FloatToStrF(double value, FloatFormat format, int precision, int digits,
                        const FormatSettings& settings) {
    if (auto special = SpecialText(value)) return *special;
    precision = std::clamp(precision, 1, kMaxPrecision);
    digits = std::clamp(digits, 0, kMaxDigits);
    return DecimalToStrF(FloatToDecimal(value, precision), format, precision, digits, settings);
}

std::string FloatToStrF(double value, FloatFormat format, int precision, int digits) {
    return FloatToStrF(value, format, precision, digits, CurrentFormatSettings());
}

std::string FormatFloat(std::string_view mask, double value, const FormatSettings& settings) {
    if (auto special = SpecialText(value)) return *special;
    if (mask.empty()) return FloatToStr(value, settings);
    return FormatDecimal(mask, FloatToDecimal(value, kFloatPrecision), settings);
}

std::string FormatFloat(std::string_view mask, double value) {
    return FormatFloat(mask, value, CurrentFormatSettings());
}

std::string CurrToStr(Currency value, const FormatSettings& settings) {
    return GeneralText(CurrToDecimal(value), kCurrencyPrecision, 0, settings);
}

std::string CurrToStr(Currency value) {
    return CurrToStr(value, CurrentFormatSettings());
}

std::string CurrToStrF(Currency value, FloatFormat format, int digits, const FormatSettings& settings) {
    return DecimalToStrF(CurrToDecimal(value), format, kCurrencyPrecision, std::clamp(digits, 0, kMaxDigits),
                         settings);
}

std::string CurrToStrF(Currency value, FloatFormat format, int digits) {
    return CurrToStrF(value, format, digits, CurrentFormatSettings());
}

std::string FormatCurr(std::string_view mask, Currency value, const FormatSettings& settings) {
    if (mask.empty()) return CurrToStr(value, settings);
    return FormatDecimal(mask, CurrToDecimal(value), settings);
}

std::string FormatCurr(std::string_view mask, Currency value) {
    return FormatCurr(mask, value, CurrentFormatSettings());
}

}  // namespace rtl
