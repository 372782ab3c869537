// The one application exception handler: where failures go that no caller can handle.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace rtl {

using ExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the application's handler and returns the previous one; an empty handler restores the default,
// which writes the message to standard error.
ExceptionHandler SetExceptionHandler(ExceptionHandler handler);

// Passes an exception to the handler. EAbort and an empty pointer are dropped silently. Never throws: a
// handler that throws has its own failure written to standard error.
void HandleException(std::exception_ptr error) noexcept;
// HandleException of the exception being handled; call it inside a catch block.
void HandleCurrentException() noexcept;

// The message of an exception in Windows-1252 bytes: rtl::Exception's Message, what() of any other
// standard exception, "Unknown exception" for anything else.
std::string ExceptionMessage(const std::exception_ptr& error);

}  // namespace rtl
