// The SQL engine's one way of failing: engine error 11949 with the message as its extra text.
#pragma once

#include <initializer_list>
#include <string_view>

namespace sql {

// Raises engine error 11949 (ErrSql) with empty file, field and index names and the message as extra text.
[[noreturn]] void RaiseSqlError(std::string_view message);
// The same with the pattern's "%s" slots filled by the arguments (rtl::Format).
[[noreturn]] void RaiseSqlError(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace sql
