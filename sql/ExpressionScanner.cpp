// The scanner half of TExpressionParser: statement text, tokens, keyword tests and marked source text.
#include <algorithm>

#include "engine/base/EngineStrings.h"
#include "engine/values/KeyEncoding.h"
#include "rtl/NumberConvert.h"
#include "rtl/Text.h"
#include "sql/ExpressionParser.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

namespace {

bool IsNameStart(char c) noexcept {
    return engine::IsLetterChar(c) || c == '_';
}

bool IsNameChar(char c) noexcept {
    return engine::IsLetterOrDigitChar(c) || c == '_';
}

// Blanks are every character from 1 to 32; the zero never occurs inside a statement.
bool IsBlank(char c) noexcept {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// The text with each doubled quote taken once.
std::string Undouble(std::string_view text, char quote) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        result += text[i];
        if (text[i] == quote) ++i;  // the scanner only lets quotes inside in pairs
    }
    return result;
}

}  // namespace

void TExpressionParser::SetStatement(std::string_view text) {
    ClearStatement();
    if (text.size() > MaxStatementLength)
        RaiseSqlError(kStatementTooLong, {rtl::IntToStr(MaxStatementLength)});
    // A zero would end the text for every reader of a zero-terminated copy, silently cutting a condition off.
    if (text.find('\0') != std::string_view::npos) RaiseSqlError(kZeroCharacter);
    text_.assign(text);
}

void TExpressionParser::ClearStatement() noexcept {
    text_.clear();
    text_.shrink_to_fit();
    position_ = tokenStart_ = tokenEnd_ = markPos_ = prevEnd_ = 0;
    tokenKind_ = tkEnd;
    tokenDelimiter_ = 0;
}

char TExpressionParser::At(std::size_t index) const noexcept {
    return index < text_.size() ? text_[index] : '\0';
}

void TExpressionParser::SkipBlanks() noexcept {
    while (position_ < text_.size() && IsBlank(text_[position_])) ++position_;
}

// One comment, ended by the first asterisk after its opening, which must be followed by a slash.
void TExpressionParser::SkipComment() {
    if (At(position_) != '/' || At(position_ + 1) != '*') return;
    position_ += 2;
    while (position_ < text_.size() && text_[position_] != '*') ++position_;
    if (At(position_) != '*' || At(position_ + 1) != '/') RaiseSqlError(kMissingCommentEnd);
    position_ += 2;
}

void TExpressionParser::ScanQuoted(char quote) {
    const std::size_t open = position_;
    ++position_;
    for (;;) {
        if (position_ >= text_.size()) {
            const std::string rest = text_.substr(open + 1, MaxTokenText);
            RaiseSqlError(quote == '\'' ? kMissingSingleQuote : kMissingDoubleQuote, {rest});
        }
        if (text_[position_] == quote) {
            if (At(position_ + 1) != quote) break;
            ++position_;
        }
        ++position_;
    }
    ++position_;
    tokenEnd_ = position_;
}

void TExpressionParser::ScanBracketName() {
    const std::size_t close = text_.find(']', position_ + 1);
    if (close == std::string::npos)
        RaiseSqlError(kMissingRightBracket, {text_.substr(position_ + 1, MaxTokenText)});
    position_ = close + 1;
    tokenEnd_ = position_;
}

// Digits, then digits, points, exponent letters and signs that follow an exponent letter; the form is
// checked when the number is converted.
void TExpressionParser::ScanNumber() noexcept {
    tokenKind_ = tkInteger;
    while (engine::IsDigitChar(At(position_))) ++position_;
    for (;;) {
        const char c = At(position_);
        if (c == '+' || c == '-') {
            const char before = text_[position_ - 1];
            if (before != 'E' && before != 'e') break;
        } else if (!engine::IsDigitChar(c) && c != '.' && c != 'E' && c != 'e') {
            break;
        }
        ++position_;
        tokenKind_ = tkFloat;
    }
}

std::uint8_t TExpressionParser::NextToken() {
    prevEnd_ = position_;
    SkipBlanks();
    SkipComment();
    SkipBlanks();
    tokenStart_ = position_;
    tokenEnd_ = position_;
    tokenDelimiter_ = 0;
    const char c = At(position_);
    if (position_ >= text_.size()) {
        tokenKind_ = tkEnd;
    } else if (IsNameStart(c)) {
        while (IsNameChar(At(position_))) ++position_;
        tokenKind_ = tkIdentifier;
    } else if (c == '\'' || c == '"') {
        ScanQuoted(c);
        tokenKind_ = tkString;
        tokenDelimiter_ = c;
    } else if (c == '[') {
        ScanBracketName();
        tokenKind_ = tkBracketName;
        tokenDelimiter_ = c;
    } else if (engine::IsDigitChar(c)) {
        ScanNumber();
    } else {
        ++position_;
        tokenKind_ = static_cast<std::uint8_t>(c);
    }
    return tokenKind_;
}

std::string_view TExpressionParser::RawTokenText() const noexcept {
    const std::string_view text(text_);
    switch (tokenKind_) {
        case tkEnd:
            return {};
        case tkBracketName:
        case tkString:
            return text.substr(tokenStart_ + 1, tokenEnd_ - tokenStart_ - 2);
        default:
            return text.substr(tokenStart_, position_ - tokenStart_);
    }
}

std::string TExpressionParser::WholeTokenText() const {
    if (tokenKind_ == tkString) return Undouble(RawTokenText(), tokenDelimiter_);
    return std::string(RawTokenText());
}

bool TExpressionParser::TokenIsKeyword(std::string_view keyword) const noexcept {
    return (tokenKind_ == tkIdentifier || tokenKind_ == tkBracketName) &&
           rtl::AnsiCompareText(RawTokenText(), keyword) == 0;
}

std::string TExpressionParser::TokenText() const {
    std::string text = WholeTokenText();
    if (text.size() > MaxTokenText) text.resize(MaxTokenText);
    return text;
}

void TExpressionParser::CheckLength(std::string_view text, TokenUse use) {
    if (use == TokenUse::Name && text.size() > MaxNameLength) {
        RaiseSqlError(kNameTooLong, {rtl::IntToStr(MaxNameLength)});
    }
    if (use == TokenUse::StringConstant && text.size() > MaxStringConstantLength) {
        RaiseSqlError(kStringConstantTooLong, {rtl::IntToStr(MaxStringConstantLength)});
    }
}

std::string TExpressionParser::TokenValue(TokenUse use) const {
    std::string text = WholeTokenText();
    CheckLength(text, use);
    return text;
}

std::string TExpressionParser::MarkedText() const {
    if (prevEnd_ <= markPos_) return {};
    const std::string_view range = std::string_view(text_).substr(markPos_, prevEnd_ - markPos_);
    if (range.size() > MaxMarkedTextLength)
        RaiseSqlError(kMarkedTextTooLong, {rtl::IntToStr(MaxMarkedTextLength)});
    return engine::StripCRLF(range);
}

}  // namespace sql
