#include "rtl/ExceptionHook.h"

#include <cstdio>
#include <mutex>

#include "rtl/Exceptions.h"
#include "rtl/Messages.h"
#include "rtl/Text.h"

namespace rtl {

namespace {

std::mutex gHandlerMutex;
ExceptionHandler gHandler;  // empty: the default

void WriteToStandardError(const std::exception_ptr& error) noexcept {
    try {
        const std::string text = Cp1252ToUtf8(ExceptionMessage(error)) + '\n';
        std::fwrite(text.data(), 1, text.size(), stderr);
    } catch (...) {
        std::fputs("Unknown exception\n", stderr);  // no memory left to compose the message
    }
}

}  // namespace

ExceptionHandler SetExceptionHandler(ExceptionHandler handler) {
    std::lock_guard lock(gHandlerMutex);
    ExceptionHandler previous = std::move(gHandler);
    gHandler = std::move(handler);
    return previous;
}

void HandleException(std::exception_ptr error) noexcept {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (...) {
    }
    ExceptionHandler handler;
    try {
        std::lock_guard lock(gHandlerMutex);
        handler = gHandler;  // called outside the lock, so that a handler may install another
    } catch (...) {
    }
    if (!handler) {
        WriteToStandardError(error);
        return;
    }
    try {
        handler(error);
    } catch (...) {
        WriteToStandardError(error);
        WriteToStandardError(std::current_exception());
    }
}

void HandleCurrentException() noexcept {
    HandleException(std::current_exception());
}

std::string ExceptionMessage(const std::exception_ptr& error) {
    if (!error) return {};
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return std::string(kUnknownException);
    }
}

}  // namespace rtl
