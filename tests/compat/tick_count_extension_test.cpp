// The 64-bit count that stands in for GetTickCount64 on Windows XP.
#include "tick_count_extension.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;

TEST(TickCountExtension, CountsOnAcrossEveryWrapOfTheThirtyTwoBitCount) {
    std::uint64_t state = 0;
    state = extendTickCount(state, 1000);
    EXPECT_EQ(state, 1000u);
    state = extendTickCount(state, 0xFFFFFFF0u);
    EXPECT_EQ(state, 0xFFFFFFF0u);
    state = extendTickCount(state, 5);  // wrapped
    EXPECT_EQ(state, kWrap + 5);
    state = extendTickCount(state, 5);  // the same count again is no wrap
    EXPECT_EQ(state, kWrap + 5);
    state = extendTickCount(state, 4);  // wrapped a second time, 49.7 days later
    EXPECT_EQ(state, 2 * kWrap + 4);
}

}  // namespace
