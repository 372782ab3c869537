#include "app/core/ScreenRules.h"

#include <stdexcept>

#include "app/core/Texts.h"
#include "rtl/Text.h"

namespace app {

namespace {

// Positions of the alphanumeric screen's masked date and amount.
constexpr int kDatePosition = 2;
constexpr int kAmountPosition = 3;

// The keyedtext capacities: 1900 screens of invsort, 200 of numeric (the numeric table's 200 records).
constexpr int kInvsortCapacity = 1900;
constexpr int kNumericCapacity = 200;
// A numeric entry field takes at most 16 characters.
constexpr int kNumericMaxLength = 16;

std::string Joined(std::string_view a, std::string_view b) {
    std::string text(a);
    text += b;
    return text;
}

}  // namespace

bool ScreenRules::IsEmpty(std::string_view text) const {
    switch (empty) {
        case EmptyRule::Blank:
            return rtl::Trim(text).empty();
        case EmptyRule::BlankOrMaskLiterals: {
            const std::string trimmed = rtl::Trim(text);
            return trimmed.empty() || trimmed == kEmptyAmount || trimmed == kEmptyDate;
        }
        case EmptyRule::NothingKeyed:
            return text.empty();
    }
    return false;
}

std::string ScreenRules::Stored(std::string_view text, int position) const {
    switch (store) {
        case StoreRule::Trimmed:
            return rtl::Trim(text);
        case StoreRule::AsKeyedButEmptyMasks: {
            const std::string trimmed = rtl::Trim(text);
            if ((position == kDatePosition && trimmed == kEmptyDate) ||
                (position == kAmountPosition && trimmed == kEmptyAmount)) {
                return {};
            }
            return std::string(text);
        }
        case StoreRule::AsKeyed:
            return std::string(text);
    }
    return std::string(text);
}

std::string ScreenRules::FieldName(int position, bool usedecimal) const {
    if (position < 1 || position > fields) {
        throw std::out_of_range("no entry field " + std::to_string(position) + " on a screen of " +
                                std::to_string(fields));
    }
    if (type == ScreenType::Numeric) {
        return Joined(usedecimal ? kDecimalFieldPrefix : kNumericFieldPrefix, std::to_string(position));
    }
    return std::string(fieldNames[static_cast<std::size_t>(position - 1)]);
}

std::string ScreenRules::CaptionPrefix(int minutes, bool realmode) const {
    return Joined(std::to_string(minutes), realmode ? realMode : practiceMode);
}

const ScreenRules& AlphaRules() {
    static const std::string realMode = Joined(kAlphaRealMode, kInProgress);
    static const ScreenRules rules{ScreenType::Alpha,
                                   3,
                                   kInvsortTable,
                                   kInvsortIndex,
                                   kTypeAlpha,
                                   {"FIRST", "LAST", "CITY"},
                                   {},
                                   kMaskEditPrefix,
                                   0,
                                   true,
                                   EmptyRule::Blank,
                                   StoreRule::Trimmed,
                                   kClearedAlphaField,
                                   true,
                                   AdvanceTrigger::TextChange,
                                   realMode,
                                   kAlphaPracticeMode,
                                   kInvsortCapacity,
                                   "Panel1"};  // the source panel
    return rules;
}

const ScreenRules& AlphanumericRules() {
    static const std::string realMode = Joined(kAlphanumericRealMode, kInProgress);
    static const ScreenRules rules{ScreenType::Alphanumeric,
                                   7,
                                   kInvsortTable,
                                   kInvsortIndex,
                                   kTypeAlphanumeric,
                                   {"INVOICE", "DATE", "AMOUNT", "FIRST", "LAST", "STREET", "CITY"},
                                   {kQtInvoiceMask, kQtDateMask, kQtAmountMask},
                                   kMaskEditPrefix,
                                   0,
                                   true,
                                   EmptyRule::BlankOrMaskLiterals,
                                   StoreRule::AsKeyedButEmptyMasks,
                                   "",
                                   true,
                                   AdvanceTrigger::TextChange,
                                   realMode,
                                   kAlphanumericPracticeMode,
                                   kInvsortCapacity,
                                   "Panel2"};  // the entry panel
    return rules;
}

const ScreenRules& NumericRules() {
    static const std::string realMode = Joined(kNumericRealMode, kInProgress);
    static const ScreenRules rules{ScreenType::Numeric,
                                   kMaxScreenFields,
                                   kNumericTable,
                                   "",
                                   kTypeNumeric,
                                   {},
                                   {},
                                   kEditPrefix,
                                   kNumericMaxLength,
                                   false,
                                   EmptyRule::NothingKeyed,
                                   StoreRule::AsKeyed,
                                   "",
                                   false,
                                   AdvanceTrigger::DigitRelease,
                                   realMode,
                                   kNumericPracticeMode,
                                   kNumericCapacity,
                                   ""};
    return rules;
}

}  // namespace app
