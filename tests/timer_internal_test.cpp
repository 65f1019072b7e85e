// White-box tests of the timer's elapsed-time test and the millisecond clock.
#include "platform/clock.h"
#include "portab/timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

using zelk::TimerPeriodOver;

constexpr std::uint32_t kTop = 0xFFFFFFFFu;

TEST(TimerElapsed, StrictlyGreaterModuloTwoToTheThirtyTwo) {
    struct Case {
        char const* name;
        std::uint32_t now;
        std::uint32_t last;
        std::uint32_t period;
        bool over;
    };
    Case const cases[] = {
        {"exactly the period is not enough", 1000, 0, 1000, false},
        {"one past the period", 1001, 0, 1000, true},
        {"no time at all, period 0", 500, 500, 0, false},
        {"wrapped: 21 ms across 2^32, period 20", 5, kTop - 15, 20, true},
        {"wrapped: exactly 20 ms across 2^32", 4, kTop - 15, 20, false},
        {"the longest period never passes", kTop - 1, kTop, kTop, false},
        {"now just before last reads as almost 2^32 elapsed", 99, 100, 1000, true},
    };
    for (auto const& c : cases) EXPECT_EQ(TimerPeriodOver(c.now, c.last, c.period), c.over) << c.name;
}

// The clock follows real time (allowing for ticks of up to ~16 ms on Windows)
// and, taken modulo 2^32 as the timer takes it, never steps backwards.
TEST(MilliSecondClock, AdvancesWithRealTimeAndNeverBack) {
    std::uint32_t const before = zelk::os::MilliSeconds();
    auto const wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    auto const elapsed = static_cast<std::uint32_t>(zelk::os::MilliSeconds() - before);
    auto const wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - wallBefore);
    EXPECT_GE(elapsed, 40u);
    EXPECT_LE(elapsed, static_cast<std::uint32_t>(wall.count()) + 40u);

    std::uint32_t previous = zelk::os::MilliSeconds();
    for (int i = 0; i < 100000; ++i) {
        std::uint32_t const now = zelk::os::MilliSeconds();
        ASSERT_LT(static_cast<std::uint32_t>(now - previous), 0x80000000u) << "a step back at reading " << i;
        previous = now;
    }
}

}  // namespace
