#include "db/DatabaseError.h"

#include <string>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"

namespace db {

void DatabaseError(std::string_view message, const rtl::TComponent* component) {
    if (component != nullptr && !component->Name().empty())
        throw rtl::EDatabaseError(component->Name() + ": " + std::string(message));
    throw rtl::EDatabaseError(std::string(message));
}

void DatabaseErrorFmt(std::string_view pattern, std::initializer_list<std::string_view> args,
                      const rtl::TComponent* component) {
    DatabaseError(rtl::Format(pattern, args), component);
}

}  // namespace db
