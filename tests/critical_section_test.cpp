// Contract tests of CreateZelkCriticalSection through the exported
// interface.  Threads of the layer have their own thread objects; host
// threads all share the main thread object, so only the system's identity
// tells them apart: the cases run against both kinds.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using zelk::test::LayerThread;
using zelk::test::WaitFor;
using namespace std::chrono_literals;
using Lock = std::unique_ptr<CAbstractCriticalSection>;

enum class Kind { Layer, Host };
constexpr Kind kKinds[] = {Kind::Layer, Kind::Host};
char const* NameOf(Kind kind) { return kind == Kind::Layer ? "layer thread" : "host thread"; }

// Runs `body` on a new thread of the given kind; destroying it joins.
struct OtherThread {
    std::unique_ptr<LayerThread> layer;
    std::thread host;
    ~OtherThread() {
        if (host.joinable()) host.join();
    }
};
std::unique_ptr<OtherThread> Spawn(Kind kind, std::function<void()> body) {
    auto other = std::make_unique<OtherThread>();
    if (kind == Kind::Host)
        other->host = std::thread(std::move(body));
    else
        other->layer = std::make_unique<LayerThread>([body] { return body(), 0UL; });
    return other;
}

// TryLock on another thread of the given kind, giving back what it took.
int TryFrom(Kind kind, CAbstractCriticalSection& lock) {
    int result = -1;
    Spawn(kind, [&] {
        if ((result = lock.TryLock()) == 1) lock.Unlock();
    });
    return result;
}

// Held twice by another thread of either kind, the lock refuses the first
// thread and threads of both kinds (a host holder shares the main thread
// object with the first thread), and a Lock of the other kind waiting
// meanwhile resumes only after the holder's last Unlock.
TEST(CriticalSection, HeldByAnotherThreadExcludesOthersUntilItsLastUnlock) {
    for (Kind const holderKind : kKinds) {
        SCOPED_TRACE(NameOf(holderKind));
        Lock lock(CreateZelkCriticalSection());
        std::atomic<int> unlocks{0};  // how many Unlocks the holder may do
        std::atomic<bool> held{false}, acquired{false};
        auto holder = Spawn(holderKind, [&] {
            lock->Lock();
            lock->Lock();
            held = true;
            for (int done = 0; done < 2; ++done) {
                while (unlocks <= done) std::this_thread::sleep_for(1ms);
                lock->Unlock();
            }
        });
        ASSERT_TRUE(WaitFor([&] { return held.load(); }));
        EXPECT_EQ(lock->TryLock(), 0) << "the process's first thread";
        for (Kind const kind : kKinds) EXPECT_EQ(TryFrom(kind, *lock), 0) << NameOf(kind);
        auto waiter = Spawn(holderKind == Kind::Host ? Kind::Layer : Kind::Host, [&] {
            lock->Lock();
            acquired = true;
            lock->Unlock();
        });
        std::this_thread::sleep_for(150ms);  // time to get into its wait; only makes a fault likelier to show
        unlocks = 1;
        std::this_thread::sleep_for(150ms);
        EXPECT_FALSE(acquired) << "taken before the holder's last Unlock";
        unlocks = 2;
        EXPECT_TRUE(WaitFor([&] { return acquired.load(); })) << "never resumed after the last Unlock";
    }
}

TEST(CriticalSectionDeathTest, UnlockOfAFreeLockAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Lock(CreateZelkCriticalSection())->Unlock(), "Unlock without a matching Lock");
}

// Four host and four layer threads take one lock with recursion, TryLock
// and Lock mixed.  A failed TryLock must leave nothing behind, the owner
// always re-enters at once and holds the lock until its last Unlock, and only
// the lock keeps the plain counter whole.
// Rounds are kept small for Wine, where every semaphore operation visits the
// server.
TEST(CriticalSectionStress, EightThreadsExcludeEachOther) {
    constexpr int kRounds = 1000, kThreads = 8;
    Lock lock(CreateZelkCriticalSection());
    std::atomic<int> inside{0}, overlaps{0};
    long counter = 0;
    auto work = [&](int seed) {
        for (int round = 0; round < kRounds; ++round) {
            int levels = 1;
            if ((round + seed) % 3 == 1) {
                if (!lock->TryLock()) lock->Lock();
            } else {
                lock->Lock();
                if ((round + seed) % 3 == 2) levels += lock->Lock();
            }
            if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
            EXPECT_EQ(lock->TryLock(), 1) << "the owner re-enters at once";
            ++levels;
            long const seen = counter;
            if (round % 64 == 0) std::this_thread::yield();  // widen the window a broken lock would leave
            counter = seen + 1;
            inside.fetch_sub(1);
            while (levels-- > 0) lock->Unlock();
        }
    };
    {
        std::vector<std::unique_ptr<OtherThread>> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.push_back(Spawn(i % 2 ? Kind::Layer : Kind::Host, [&work, i] { work(i); }));
    }
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, long{kThreads} * kRounds);
    EXPECT_EQ(lock->TryLock(), 1) << "free again for anyone";
    EXPECT_NE(lock->Unlock(), 0);
}

}  // namespace
