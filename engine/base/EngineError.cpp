#include "engine/base/EngineError.h"

#include <algorithm>
#include <string>

#include "engine/base/EngineState.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/EngineTexts.h"

namespace engine {

namespace {

static_assert(std::is_sorted(std::begin(texts::ErrorTexts), std::end(texts::ErrorTexts),
                             [](const texts::ErrorText& a, const texts::ErrorText& b) {
                                 return a.code < b.code;
                             }),
              "the lookup searches the code table by halves");

// The error context used while no engine session is current, so that raising never needs a session.
ErrorContext fallbackContext;

const texts::ErrorText& FindErrorText(std::uint16_t code) {
    const auto* const begin = std::begin(texts::ErrorTexts);
    const auto* const end = std::end(texts::ErrorTexts);
    const auto* const found = std::lower_bound(
        begin, end, code, [](const texts::ErrorText& row, std::uint16_t c) { return row.code < c; });
    return found != end && found->code == code ? *found : texts::UnknownErrorText;
}

void AppendField(std::string& text, texts::ContextField field, const ErrorContext& context) {
    switch (field) {
        case texts::ContextField::FileName:
            text += context.FileName;
            break;
        case texts::ContextField::FieldName:
            text += context.FieldName;
            break;
        case texts::ContextField::IndexName:
            text += context.IndexName;
            break;
        case texts::ContextField::ExtraText:
            text += context.ExtraText;
            break;
        case texts::ContextField::OsErrorNumber:
            text += std::to_string(context.OsError);
            break;
        case texts::ContextField::None:
            break;
    }
}

std::string ComposeMessage(std::int32_t code) {
    std::string text = std::string(texts::EngineErrorPrefix) + std::to_string(code) + ' ';
    return text + GetEngineErrorMessage(code);
}

}  // namespace

ETARNISEngineError::ETARNISEngineError(std::int32_t code) : rtl::EDatabaseError(ComposeMessage(code)) {
    errors_.push_back(TTARNISError{code, GetEngineErrorMessage(code)});
}

// Out of line so that the exception's type information lives in one object file.
ETARNISEngineError::~ETARNISEngineError() = default;

ErrorContext& CurrentErrorContext() noexcept {
    TFileSession* const session = CurrentEngineSession();
    return session != nullptr ? session->Error() : fallbackContext;
}

void SetErrorContext(std::int32_t code, std::string_view fileName, std::string_view fieldName,
                     std::string_view indexName, std::string_view extraText) {
    if (code == ErrEngineNotInitialized) return;
    ErrorContext& context = CurrentErrorContext();
    context.Code = static_cast<std::uint16_t>(code);
    context.FileName = ShortString(fileName);
    context.FieldName = ShortString(fieldName);
    context.IndexName = ShortString(indexName);
    context.ExtraText = ShortString(extraText);
}

void ClearErrorContext() noexcept {
    ErrorContext& context = CurrentErrorContext();
    context.Code = 0;
    context.FileName.clear();
    context.FieldName.clear();
    context.IndexName.clear();
    context.ExtraText.clear();
}

void SetOsErrorContext(int osError) noexcept {
    CurrentErrorContext().OsError = static_cast<std::uint16_t>(osError & 0xFFFF);
}

std::string GetEngineErrorMessage(std::int32_t code) {
    const ErrorContext& context = CurrentErrorContext();
    std::string text;
    for (const texts::MessagePiece& piece : FindErrorText(static_cast<std::uint16_t>(code & 0xFFFF)).pieces) {
        text += piece.literal;
        AppendField(text, piece.field, context);
    }
    if (text.size() > MaxEngineMessage) text.resize(MaxEngineMessage);
    return text;
}

void RaiseEngineError(std::int32_t code, std::string_view fileName, std::string_view fieldName,
                      std::string_view indexName, std::string_view extraText) {
    if (code != ErrEngineNotInitialized) {
        ClearErrorContext();
        SetErrorContext(code, fileName, fieldName, indexName, extraText);
    }
    RaiseEngineException(code);
}

void RaiseEngineException(std::int32_t code) {
    throw ETARNISEngineError(code);
}

void CheckEngineResult(std::int32_t code) {
    if (code != 0) RaiseEngineException(code);
}

void CheckEngineResult(std::int32_t code, std::string_view fileName, std::string_view fieldName,
                       std::string_view indexName) {
    if (code != 0) RaiseEngineError(code, fileName, fieldName, indexName, {});
}

}  // namespace engine
