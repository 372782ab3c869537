#include "tools/tarnis-check/Finding.h"

#include <gtest/gtest.h>

namespace {

using tarnischeck::Finding;
using tarnischeck::Severity;

TEST(Finding, ALineNamesLevelFilePlaceAndText) {
    EXPECT_EQ(tarnischeck::FormatFinding({Severity::Error, "t.DAT", "slot 3", "the status is 7"}),
              "error: t.DAT: slot 3: the status is 7");
    EXPECT_EQ(tarnischeck::FormatFinding({Severity::Warning, "dir/t.DAT", "header", "bytes"}),
              "warning: dir/t.DAT: header: bytes");
}

}  // namespace
