// Contract tests of CreateZelkCriticalSection through the exported interface.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

using zelk::test::LayerThread;
using zelk::test::WaitFor;
using namespace std::chrono_literals;

using Lock = std::unique_ptr<CAbstractCriticalSection>;

// Threads of the layer have their own thread objects; host threads all share
// the main thread object, so only the system's identity tells them apart.
enum class Kind { Layer, Host };

// Runs `body` on a new thread of the given kind; Join (or the destructor)
// waits for it.
class OtherThread {
public:
    OtherThread(Kind kind, std::function<void()> body) {
        if (kind == Kind::Layer) {
            m_layer = std::make_unique<LayerThread>([body] { return body(), 0UL; });
            EXPECT_TRUE(m_layer->Started());
        } else {
            m_host = std::thread(std::move(body));
        }
    }
    OtherThread(OtherThread const&) = delete;
    OtherThread& operator=(OtherThread const&) = delete;
    ~OtherThread() { Join(); }
    void Join() {
        if (m_layer) m_layer->Join();
        if (m_host.joinable()) m_host.join();
    }

private:
    std::unique_ptr<LayerThread> m_layer;
    std::thread m_host;
};

// TryLock on another thread of the given kind, giving back what it took.
int TryFrom(Kind kind, CAbstractCriticalSection& lock) {
    int result = -1;
    OtherThread(kind, [&] {
        result = lock.TryLock();
        if (result == 1) lock.Unlock();
    }).Join();
    return result;
}

// The owner re-enters with Lock and TryLock, through the semaphore interface
// too, and holds the lock against both kinds of thread until its last Unlock.
TEST(CriticalSection, OwnerReentersAndHoldsUntilTheLastUnlock) {
    Lock lock(CreateZelkCriticalSection());
    ASSERT_NE(lock, nullptr);
    CAbstractSemaphore& semaphore = *lock;
    EXPECT_EQ(semaphore.Lock(), 1);
    EXPECT_EQ(semaphore.Lock(), 1);
    EXPECT_EQ(semaphore.TryLock(), 1);
    for (int depth = 2; depth >= 0; --depth) {
        EXPECT_NE(semaphore.Unlock(), 0);
        int const expected = depth == 0 ? 1 : 0;
        EXPECT_EQ(TryFrom(Kind::Layer, *lock), expected) << "a layer thread at depth " << depth;
        EXPECT_EQ(TryFrom(Kind::Host, *lock), expected) << "a host thread at depth " << depth;
    }
    EXPECT_EQ(lock->TryLock(), 1) << "the others gave it back";
    EXPECT_NE(lock->Unlock(), 0);
}

class CriticalSectionAcrossKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(CriticalSectionAcrossKinds, HeldByAnotherThreadRefusesEveryOther) {
    Lock lock(CreateZelkCriticalSection());
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    OtherThread holder(GetParam(), [&] {
        lock->Lock();
        lock->Lock();
        held = true;
        while (!release) std::this_thread::sleep_for(1ms);
        lock->Unlock();
        lock->Unlock();
    });
    ASSERT_TRUE(WaitFor([&] { return held.load(); }));
    EXPECT_EQ(lock->TryLock(), 0) << "the process's first thread";
    EXPECT_EQ(TryFrom(Kind::Host, *lock), 0) << "a host thread";
    EXPECT_EQ(TryFrom(Kind::Layer, *lock), 0) << "a thread of the layer";
    release = true;
    holder.Join();
    EXPECT_EQ(lock->TryLock(), 1);
    EXPECT_NE(lock->Unlock(), 0);
}

TEST_P(CriticalSectionAcrossKinds, BlockedLockResumesOnlyAfterTheLastUnlock) {
    Lock lock(CreateZelkCriticalSection());
    ASSERT_EQ(lock->Lock(), 1);
    ASSERT_EQ(lock->Lock(), 1);
    std::atomic<bool> trying{false};
    std::atomic<bool> acquired{false};
    OtherThread waiter(GetParam(), [&] {
        trying = true;
        lock->Lock();
        acquired = true;
        lock->Unlock();
    });
    ASSERT_TRUE(WaitFor([&] { return trying.load(); }));
    std::this_thread::sleep_for(150ms);  // time to get into its wait; only makes a fault likelier to show
    EXPECT_FALSE(acquired) << "taken while held at depth 2";
    EXPECT_NE(lock->Unlock(), 0);
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(acquired) << "taken after an Unlock that left depth 1";
    EXPECT_NE(lock->Unlock(), 0);
    EXPECT_TRUE(WaitFor([&] { return acquired.load(); })) << "never resumed after the last Unlock";
}

INSTANTIATE_TEST_SUITE_P(Kinds, CriticalSectionAcrossKinds, ::testing::Values(Kind::Layer, Kind::Host),
                         [](::testing::TestParamInfo<Kind> const& param) {
                             return param.param == Kind::Layer ? "LayerThread" : "HostThread";
                         });

TEST(CriticalSectionDeathTest, UnlockOfAFreeLockAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Lock lock(CreateZelkCriticalSection());
            lock->Unlock();
        },
        "Unlock without a matching Lock");
}

}  // namespace
