// ScriptedRandomSource: a RandomSource whose draws a test queues, recording every range it is asked for.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

#include "app/core/RandomSource.h"

namespace testsupport {

// A draw outside the range asked for, or past the script's end, fails the test (and answers 0).
class ScriptedRandomSource final : public app::RandomSource {
public:
    void Randomize() override { ++randomizeCalls_; }

    std::int32_t Random(std::int32_t range) override {
        ranges_.push_back(range);
        if (values_.empty()) {
            ADD_FAILURE() << "no random value scripted for a draw below " << range;
            return 0;
        }
        const std::int32_t value = values_.front();
        values_.pop_front();
        if (value < 0 || value >= std::max(range, 1)) {
            ADD_FAILURE() << "the scripted value " << value << " lies outside a draw below " << range;
        }
        return value;
    }

    void Push(std::int32_t value) { values_.push_back(value); }
    void Push(std::initializer_list<std::int32_t> values) { values_.insert(values_.end(), values); }
    int RandomizeCalls() const { return randomizeCalls_; }
    std::size_t Left() const { return values_.size(); }
    // The range of every draw so far, in order.
    const std::vector<std::int32_t>& Ranges() const { return ranges_; }

private:
    std::deque<std::int32_t> values_;
    std::vector<std::int32_t> ranges_;
    int randomizeCalls_ = 0;
};

}  // namespace testsupport
