// waitUntil: lets the event loop run until a condition holds.
#pragma once

#include <functional>

namespace testsupport {

// True as soon as `predicate` holds; false when `ms` milliseconds pass first. Events run meanwhile.
bool waitUntil(const std::function<bool()>& predicate, int ms = 2000);

}  // namespace testsupport
