// White-box test of CZelkCriticalSection: no wake-up may be stored where no
// thread waits, or a later waiter passes its wait for nothing.
#include "portab/critical_section.h"

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
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

// Uncontended cycles and refused TryLocks from another thread each would
// leave a unit behind if every release gave one; a hand-off to two blocked
// waiters (a host and a layer thread) uses up exactly the units it released.
TEST(CriticalSectionWakeups, OnlyWaitersReceiveWakeups) {
    CZelkCriticalSection lock;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(lock.Lock(), 1);
        ASSERT_EQ(lock.TryLock(), 1);
        lock.Unlock();
        lock.Unlock();
    }
    ASSERT_EQ(lock.Lock(), 1);
    std::thread([&] {
        for (int i = 0; i < 100; ++i) EXPECT_EQ(lock.TryLock(), 0);
    }).join();
    EXPECT_EQ(CriticalSectionProbe::Waiters(lock), 0u) << "a refused TryLock queued itself";
    EXPECT_EQ(CriticalSectionProbe::TakeStoredWakeup(lock), 0);
    std::atomic<int> acquired{0};
    auto body = [&] {
        lock.Lock();
        acquired.fetch_add(1);
        lock.Unlock();
    };
    std::thread host(body);
    test::LayerThread layer([&] { return body(), 0UL; });
    EXPECT_TRUE(layer.Started());
    EXPECT_TRUE(test::WaitFor([&] { return CriticalSectionProbe::Waiters(lock) == 2; })) << "both blocked before the release";
    EXPECT_EQ(acquired.load(), 0);
    lock.Unlock();
    host.join();
    layer.Join();
    EXPECT_EQ(acquired.load(), 2);
    EXPECT_EQ(CriticalSectionProbe::Waiters(lock), 0u);
    EXPECT_EQ(CriticalSectionProbe::TakeStoredWakeup(lock), 0) << "a stale wake-up was left behind";
}

}  // namespace
}  // namespace zelk
