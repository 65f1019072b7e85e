// Contract tests of CreateZelkSemaphore and the semaphore operations.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

namespace {

using zelk::test::LetOthersRun;
using Semaphore = std::unique_ptr<CAbstractSemaphore>;

// Takes every unit there is with TryLock; the count the semaphore had.
int DrainCount(CAbstractSemaphore& semaphore) {
    int taken = 0;
    while (taken < 100 && semaphore.TryLock() == 1) ++taken;
    return taken;
}

// How many Unlocks a semaphore accepts before its maximum refuses one, and
// the count it then holds: both must follow the two counts exactly.
TEST(Semaphore, CountsStayBetweenZeroAndTheMaximum) {
    struct Case {
        char const* name;
        long initial;
        long maximum;  // 0: the one-argument factory
        int unlocksAccepted;
    };
    for (Case const c : {Case{"0, default maximum", 0, 0, 3}, Case{"2, default maximum", 2, 0, 3},
                         Case{"1 of 1", 1, 1, 0}, Case{"0 of 1", 0, 1, 1}, Case{"3 of 5", 3, 5, 2}}) {
        SCOPED_TRACE(c.name);
        Semaphore semaphore(c.maximum == 0 ? CreateZelkSemaphore(c.initial) : CreateZelkSemaphore(c.initial, c.maximum));
        int accepted = 0;
        while (accepted < 3 && semaphore->Unlock() != 0) ++accepted;
        EXPECT_EQ(accepted, c.unlocksAccepted);
        EXPECT_EQ(DrainCount(*semaphore), c.initial + accepted) << "a refused Unlock added nothing";
        EXPECT_NE(semaphore->Unlock(), 0) << "after taking there is room again";
    }
    Semaphore almostFull(CreateZelkSemaphore(2147483646L));
    EXPECT_NE(almostFull->Unlock(), 0) << "the one-argument factory's maximum is 2147483647";
    EXPECT_EQ(almostFull->Unlock(), 0);
    EXPECT_EQ(almostFull->TryLock(), 1);
}

TEST(Semaphore, BadCountsThrowResourceExhausted) {
    struct Case {
        long initial;
        long maximum;
    };
    std::vector<Case> cases = {{-1, 5}, {0, 0}, {0, -1}, {3, 2}, {LONG_MIN, 1}};
    if constexpr (sizeof(long) > 4) {
        // Where long is wider than the system's 32-bit counts.
        cases.push_back({0, static_cast<long>(2147483647LL + 1)});
        cases.push_back({1, LONG_MAX});
    }
    for (Case const c : cases) {
        EXPECT_THROW(delete CreateZelkSemaphore(c.initial, c.maximum), CZelkResourceExhausted)
            << "initial " << c.initial << ", maximum " << c.maximum;
    }
    EXPECT_THROW(delete CreateZelkSemaphore(-1), CZelkResourceExhausted);
}

// Lock waits for a unit given by another thread, and each unit wakes exactly
// one waiter: none is lost, none is made up.
TEST(Semaphore, EveryUnitWakesExactlyOneWaiter) {
    constexpr int kWaiters = 4;
    Semaphore semaphore(CreateZelkSemaphore(0));
    std::atomic<int> released{0};
    std::atomic<int> wokenEarly{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(semaphore->Lock(), 1);
            if (released.fetch_sub(1) <= 0) wokenEarly.fetch_add(1);
        });
    }
    LetOthersRun();
    for (int i = 0; i < kWaiters; ++i) {
        released.fetch_add(1);
        EXPECT_NE(semaphore->Unlock(), 0);
    }
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(wokenEarly.load(), 0) << "Lock returned before a unit was given";
    EXPECT_EQ(semaphore->TryLock(), 0) << "no unit left over";
}

}  // namespace
