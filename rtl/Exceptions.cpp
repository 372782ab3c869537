#include "rtl/Exceptions.h"

#include "rtl/Messages.h"

namespace rtl {

// Out of line so that the exception's type information lives in one object file.
Exception::~Exception() = default;

EAbort::EAbort() : Exception(std::string(kOperationAborted)) {}

}  // namespace rtl
