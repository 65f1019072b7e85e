// White-box tests of the platform semaphore and thread, the thread registry
// and the library's process-wide objects.
#include <zelk/portab.h>

#include "layer_thread.h"
#include "platform/semaphore.h"
#include "platform/thread.h"
#include "portab/library.h"
#include "portab/semaphore.h"
#include "portab/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <set>
#include <thread>
#include <vector>

// Counts every allocation of the process (this test links the library
// statically, so the library's allocations pass here too).
namespace {
std::atomic<long> g_allocations{0};
std::atomic<long> g_releases{0};

void CountedRelease(void* memory) noexcept {
    if (memory != nullptr) g_releases.fetch_add(1, std::memory_order_relaxed);
    std::free(memory);
}
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { CountedRelease(memory); }
void operator delete(void* memory, std::size_t) noexcept { CountedRelease(memory); }

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::WaitFor;

// Both backends must refuse exactly the counts the Win32 API refuses.
TEST(PlatformSemaphore, RefusesWhatTheSystemRefuses) {
    struct Case {
        long initial;
        long maximum;
        bool valid;
    };
    std::vector<Case> cases = {{0, 1, true},   {2147483647L, 2147483647L, true}, {-1, 1, false},
                               {0, 0, false},  {2, 1, false},                    {0, -5, false}};
    if constexpr (sizeof(long) > 4) {
        cases.push_back({0, static_cast<long>(2147483648LL), false});
        cases.push_back({0, LONG_MAX, false});
    }
    for (Case const c : cases) {
        zelk::os::Semaphore semaphore(c.initial, c.maximum);
        EXPECT_EQ(semaphore.IsValid(), c.valid) << c.initial << " of " << c.maximum;
    }
}

using Wait = zelk::os::Semaphore::Wait;
constexpr Wait kWaits[] = {Wait::kSpinFirst, Wait::kSleepAtOnce};

TEST(PlatformSemaphore, UnitsAreNeitherLostNorMadeUnderContention) {
    // Producers give units, consumers take them with Lock and TryLock through
    // a semaphore whose small maximum makes producers retry.
    constexpr int kPairs = 3;
    constexpr int kUnitsEach = 3000;
    for (Wait const wait : kWaits) {
        zelk::os::Semaphore semaphore(0, 4, wait);
        std::vector<std::thread> threads;
        for (int p = 0; p < kPairs; ++p) {
            threads.emplace_back([&] {
                for (int n = 0; n < kUnitsEach; ++n) {
                    while (!semaphore.Unlock()) zelk::os::YieldThread();
                }
            });
            threads.emplace_back([&, p] {
                for (int n = 0; n < kUnitsEach; ++n) {
                    if (((n + p) & 1) == 0) {
                        EXPECT_EQ(semaphore.Lock(), 1);
                    } else {
                        while (!semaphore.TryLock()) zelk::os::YieldThread();
                    }
                }
            });
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(semaphore.TryLock(), 0) << "a unit was made up";
    }
}

// A semaphore of count K used as a lock that admits K threads: never more
// than K inside, and every thread gets through.  Units given back while
// several threads sleep must each reach a sleeper; one left beside a
// sleeping thread hangs the test (and the timeout fails it).
TEST(PlatformSemaphore, CountingLockAdmitsAtMostItsCountAndWakesEverySleeper) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 4000;
    for (Wait const wait : kWaits) {
        for (int const count : {1, 2, 3}) {
            zelk::os::Semaphore semaphore(count, count, wait);
            std::atomic<int> inside{0};
            std::atomic<int> mostInside{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&] {
                    for (int n = 0; n < kRounds; ++n) {
                        ASSERT_EQ(semaphore.Lock(), 1);
                        int const now = inside.fetch_add(1) + 1;
                        int most = mostInside.load();
                        while (now > most && !mostInside.compare_exchange_weak(most, now)) {
                        }
                        if ((n & 63) == 0) zelk::os::YieldThread();  // let the others fall asleep
                        inside.fetch_sub(1);
                        ASSERT_NE(semaphore.Unlock(), 0);
                    }
                });
            }
            for (auto& thread : threads) thread.join();
            EXPECT_LE(mostInside.load(), count) << "count " << count;
            for (int n = 0; n < count; ++n) EXPECT_EQ(semaphore.TryLock(), 1) << "a unit was lost";
            EXPECT_EQ(semaphore.TryLock(), 0) << "a unit was made up";
        }
    }
}

TEST(ZelkSemaphore, FailedFactoryLeavesNothingAllocated) {
    // Warm up whatever the exception machinery allocates once per process.
    EXPECT_THROW(CreateZelkSemaphore(-1, 1), CZelkResourceExhausted);
    long const allocationsBefore = g_allocations.load();
    long const releasesBefore = g_releases.load();
    for (int i = 0; i < 50; ++i) EXPECT_THROW(CreateZelkSemaphore(2, 1), CZelkResourceExhausted);
    long const allocated = g_allocations.load() - allocationsBefore;
    EXPECT_GE(allocated, 50) << "the counter must see the factory's allocations";
    EXPECT_EQ(allocated, g_releases.load() - releasesBefore) << "a failed construction leaked";
}

TEST(LibraryObjects, BuiltWithTheirStartingValues) {
    zelk::CZelkSemaphore& numbering = zelk::NumberingLock();
    EXPECT_EQ(numbering.TryLock(), 1) << "a lock: count 1";
    EXPECT_EQ(numbering.TryLock(), 0);
    EXPECT_NE(numbering.Unlock(), 0);

    zelk::CZelkThread& main = zelk::MainThread();
    EXPECT_EQ(static_cast<CAbstractThread*>(&main), &MyZelkThread());
    EXPECT_EQ(zelk::CZelkThread::Current(), nullptr) << "the first thread was not started by the library";
}

std::set<zelk::CZelkThread*> Registered() {
    std::set<zelk::CZelkThread*> found;
    zelk::VisitRegisteredThreads([&](zelk::CZelkThread& thread) { found.insert(&thread); });
    return found;
}

// Exactly the objects with a thread attached (running, or ended but not yet
// joined) are registered; never the main object or an idle one.
TEST(ThreadRegistry, HoldsExactlyTheAttachedThreads) {
    zelk::CZelkThread idle("idle");
    zelk::CZelkThread running("running");
    zelk::CZelkThread ended("ended");
    std::unique_ptr<CAbstractSemaphore> go(CreateZelkSemaphore(0));
    FunctionRunnable blocks("blocks", [&] {
        go->Lock();
        return 0UL;
    });
    FunctionRunnable quick("quick", [] { return 0UL; });
    ASSERT_EQ(running.Start(&blocks), 1);
    ASSERT_EQ(ended.Start(&quick), 1);
    ASSERT_TRUE(WaitFor([&] { return ended.IsRunning() == 0; }));
    EXPECT_EQ(Registered(), (std::set<zelk::CZelkThread*>{&running, &ended}));
    ended.Join();
    EXPECT_EQ(Registered(), (std::set<zelk::CZelkThread*>{&running}));
    go->Unlock();
    running.Join();
    EXPECT_TRUE(Registered().empty());
}

TEST(ThreadRegistry, WalkStaysWholeWhileThreadsComeAndGo) {
    std::atomic<bool> stop{false};
    std::thread walker([&] {
        while (!stop.load()) {
            // Only attached objects are visited, and none is destroyed
            // meanwhile: reading the name is safe.
            zelk::VisitRegisteredThreads([](zelk::CZelkThread& thread) { EXPECT_NE(thread.GetName(), nullptr); });
        }
    });
    std::vector<std::thread> controllers;
    for (int c = 0; c < 2; ++c) {
        controllers.emplace_back([] {
            for (int cycle = 0; cycle < 150; ++cycle) {
                auto thread = std::make_unique<zelk::CZelkThread>("cycling");
                FunctionRunnable runnable("cycled", [] { return 1UL; });
                EXPECT_EQ(thread->Start(&runnable), 1);
                EXPECT_EQ(thread->Join(), 1UL);
            }
        });
    }
    for (auto& controller : controllers) controller.join();
    stop = true;
    walker.join();
}

// A thread is created suspended (its entry must not run before Resume) and
// reads "still active" until its entry has returned.
TEST(PlatformThread, SuspendedUntilResumedAndStillActiveUntilTheEnd) {
    std::atomic<int> runs{0};
    auto counting = [](void* argument) -> std::uint32_t {
        static_cast<std::atomic<int>*>(argument)->fetch_add(1);
        return 1;
    };
    for (int i = 0; i < 10; ++i) {
        auto thread = zelk::os::Thread::CreateSuspended(counting, &runs);
        ASSERT_NE(thread, nullptr);
    }
    EXPECT_EQ(runs.load(), 0) << "an unresumed thread ran its entry";

    zelk::os::Semaphore go(0, 1);
    auto waiting = [](void* argument) -> std::uint32_t {
        static_cast<zelk::os::Semaphore*>(argument)->Lock();
        return 42;
    };
    auto thread = zelk::os::Thread::CreateSuspended(waiting, &go);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(thread->Resume());
    std::uint32_t code = 0;
    EXPECT_TRUE(thread->GetExitCode(code));
    EXPECT_EQ(code, zelk::os::kStillActive);
    EXPECT_FALSE(thread->WaitForEnd(1)) << "still blocked";
    go.Unlock();
    while (!thread->WaitForEnd(100)) {
    }
    EXPECT_TRUE(thread->GetExitCode(code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(thread->WaitForEnd(0)) << "an ended thread stays ended";
}

}  // namespace
