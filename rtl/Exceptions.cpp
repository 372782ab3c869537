#include "rtl/Exceptions.h"

namespace rtl {

// Out of line so that the exception's type information lives in one object file.
Exception::~Exception() = default;

}  // namespace rtl
