// The filter text's tokenizer and parser (declared in ExprParser.h).
#include "components/ExprParser.h"

#include "components/ComponentTexts.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"
#include "engine/expr/ExprNode.h"
#include "rtl/Text.h"

namespace components {

namespace {

// A quoted text keeps this many characters; the rest up to the closing quote is skipped.
constexpr std::size_t MaxLiteralLength = 256;

bool IsAsciiLetter(unsigned char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(unsigned char c) noexcept {
    return c >= '0' && c <= '9';
}

bool StartsName(unsigned char c) noexcept {
    return IsAsciiLetter(c) || c == '_' || (c >= 129 && c <= 254);
}

bool ContinuesName(unsigned char c) noexcept {
    return IsAsciiLetter(c) || IsDigit(c) || c == '_';
}

bool ContinuesNumber(unsigned char c) noexcept {
    return IsDigit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e';
}

}  // namespace

TExprParser::TExprParser(db::TDataSet& dataset, std::string_view text, db::TFilterOptions options)
    : writer_(std::make_unique<TFilterExpr>(dataset, options)),
      trueWord_(db::kTextTrue),
      falseWord_(db::kTextFalse) {
    if (text.size() > MaxFilterTextLength) db::DatabaseError(kFilterTooLarge);
    source_.assign(text);
    NextToken();
    const TFilterParseNode* root = ParseExpr();
    if (tokenKind_ != tkEnd) db::DatabaseError(kFilterNotTerminated);
    writer_->BuildBlob(*root);
}

TExprParser::~TExprParser() = default;

void TExprParser::NextToken() {
    const std::size_t end = source_.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(source_[i]); };
    while (scanPos_ < end && at(scanPos_) >= 1 && at(scanPos_) <= 32) ++scanPos_;
    tokenStart_ = scanPos_;
    tokenText_.clear();
    if (scanPos_ == end) {
        tokenKind_ = tkEnd;
        return;
    }
    const unsigned char c = at(scanPos_);
    if (StartsName(c)) {
        ++scanPos_;
        while (scanPos_ < end && ContinuesName(at(scanPos_))) ++scanPos_;
        tokenText_.assign(source_, tokenStart_, scanPos_ - tokenStart_);
        tokenKind_ = tkName;
        return;
    }
    switch (c) {
        case '[': {
            const std::size_t close = source_.find(']', scanPos_ + 1);
            if (close == std::string::npos) db::DatabaseError(kUnterminatedFieldName);
            tokenText_.assign(source_, scanPos_ + 1, close - scanPos_ - 1);
            if (tokenText_.find('\0') != std::string::npos)
                db::DatabaseErrorFmt(kInvalidFilterCharacter, {std::string_view("\0", 1)});
            scanPos_ = close + 1;
            tokenKind_ = tkBracketName;
            return;
        }
        case '\'':
            ++scanPos_;
            for (;;) {
                if (scanPos_ == end) db::DatabaseError(kUnterminatedString);
                const char ch = source_[scanPos_++];
                if (ch == '\'') {
                    if (scanPos_ == end || source_[scanPos_] != '\'') break;
                    ++scanPos_;  // a doubled quote is one quote
                } else if (ch == '\0') {
                    db::DatabaseErrorFmt(kInvalidFilterCharacter, {std::string_view("\0", 1)});
                }
                if (tokenText_.size() < MaxLiteralLength) tokenText_.push_back(ch);
            }
            tokenKind_ = tkLiteral;
            return;
        case '(':
            ++scanPos_;
            tokenKind_ = tkOpenParen;
            return;
        case ')':
            ++scanPos_;
            tokenKind_ = tkCloseParen;
            return;
        case '=':
            ++scanPos_;
            tokenKind_ = tkEqual;
            return;
        case '<':
            ++scanPos_;
            tokenKind_ = tkLess;
            if (scanPos_ < end && source_[scanPos_] == '>') {
                ++scanPos_;
                tokenKind_ = tkNotEqual;
            } else if (scanPos_ < end && source_[scanPos_] == '=') {
                ++scanPos_;
                tokenKind_ = tkLessEqual;
            }
            return;
        case '>':
            ++scanPos_;
            tokenKind_ = tkGreater;
            if (scanPos_ < end && source_[scanPos_] == '=') {
                ++scanPos_;
                tokenKind_ = tkGreaterEqual;
            }
            return;
        default:
            break;
    }
    if (c == '-' || IsDigit(c)) {
        ++scanPos_;
        while (scanPos_ < end && ContinuesNumber(at(scanPos_))) ++scanPos_;
        tokenText_.assign(source_, tokenStart_, scanPos_ - tokenStart_);
        tokenKind_ = tkLiteral;
        return;
    }
    db::DatabaseErrorFmt(kInvalidFilterCharacter, {std::string_view(&source_[scanPos_], 1)});
}

TFilterParseNode* TExprParser::ParseExpr() {
    TFilterParseNode* left = ParseAnd();
    while (TokenIsWord("OR")) {
        NextToken();
        TFilterParseNode* right = ParseAnd();
        left = writer_->NewNode(nkOperator, engine::opOr, rtl::Variant(), left, right);
    }
    return left;
}

TFilterParseNode* TExprParser::ParseAnd() {
    TFilterParseNode* left = ParseNot();
    while (TokenIsWord("AND")) {
        NextToken();
        TFilterParseNode* right = ParseNot();
        left = writer_->NewNode(nkOperator, engine::opAnd, rtl::Variant(), left, right);
    }
    return left;
}

TFilterParseNode* TExprParser::ParseNot() {
    if (!TokenIsWord("NOT")) return ParseCompare();
    NextToken();
    return writer_->NewNode(nkOperator, engine::opNot, rtl::Variant(), ParseCompare());
}

TFilterParseNode* TExprParser::ParseCompare() {
    TFilterParseNode* left = ParsePrimary();
    std::uint32_t op = 0;
    switch (tokenKind_) {
        case tkEqual:
            op = engine::opEqual;
            break;
        case tkNotEqual:
            op = engine::opNotEqual;
            break;
        case tkGreaterEqual:
            op = engine::opGreaterEqual;
            break;
        case tkLessEqual:
            op = engine::opLessEqual;
            break;
        case tkGreater:
            op = engine::opGreater;
            break;
        case tkLess:
            op = engine::opLess;
            break;
        default:
            return left;
    }
    NextToken();
    TFilterParseNode* right = ParsePrimary();
    return writer_->NewNode(nkOperator, op, rtl::Variant(), left, right);
}

TFilterParseNode* TExprParser::ParsePrimary() {
    TFilterParseNode* node = nullptr;
    switch (tokenKind_) {
        case tkName:
            if (TokenIsWord("NULL")) {
                node = writer_->NewNode(nkConstant, 0, rtl::Variant::Null());
            } else if (TokenIsWord(trueWord_)) {
                node = writer_->NewNode(nkConstant, 0, rtl::Variant(true));
            } else if (TokenIsWord(falseWord_)) {
                node = writer_->NewNode(nkConstant, 0, rtl::Variant(false));
            } else {
                node = writer_->NewNode(nkField, 0, rtl::Variant(tokenText_));
            }
            break;
        case tkBracketName:
            node = writer_->NewNode(nkField, 0, rtl::Variant(tokenText_));
            break;
        case tkLiteral:
            node = writer_->NewNode(nkConstant, 0, rtl::Variant(tokenText_));
            break;
        case tkOpenParen:
            // Each level of parentheses is one level of this recursion.
            if (++parenDepth_ > engine::MaxExprDepth) db::DatabaseError(kFilterTooComplex);
            NextToken();
            node = ParseExpr();
            if (tokenKind_ != tkCloseParen) db::DatabaseErrorFmt(kCloseParenExpected, {TokenDescription()});
            --parenDepth_;
            break;
        default:
            db::DatabaseErrorFmt(kExpressionExpected, {TokenDescription()});
    }
    NextToken();
    return node;
}

std::string TExprParser::TokenDescription() const {
    if (tokenKind_ == tkEnd) return std::string(kFilterNothing);
    // Appended one by one: a literal + std::string sum draws GCC 12's false -Wrestrict from libstdc++.
    std::string description(1, '\'');
    description.append(source_, tokenStart_, scanPos_ - tokenStart_);
    description += '\'';
    return description;
}

bool TExprParser::TokenIsWord(std::string_view word) const {
    return tokenKind_ == tkName && rtl::AnsiSameText(tokenText_, word);
}

}  // namespace components
