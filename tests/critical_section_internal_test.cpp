// White-box tests of CZelkCriticalSection: what its wake semaphore holds
// after uncontended and contended use.
#include "portab/critical_section.h"

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zelk {

struct CriticalSectionProbe {
    // Takes one stored wake-up if there is one; 1 when there was.
    static int TakeStoredWakeup(CZelkCriticalSection& lock) { return lock.m_wake.TryLock(); }
    // Read under the guard, as the lock itself does.
    static std::uint32_t Waiters(CZelkCriticalSection& lock) {
        lock.m_guard.Lock();
        std::uint32_t const waiters = lock.m_waiters;
        lock.m_guard.Unlock();
        return waiters;
    }
};

namespace {

using test::LayerThread;
using test::WaitFor;
using namespace std::chrono_literals;

TEST(CriticalSectionWakeups, UncontendedCyclesStoreNoWakeups) {
    CZelkCriticalSection lock;
    // Each of these would leave a unit behind if every release gave one.
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(lock.Lock(), 1);
        ASSERT_EQ(lock.TryLock(), 1);
        lock.Unlock();
        lock.Unlock();
    }
    EXPECT_EQ(CriticalSectionProbe::TakeStoredWakeup(lock), 0);
    EXPECT_EQ(CriticalSectionProbe::Waiters(lock), 0u);
}

TEST(CriticalSectionWakeups, RefusedTryLockQueuesNothing) {
    CZelkCriticalSection lock;
    ASSERT_EQ(lock.Lock(), 1);
    std::thread other([&] {
        for (int i = 0; i < 100; ++i) EXPECT_EQ(lock.TryLock(), 0);
    });
    other.join();
    lock.Unlock();
    EXPECT_EQ(CriticalSectionProbe::Waiters(lock), 0u);
    EXPECT_EQ(CriticalSectionProbe::TakeStoredWakeup(lock), 0);
}

// A hand-off to blocked waiters uses up exactly the units it released.
TEST(CriticalSectionWakeups, HandOffLeavesNothingBehind) {
    CZelkCriticalSection lock;
    for (int i = 0; i < 1000; ++i) {
        lock.Lock();
        lock.Unlock();
    }
    ASSERT_EQ(lock.Lock(), 1);
    std::atomic<int> acquired{0};
    auto body = [&] {
        lock.Lock();
        acquired.fetch_add(1);
        lock.Unlock();
    };
    std::thread host(body);
    LayerThread layer([&] { return body(), 0UL; });
    ASSERT_TRUE(layer.Started());
    // Both registered as waiters before the release.
    ASSERT_TRUE(WaitFor([&] { return CriticalSectionProbe::Waiters(lock) == 2; }));
    EXPECT_EQ(acquired.load(), 0);
    lock.Unlock();
    host.join();
    layer.Join();
    EXPECT_EQ(acquired.load(), 2);
    EXPECT_EQ(CriticalSectionProbe::Waiters(lock), 0u);
    EXPECT_EQ(CriticalSectionProbe::TakeStoredWakeup(lock), 0);
}

}  // namespace
}  // namespace zelk
