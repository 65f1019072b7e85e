// White-box tests of the timer's elapsed-time test and the millisecond clock.
#include "platform/clock.h"
#include "portab/timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

using zelk::TimerPeriodOver;

struct ElapsedCase {
    char const* name;
    std::uint32_t now;
    std::uint32_t last;
    std::uint32_t period;
    bool over;
};

constexpr std::uint32_t kTop = 0xFFFFFFFFu;

TEST(TimerElapsed, StrictlyGreaterModuloTwoToTheThirtyTwo) {
    ElapsedCase const cases[] = {
        {"exactly the period is not enough", 1000, 0, 1000, false},
        {"one past the period", 1001, 0, 1000, true},
        {"no time at all, period 0", 500, 500, 0, false},
        {"one millisecond, period 0", 501, 500, 0, true},
        {"wrapped: 21 ms across 2^32, period 20", 5, kTop - 15, 20, true},
        {"wrapped: exactly 20 ms across 2^32", 4, kTop - 15, 20, false},
        {"wrapped onto 0", 0, kTop, 0, true},
        {"last at the top, now at the top", kTop, kTop, 0, false},
        {"the longest period never passes", kTop - 1, kTop, kTop, false},
        {"a late reading far past the period", 0x80000000u, 0, 1000, true},
        {"now just before last reads as almost 2^32 elapsed", 99, 100, 1000, true},
    };
    for (auto const& c : cases) {
        EXPECT_EQ(TimerPeriodOver(c.now, c.last, c.period), c.over) << c.name;
    }
    static_assert(TimerPeriodOver(3, kTop - 1, 4), "compile-time use: 5 ms across the wrap");
}

TEST(MilliSecondClock, AdvancesWithRealTime) {
    std::uint32_t const before = zelk::os::MilliSeconds();
    auto const wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    std::uint32_t const after = zelk::os::MilliSeconds();
    auto const wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - wallBefore);
    auto const elapsed = static_cast<std::uint32_t>(after - before);  // modulo 2^32, as the timer takes it
    // Coarse system ticks (up to ~16 ms on Windows) allowed for on both sides.
    EXPECT_GE(elapsed, 40u);
    EXPECT_LE(elapsed, static_cast<std::uint32_t>(wall.count()) + 40u);
}

TEST(MilliSecondClock, NeverStepsBackwards) {
    std::uint32_t previous = zelk::os::MilliSeconds();
    for (int i = 0; i < 100000; ++i) {
        std::uint32_t const now = zelk::os::MilliSeconds();
        // Less than half the circle forwards: anything else is a step back.
        ASSERT_LT(static_cast<std::uint32_t>(now - previous), 0x80000000u) << "at reading " << i;
        previous = now;
    }
}

}  // namespace
