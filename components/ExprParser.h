// TExprParser: reads a dataset's filter text into parse nodes and has their filter blob written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "components/FilterExpr.h"
#include "db/DataSet.h"

namespace components {

// The filter text is Windows-1252 bytes and ends at its length. Grammar, loosest binding first:
//
//   Expr    = And { OR And }                 left-associative: a OR b OR c is (a OR b) OR c
//   And     = Not { AND Not }
//   Not     = NOT Compare | Compare
//   Compare = Primary [ relop Primary ]      = <> >= <= > <; at most one comparison
//   Primary = NULL | True | False | name | [name] | 'text' | number | ( Expr )
//
// The words are plain names compared without regard to case; in brackets they are field names. Names start
// with a letter, "_" or a character 129 to 254 and go on over letters, digits and "_"; a bracketed name
// runs to the next "]". A quoted text doubles its quotes and keeps at most 256 characters; a number is "-"
// or a digit with the digits, signs, "." and exponent letters after it, kept as text for the field's
// conversion. Characters 1 to 32 between tokens are skipped; any other character starting no token,
// a zero byte included, is refused.
//
// Everything is done by the constructor: it raises the database error with the texts of
// ComponentTexts.h for bad text, or the writer's errors (FilterExpr.h). Limits: a text of at most
// MaxFilterTextLength bytes ("Filter expression too large") and parentheses nested at most
// engine::MaxExprDepth deep ("Filter expression too complex"), so the parser recurses no deeper.
class TExprParser {
public:
    TExprParser(db::TDataSet& dataset, std::string_view text, db::TFilterOptions options);
    ~TExprParser();
    TExprParser(const TExprParser&) = delete;
    TExprParser& operator=(const TExprParser&) = delete;

    // The blob, valid while the parser lives: hand it to the engine (which copies it) before freeing this.
    std::span<const std::uint8_t> Blob() const noexcept { return writer_->Blob(); }
    std::size_t BlobSize() const noexcept { return writer_->BufferSize(); }

private:
    enum TTokenKind : std::uint8_t {
        tkEnd,
        tkName,
        tkBracketName,
        tkLiteral,
        tkOpenParen,
        tkCloseParen,
        tkEqual,
        tkNotEqual,
        tkGreaterEqual,
        tkLessEqual,
        tkGreater,
        tkLess
    };

    void NextToken();
    TFilterParseNode* ParseExpr();
    TFilterParseNode* ParseAnd();
    TFilterParseNode* ParseNot();
    TFilterParseNode* ParseCompare();
    TFilterParseNode* ParsePrimary();
    // The current token's text in quotes, or "nothing" at the end of the text.
    std::string TokenDescription() const;
    bool TokenIsWord(std::string_view word) const;

    std::unique_ptr<TFilterExpr> writer_;
    std::string source_;
    std::size_t scanPos_ = 0;
    std::size_t tokenStart_ = 0;
    std::string tokenText_;
    std::string_view trueWord_;
    std::string_view falseWord_;
    TTokenKind tokenKind_ = tkEnd;
    int parenDepth_ = 0;
};

// The longest filter text, the bound of the blob it becomes (engine::MaxFilterBlobSize): a longer one is
// refused before it is read.
inline constexpr std::size_t MaxFilterTextLength = 65535;

}  // namespace components
