// Contract tests of CreateZelkSemaphore and the semaphore operations.
#include <zelk/portab.h>

#include "portab_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

namespace {

using zelk::portab_test::LetOthersRun;
using Semaphore = std::unique_ptr<CAbstractSemaphore>;

// Takes every unit there is with TryLock; the count the semaphore had.
int DrainCount(CAbstractSemaphore& semaphore, int limit = 100) {
    int taken = 0;
    while (taken < limit && semaphore.TryLock() == 1) {
        ++taken;
    }
    return taken;
}

TEST(Semaphore, InitialCountIsWhatTryLockCanTake) {
    struct Case {
        long initial;
        int expected;
    };
    for (Case const c : {Case{0, 0}, Case{1, 1}, Case{2, 2}, Case{3, 3}, Case{17, 17}}) {
        Semaphore semaphore(CreateZelkSemaphore(c.initial));
        EXPECT_EQ(DrainCount(*semaphore), c.expected) << "initial " << c.initial;
        EXPECT_EQ(semaphore->TryLock(), 0) << "an empty semaphore gives nothing";
    }
}

TEST(Semaphore, UnlockStopsAtTheMaximumAndLeavesTheCount) {
    Semaphore one(CreateZelkSemaphore(1, 1));
    EXPECT_EQ(one->Unlock(), 0) << "count 1 of 1: refused";
    EXPECT_EQ(DrainCount(*one), 1) << "the refused Unlock added nothing";
    EXPECT_EQ(one->Unlock(), 1);
    EXPECT_EQ(one->Lock(), 1);
    EXPECT_NE(one->Unlock(), 0) << "after Lock there is room again";

    Semaphore zeroOfOne(CreateZelkSemaphore(0, 1));
    EXPECT_EQ(zeroOfOne->TryLock(), 0);
    EXPECT_NE(zeroOfOne->Unlock(), 0);
    EXPECT_EQ(zeroOfOne->Unlock(), 0);
    EXPECT_EQ(DrainCount(*zeroOfOne), 1);

    Semaphore threeOfFive(CreateZelkSemaphore(3, 5));
    EXPECT_NE(threeOfFive->Unlock(), 0);
    EXPECT_NE(threeOfFive->Unlock(), 0);
    EXPECT_EQ(threeOfFive->Unlock(), 0);
    EXPECT_EQ(DrainCount(*threeOfFive), 5);
}

TEST(Semaphore, OneArgumentFactoryHasTheLargestMaximum) {
    Semaphore almostFull(CreateZelkSemaphore(2147483646L));
    EXPECT_NE(almostFull->Unlock(), 0) << "2147483646 -> 2147483647";
    EXPECT_EQ(almostFull->Unlock(), 0) << "2147483647 is the maximum";
    EXPECT_EQ(almostFull->TryLock(), 1);
    EXPECT_NE(almostFull->Unlock(), 0);

    Semaphore full(CreateZelkSemaphore(2147483647L, 2147483647L));
    EXPECT_EQ(full->Unlock(), 0);
    EXPECT_EQ(full->TryLock(), 1);
}

TEST(Semaphore, BadCountsThrowResourceExhausted) {
    struct Case {
        long initial;
        long maximum;
    };
    std::vector<Case> cases = {{-1, 5}, {0, 0}, {0, -1}, {3, 2}, {1, 0}, {LONG_MIN, 1}, {0, LONG_MIN}, {-1, -1}};
    if constexpr (sizeof(long) > 4) {
        // Where long is wider than the system's 32-bit counts.
        long const tooLarge = static_cast<long>(2147483647LL + 1);
        cases.push_back({0, tooLarge});
        cases.push_back({1, LONG_MAX});
        cases.push_back({tooLarge, tooLarge});
    }
    for (Case const c : cases) {
        EXPECT_THROW(delete CreateZelkSemaphore(c.initial, c.maximum), CZelkResourceExhausted)
            << "initial " << c.initial << ", maximum " << c.maximum;
    }
    EXPECT_THROW(delete CreateZelkSemaphore(-1), CZelkResourceExhausted);
    try {
        delete CreateZelkSemaphore(5, 4);
        ADD_FAILURE() << "no exception";
    } catch (std::exception const& caught) {
        EXPECT_NE(std::string(caught.what()), "") << "the exception says what happened";
    }
}

TEST(Semaphore, LockWaitsUntilAnotherThreadUnlocks) {
    Semaphore semaphore(CreateZelkSemaphore(0));
    EXPECT_EQ(semaphore->TryLock(), 0);
    std::atomic<bool> released{false};
    std::thread releaser([&] {
        LetOthersRun();
        released.store(true);
        EXPECT_NE(semaphore->Unlock(), 0);
    });
    EXPECT_EQ(semaphore->Lock(), 1);
    EXPECT_TRUE(released.load()) << "Lock returned before anything was given back";
    releaser.join();
    EXPECT_EQ(semaphore->TryLock(), 0) << "the one unit was taken by Lock";
}

TEST(Semaphore, EveryUnitWakesExactlyOneWaiter) {
    constexpr int kWaiters = 4;
    Semaphore semaphore(CreateZelkSemaphore(0));
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(semaphore->Lock(), 1);
            woken.fetch_add(1);
        });
    }
    LetOthersRun();
    for (int i = 0; i < kWaiters; ++i) {
        EXPECT_NE(semaphore->Unlock(), 0);
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(woken.load(), kWaiters);
    EXPECT_EQ(semaphore->TryLock(), 0) << "no unit left over";
}

TEST(Semaphore, DeletingThroughTheInterfaceDestroysTheWholeObject) {
    // Nothing to observe but the absence of leaks and errors under the
    // sanitisers; many objects make a leak plain.
    for (int i = 0; i < 1000; ++i) {
        CAbstractSemaphore* semaphore = CreateZelkSemaphore(i % 3, 3);
        semaphore->TryLock();
        delete semaphore;
    }
    SUCCEED();
}

}  // namespace
