// DatabaseError: raises the framework's database error, named after the component that failed, if any.
#pragma once

#include <initializer_list>
#include <string_view>

#include "rtl/Component.h"

namespace db {

// Raises rtl::EDatabaseError with the message, prefixed by "Name: " when a component with a name is given.
[[noreturn]] void DatabaseError(std::string_view message, const rtl::TComponent* component = nullptr);
// The same with the "%s" slots of the pattern filled (rtl::Format).
[[noreturn]] void DatabaseErrorFmt(std::string_view pattern, std::initializer_list<std::string_view> args,
                                   const rtl::TComponent* component = nullptr);

}  // namespace db
