// Contract tests of CreateZelkCriticalSection through the exported interface.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <thread>

namespace {

using zelk::test::LayerThread;
using zelk::test::WaitFor;
using namespace std::chrono_literals;

using Lock = std::unique_ptr<CAbstractCriticalSection>;

Lock MakeLock() { return Lock(CreateZelkCriticalSection()); }

// Runs `probe` on a thread of the given kind and returns its result.
enum class Kind { Layer, Host };

void PrintTo(Kind kind, std::ostream* out) { *out << (kind == Kind::Layer ? "a layer thread" : "a host thread"); }

int OnOtherThread(Kind kind, std::function<int()> probe) {
    int result = -1;
    if (kind == Kind::Layer) {
        LayerThread thread([&] {
            result = probe();
            return 0UL;
        });
        EXPECT_TRUE(thread.Started());
    } else {
        std::thread thread([&] { result = probe(); });
        thread.join();
    }
    return result;
}

class CriticalSectionAcrossKinds : public ::testing::TestWithParam<Kind> {};

TEST(CriticalSection, FactoryGivesAFreeLock) {
    Lock lock = MakeLock();
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(OnOtherThread(Kind::Layer, [&] {
                  int const taken = lock->TryLock();
                  if (taken) lock->Unlock();
                  return taken;
              }),
              1);
    Lock second = MakeLock();
    EXPECT_NE(second.get(), lock.get());
}

TEST(CriticalSection, OwnerReentersAndHoldsUntilLastUnlock) {
    Lock lock = MakeLock();
    EXPECT_EQ(lock->Lock(), 1);
    EXPECT_EQ(lock->Lock(), 1);
    EXPECT_EQ(lock->TryLock(), 1);
    auto const otherTry = [&] {
        return OnOtherThread(Kind::Layer, [&] {
            int const taken = lock->TryLock();
            if (taken) lock->Unlock();
            return taken;
        });
    };
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_EQ(otherTry(), 0) << "held at depth 2";
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_EQ(otherTry(), 0) << "held at depth 1";
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_EQ(otherTry(), 1) << "free after the third Unlock";
    // The other thread gave it back: the owner may take it again.
    EXPECT_EQ(lock->TryLock(), 1);
    EXPECT_NE(lock->Unlock(), 0);
}

TEST(CriticalSection, UsableAsASemaphore) {
    Lock lock = MakeLock();
    CAbstractSemaphore& semaphore = *lock;
    EXPECT_EQ(semaphore.Lock(), 1);
    EXPECT_EQ(semaphore.TryLock(), 1);  // re-entrant, unlike a count-1 semaphore
    EXPECT_NE(semaphore.Unlock(), 0);
    EXPECT_NE(semaphore.Unlock(), 0);
    // Deleting through the base reaches the whole object.
    std::unique_ptr<CAbstractSemaphore> owned(CreateZelkCriticalSection());
    EXPECT_EQ(owned->TryLock(), 1);
    EXPECT_NE(owned->Unlock(), 0);
}

// Every pairing of holder and prober: threads of the layer, host threads the
// library did not start (which all share the main thread object), and the
// process's first thread.
TEST_P(CriticalSectionAcrossKinds, HeldByTheMainThreadRefusesTheOther) {
    Lock lock = MakeLock();
    ASSERT_EQ(lock->Lock(), 1);
    EXPECT_EQ(OnOtherThread(GetParam(), [&] { return lock->TryLock(); }), 0);
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_EQ(OnOtherThread(GetParam(), [&] {
                  int const taken = lock->TryLock();
                  if (taken) lock->Unlock();
                  return taken;
              }),
              1);
}

TEST_P(CriticalSectionAcrossKinds, HeldByAnotherThreadRefusesBothKinds) {
    Lock lock = MakeLock();
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    auto holder = [&] {
        lock->Lock();
        lock->Lock();
        held = true;
        while (!release) std::this_thread::sleep_for(1ms);
        lock->Unlock();
        lock->Unlock();
    };
    std::unique_ptr<LayerThread> layerHolder;
    std::thread hostHolder;
    if (GetParam() == Kind::Layer) {
        layerHolder = std::make_unique<LayerThread>([&] {
            holder();
            return 0UL;
        });
    } else {
        hostHolder = std::thread(holder);
    }
    ASSERT_TRUE(WaitFor([&] { return held.load(); }));

    EXPECT_EQ(lock->TryLock(), 0) << "the process's first thread";
    EXPECT_EQ(OnOtherThread(Kind::Host, [&] { return lock->TryLock(); }), 0) << "a host thread";
    EXPECT_EQ(OnOtherThread(Kind::Layer, [&] { return lock->TryLock(); }), 0) << "a thread of the layer";

    release = true;
    if (layerHolder) layerHolder->Join();
    if (hostHolder.joinable()) hostHolder.join();
    EXPECT_EQ(lock->TryLock(), 1);
    EXPECT_NE(lock->Unlock(), 0);
}

TEST_P(CriticalSectionAcrossKinds, BlockedLockResumesOnlyAfterTheLastUnlock) {
    Lock lock = MakeLock();
    ASSERT_EQ(lock->Lock(), 1);
    ASSERT_EQ(lock->Lock(), 1);
    std::atomic<bool> trying{false};
    std::atomic<bool> acquired{false};
    auto waiter = [&] {
        trying = true;
        lock->Lock();
        acquired = true;
        lock->Unlock();
    };
    std::unique_ptr<LayerThread> layerWaiter;
    std::thread hostWaiter;
    if (GetParam() == Kind::Layer) {
        layerWaiter = std::make_unique<LayerThread>([&] {
            waiter();
            return 0UL;
        });
    } else {
        hostWaiter = std::thread(waiter);
    }
    ASSERT_TRUE(WaitFor([&] { return trying.load(); }));
    std::this_thread::sleep_for(150ms);  // time to get into its wait; only makes a fault likelier to show
    EXPECT_FALSE(acquired) << "taken while held at depth 2";
    EXPECT_NE(lock->Unlock(), 0);
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(acquired) << "taken after an Unlock that left depth 1";
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_TRUE(WaitFor([&] { return acquired.load(); })) << "never resumed after the last Unlock";
    if (layerWaiter) layerWaiter->Join();
    if (hostWaiter.joinable()) hostWaiter.join();
}

INSTANTIATE_TEST_SUITE_P(Kinds, CriticalSectionAcrossKinds, ::testing::Values(Kind::Layer, Kind::Host),
                         [](::testing::TestParamInfo<Kind> const& param) {
                             return param.param == Kind::Layer ? "LayerThread" : "HostThread";
                         });

// Several waiters and one release at a time: each last Unlock lets exactly the
// next one through, and none is lost on the way.
TEST(CriticalSection, EveryWaiterGetsItsTurn) {
    Lock lock = MakeLock();
    ASSERT_EQ(lock->Lock(), 1);
    constexpr int kWaiters = 4;
    std::atomic<int> entered{0};
    std::atomic<int> done{0};
    std::atomic<bool> go{false};
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    auto body = [&] {
        entered.fetch_add(1);
        lock->Lock();
        if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
        while (!go) std::this_thread::sleep_for(1ms);
        inside.fetch_sub(1);
        done.fetch_add(1);
        lock->Unlock();
    };
    std::thread host1(body), host2(body);
    LayerThread layer1([&] { return body(), 0UL; });
    LayerThread layer2([&] { return body(), 0UL; });
    ASSERT_TRUE(WaitFor([&] { return entered.load() == kWaiters; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(done.load(), 0);
    go = true;
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_TRUE(WaitFor([&] { return done.load() == kWaiters; }));
    host1.join();
    host2.join();
    layer1.Join();
    layer2.Join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(lock->TryLock(), 1);
    EXPECT_NE(lock->Unlock(), 0);
}

// A lock that a layer thread left behind free can be taken by that thread's
// object again after a restart, and by anyone else.
TEST(CriticalSection, ReusedAcrossThreadRestarts) {
    Lock lock = MakeLock();
    std::unique_ptr<CAbstractThread> thread(CreateZelkThread());
    struct Body final : CAbstractRunnable {
        CAbstractCriticalSection* lock = nullptr;
        unsigned long Run() override {
            unsigned long const taken = static_cast<unsigned long>(lock->TryLock());
            if (taken) lock->Unlock();
            return taken;
        }
        char const* GetName() override { return "restarted"; }
    } body;
    body.lock = lock.get();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(thread->Start(&body), 1);
        EXPECT_EQ(thread->Join(), 1UL) << "round " << round;
    }
    EXPECT_EQ(lock->TryLock(), 1);
    EXPECT_NE(lock->Unlock(), 0);
}

TEST(CriticalSectionDeathTest, UnlockOfAFreeLockAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Lock lock = MakeLock();
            lock->Unlock();
        },
        "Unlock without a matching Lock");
}

}  // namespace
