// The runtime's exception classes: every failure the system raises derives from rtl::Exception.
#pragma once

#include <exception>
#include <string>

namespace rtl {

// A failure with a message in Windows-1252 bytes, as the system shows it to the user.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    ~Exception() override;

    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }

    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A text that does not convert to a number, date, time or other value.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An index or capacity outside a list's bounds.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// The silent exception: it unwinds an operation that the user has cancelled, and the application's
// handler shows nothing for it.
class EAbort : public Exception {
public:
    EAbort();
    using Exception::Exception;
};

// An operating-system resource (a timer, a handle) could not be had.
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// A value outside the range of the type it is converted to or computed in.
class EOverflow : public Exception {
public:
    using Exception::Exception;
};

// A division by zero in fixed-point arithmetic.
class EZeroDivide : public Exception {
public:
    using Exception::Exception;
};

// The data-access framework's database error. It lives here so that the table engine's own
// error can derive from it without the engine depending on the framework.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace rtl
