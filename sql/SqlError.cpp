#include "sql/SqlError.h"

#include "engine/base/EngineError.h"
#include "rtl/Format.h"

namespace sql {

void RaiseSqlError(std::string_view message) {
    engine::RaiseEngineError(engine::ErrSql, {}, {}, {}, message);
}

void RaiseSqlError(std::string_view pattern, std::initializer_list<std::string_view> args) {
    RaiseSqlError(rtl::Format(pattern, args));
}

}  // namespace sql
