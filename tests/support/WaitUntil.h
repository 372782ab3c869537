// waitUntil: lets the event loop run until a condition holds.
#pragma once

#include <functional>

namespace testsupport {

// True as soon as `predicate` holds; false when `ms` milliseconds pass first. Events run meanwhile. The
// default is generous: a wait that succeeds returns at once, and a loaded 2-core machine may take seconds to
// deliver a timer's first tick.
bool waitUntil(const std::function<bool()>& predicate, int ms = 10000);

}  // namespace testsupport
