#include "tests/support/WaitUntil.h"

#include <QDeadlineTimer>
#include <QTest>

namespace testsupport {

namespace {

// Short enough that a test waits little past the moment the condition holds.
constexpr int kPollMs = 5;

}  // namespace

bool waitUntil(const std::function<bool()>& predicate, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!predicate()) {
        if (deadline.hasExpired()) return predicate();
        QTest::qWait(kPollMs);
    }
    return true;
}

}  // namespace testsupport
