// The engine's error context, its one raiser and its one exception, ETARNISEngineError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "rtl/Exceptions.h"

namespace engine {

// An engine text is cut to this many characters: the engine's message buffer holds 128 bytes with its zero.
inline constexpr std::size_t MaxEngineMessage = 127;

// What the last raised error concerned; one per engine session. The texts hold at most 255 characters.
struct ErrorContext {
    std::uint16_t Code = 0;
    // Low 16 bits of the last operating-system error number the file layer mapped to an engine code.
    std::uint16_t OsError = 0;
    std::string FieldName;
    std::string FileName;
    std::string ExtraText;
    std::string IndexName;
};

// One entry of an engine exception: the code and the engine text for it.
struct TTARNISError {
    std::int32_t ErrorCode = 0;
    std::string Message;
};

// The one exception for engine failures. Its message is "TARNIS Engine Error # ", the code, a blank and the
// engine text, composed from the error context when the exception is created; later errors leave it alone.
class ETARNISEngineError : public rtl::EDatabaseError {
public:
    explicit ETARNISEngineError(std::int32_t code);
    ~ETARNISEngineError() override;

    const std::vector<TTARNISError>& Errors() const noexcept { return errors_; }
    // The code of the first entry: the code the exception was raised with.
    std::int32_t ErrorCode() const noexcept { return errors_.front().ErrorCode; }

private:
    std::vector<TTARNISError> errors_;
};

// The current engine session's error context, or one process-wide context while no session is current.
ErrorContext& CurrentErrorContext() noexcept;

// Cleans up after a failure: a failure of the cleanup neither raises nor replaces the error context of the
// failure being reported.
template <class Cleanup>
void CleanUpKeepingError(Cleanup&& cleanup) noexcept {
    try {
        const ErrorContext saved = CurrentErrorContext();
        try {
            cleanup();
        } catch (...) {
        }
        CurrentErrorContext() = saved;
    } catch (...) {
    }
}

// Stores the code and the four texts in the current error context; 10758 stores nothing.
void SetErrorContext(std::int32_t code, std::string_view fileName, std::string_view fieldName,
                     std::string_view indexName, std::string_view extraText);
// Clears the code and the four texts; the operating-system error keeps its value.
void ClearErrorContext() noexcept;
// Stores the low 16 bits of an operating-system error number, for the text of 11047.
void SetOsErrorContext(int osError) noexcept;

// The engine text for the code's low 16 bits, composed from the current error context, at most 127
// characters.
std::string GetEngineErrorMessage(std::int32_t code);

// The engine's one raiser: records the code and names in the error context (not for 10758, which may have
// no session to record in) and raises ETARNISEngineError. Names that do not apply are empty.
[[noreturn]] void RaiseEngineError(std::int32_t code, std::string_view fileName = {},
                                   std::string_view fieldName = {}, std::string_view indexName = {},
                                   std::string_view extraText = {});
// Raises ETARNISEngineError for the code as the error context stands.
[[noreturn]] void RaiseEngineException(std::int32_t code);

// Raises for any code other than 0, with the message composed from the context as it stands.
void CheckEngineResult(std::int32_t code);
// Raises for any code other than 0 through RaiseEngineError, so that the message names the caller's table.
void CheckEngineResult(std::int32_t code, std::string_view fileName, std::string_view fieldName = {},
                       std::string_view indexName = {});

}  // namespace engine
