// ScreenRules: what sets the alpha, alphanumeric and numeric test screens apart, one row per screen.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace app {

enum class ScreenType { Alpha, Alphanumeric, Numeric };

// When an entry field counts as empty, for Enter and for the next screen.
enum class EmptyRule {
    Blank,                  // blank after trimming
    BlankOrMaskLiterals,    // blank, "." or "/  /" after trimming
    NothingKeyed,           // ""
};

// What a field's text is stored as when the screen is left.
enum class StoreRule {
    Trimmed,
    AsKeyedButEmptyMasks,  // as keyed; a date of "/  /" or an amount of "." after trimming stored as ""
    AsKeyed,
};

// What makes a filled field pass the focus on when auto-advance is on.
enum class AdvanceTrigger {
    TextChange,    // every change of the field's text
    DigitRelease,  // the release of a digit key, main keyboard or keypad
};

// The most fields a screen has: the numeric screen's 25.
inline constexpr int kMaxScreenFields = 25;

// One screen's row. Positions run from 1 to fields; the texts are Windows-1252 bytes.
struct ScreenRules {
    ScreenType type;
    int fields;                      // entry fields per screen (F)
    std::string_view table;          // the source table's file name in the program directory
    std::string_view indexName;      // "" for natural order
    std::string_view typeWord;       // the results' TESTTYPE
    std::array<std::string_view, 7> fieldNames;  // source fields 1..F; empty on the numeric screen
    std::array<std::string_view, 7> masks;       // entry masks in Qt's syntax; "" for none
    std::string_view editPrefix;     // the entry fields' object names: prefix + position
    int maxLength;                   // the entry fields' maximum length; 0 for the edit's own
    bool upperCase;                  // `useuppercase` applies
    EmptyRule empty;
    StoreRule store;
    std::string_view clearedTo;      // what a new screen's fields are cleared to
    bool refusalFill;                // a refused next screen puts "  " into the empty field
    AdvanceTrigger advance;
    std::string_view realMode;       // caption texts after the minutes
    std::string_view practiceMode;
    int capacity;                    // screens `keyedtext` holds
    std::string_view helpContextOwner;  // object name of the widget with help context 3000; "" the form

    bool IsEmpty(std::string_view text) const;
    // The text kept for position `position` of a screen.
    std::string Stored(std::string_view text, int position) const;
    // The source field of a position; the numeric screen's depends on `usedecimal`.
    std::string FieldName(int position, bool usedecimal) const;
    // The minutes in decimal followed by the mode text.
    std::string CaptionPrefix(int minutes, bool realmode) const;
};

const ScreenRules& AlphaRules();
const ScreenRules& AlphanumericRules();
const ScreenRules& NumericRules();

}  // namespace app
