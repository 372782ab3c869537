// ScopedModalGrace: a longer grace for modal windows, for the scope of a test step that waits long with a
// window open (another process's step, a long scoring).
#pragma once

namespace testsupport {

// Sets how long the Qt tests' watchdog (tests/QtTestMain.cpp, which defines it) lets a modal window stay
// open; returns the previous setting.
int ExchangeModalGraceMs(int ms);

// The watchdog's grace is `ms` while it lives, and what it was before afterwards; the test's end restores
// the default in any case.
class ScopedModalGrace {
public:
    explicit ScopedModalGrace(int ms) : previous_(ExchangeModalGraceMs(ms)) {}
    ~ScopedModalGrace() { ExchangeModalGraceMs(previous_); }
    ScopedModalGrace(const ScopedModalGrace&) = delete;
    ScopedModalGrace& operator=(const ScopedModalGrace&) = delete;

private:
    int previous_;
};

}  // namespace testsupport
