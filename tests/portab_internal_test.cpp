// White-box tests of the platform semaphore and thread, the thread registry
// and the library's process-wide objects.
#include <zelk/portab.h>

#include "platform/semaphore.h"
#include "platform/thread.h"
#include "portab/library.h"
#include "portab/semaphore.h"
#include "portab/signals.h"
#include "portab/thread.h"
#include "portab_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
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
}  // namespace

namespace {
void* CountedAllocate(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void CountedRelease(void* memory) noexcept {
    if (memory != nullptr) {
        g_releases.fetch_add(1, std::memory_order_relaxed);
    }
    std::free(memory);
}
}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void operator delete(void* memory) noexcept { CountedRelease(memory); }
void operator delete(void* memory, std::size_t) noexcept { CountedRelease(memory); }

namespace {

using zelk::portab_test::Eventually;
using zelk::portab_test::FunctionRunnable;

TEST(PlatformSemaphore, RefusesWhatTheSystemRefuses) {
    struct Case {
        long initial;
        long maximum;
        bool valid;
    };
    std::vector<Case> cases = {{0, 1, true},   {1, 1, true},    {0, 2147483647L, true}, {2147483647L, 2147483647L, true},
                               {-1, 1, false}, {0, 0, false},   {2, 1, false},          {0, -5, false},
                               {1, 0, false},  {LONG_MIN, 1, false}};
    if constexpr (sizeof(long) > 4) {
        cases.push_back({0, static_cast<long>(2147483648LL), false});
        cases.push_back({static_cast<long>(2147483648LL), static_cast<long>(2147483648LL), false});
        cases.push_back({0, LONG_MAX, false});
    }
    for (Case const c : cases) {
        zelk::os::Semaphore semaphore(c.initial, c.maximum);
        EXPECT_EQ(semaphore.IsValid(), c.valid) << c.initial << " of " << c.maximum;
    }
}

TEST(PlatformSemaphore, CountsUpToTheMaximumExactly) {
    zelk::os::Semaphore semaphore(0, 3);
    EXPECT_EQ(semaphore.Unlock(), 1);
    EXPECT_EQ(semaphore.Unlock(), 1);
    EXPECT_EQ(semaphore.Unlock(), 1);
    EXPECT_EQ(semaphore.Unlock(), 0);
    EXPECT_EQ(semaphore.TryLock(), 1);
    EXPECT_EQ(semaphore.Lock(), 1);
    EXPECT_EQ(semaphore.TryLock(), 1);
    EXPECT_EQ(semaphore.TryLock(), 0);
}

TEST(PlatformSemaphore, UnitsAreNeitherLostNorMadeUnderContention) {
    // Producers give units, consumers take them, through a semaphore whose
    // small maximum makes producers retry: every unit given is taken once.
    constexpr int kProducers = 3;
    constexpr int kConsumers = 3;
    constexpr int kUnitsEach = 20000;
    zelk::os::Semaphore semaphore(0, 4);
    std::atomic<long> refused{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p) {
        threads.emplace_back([&] {
            for (int n = 0; n < kUnitsEach; ++n) {
                while (!semaphore.Unlock()) {
                    refused.fetch_add(1, std::memory_order_relaxed);
                    zelk::os::YieldThread();
                }
            }
        });
    }
    for (int c = 0; c < kConsumers; ++c) {
        threads.emplace_back([&, c] {
            for (int n = 0; n < kUnitsEach; ++n) {
                if (((n + c) & 1) == 0) {
                    EXPECT_EQ(semaphore.Lock(), 1);
                } else {
                    while (!semaphore.TryLock()) {
                        zelk::os::YieldThread();
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(semaphore.TryLock(), 0) << "a unit was made up";
}

TEST(ZelkSemaphore, MutualExclusionAsALock) {
    // A plain counter under the lock: ThreadSanitizer reports a race if Lock
    // and Unlock do not order the critical sections.
    zelk::CZelkSemaphore lock(1, zelk::kMaximumSemaphoreCount);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int n = 0; n < 20000; ++n) {
                zelk::SemaphoreLock guard(lock);
                ++counter;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 80000);
}

TEST(ZelkSemaphore, FailedFactoryLeavesNothingAllocated) {
    // Warm up whatever the exception machinery allocates once per process.
    EXPECT_THROW(CreateZelkSemaphore(-1, 1), CZelkResourceExhausted);
    long const allocationsBefore = g_allocations.load();
    long const releasesBefore = g_releases.load();
    for (int i = 0; i < 50; ++i) {
        EXPECT_THROW(CreateZelkSemaphore(2, 1), CZelkResourceExhausted);
    }
    long const allocated = g_allocations.load() - allocationsBefore;
    long const released = g_releases.load() - releasesBefore;
    EXPECT_GE(allocated, 50) << "the counter must see the factory's allocations";
    EXPECT_EQ(allocated, released) << "a failed construction leaked";
}

TEST(LibraryObjects, BuiltInOrderWithTheirStartingValues) {
    EXPECT_EQ(zelk::NumberingCounter(), 0u) << "no error made in this process yet";
    zelk::CZelkSemaphore& numbering = zelk::NumberingLock();
    EXPECT_EQ(numbering.TryLock(), 1) << "a lock: count 1";
    EXPECT_EQ(numbering.TryLock(), 0);
    EXPECT_NE(numbering.Unlock(), 0);
    EXPECT_EQ(&zelk::NumberingLock(), &numbering);

    zelk::CZelkThread& main = zelk::MainThread();
    EXPECT_EQ(static_cast<CAbstractThread*>(&main), &MyZelkThread());
    EXPECT_STREQ(main.GetName(), "Main");
    EXPECT_EQ(main.GetPriority(), 0);
    EXPECT_EQ(zelk::CZelkThread::Current(), nullptr) << "the first thread was not started by the library";
    bool mainRegistered = false;
    zelk::VisitRegisteredThreads([&](zelk::CZelkThread& thread) { mainRegistered |= &thread == &main; });
    EXPECT_FALSE(mainRegistered) << "the main object is never in the registry";
}

std::set<zelk::CZelkThread*> Registered() {
    std::set<zelk::CZelkThread*> found;
    zelk::VisitRegisteredThreads([&](zelk::CZelkThread& thread) { found.insert(&thread); });
    return found;
}

TEST(ThreadRegistry, HoldsExactlyTheAttachedThreads) {
    zelk::CZelkThread idle("idle");
    zelk::CZelkThread running("running");
    zelk::CZelkThread ended("ended");
    std::unique_ptr<CAbstractSemaphore> go(CreateZelkSemaphore(0));
    zelk::CZelkThread* seenInside = nullptr;
    FunctionRunnable blocks("blocks", [&] {
        seenInside = zelk::CZelkThread::Current();
        go->Lock();
        return 0UL;
    });
    FunctionRunnable quick("quick", [] { return 0UL; });
    ASSERT_EQ(running.Start(&blocks), 1);
    ASSERT_EQ(ended.Start(&quick), 1);
    ASSERT_TRUE(Eventually([&] { return ended.IsRunning() == 0; }));

    std::set<zelk::CZelkThread*> found = Registered();
    EXPECT_EQ(found.count(&idle), 0u);
    EXPECT_EQ(found.count(&running), 1u);
    EXPECT_EQ(found.count(&ended), 1u) << "ended but not joined: still attached";

    ended.Join();
    EXPECT_EQ(Registered().count(&ended), 0u);
    go->Unlock();
    running.Join();
    EXPECT_EQ(seenInside, &running);
    found = Registered();
    EXPECT_EQ(found.count(&running), 0u);
    EXPECT_EQ(found.count(&ended), 0u);
}

TEST(ThreadRegistry, WalkStaysWholeWhileThreadsComeAndGo) {
    constexpr int kCycles = 200;
    std::atomic<bool> stop{false};
    std::atomic<long> walks{0};
    std::thread walker([&] {
        while (!stop.load()) {
            zelk::VisitRegisteredThreads([](zelk::CZelkThread& thread) {
                // Only attached objects are visited, and none is destroyed
                // meanwhile: reading the name is safe.
                EXPECT_NE(thread.GetName(), nullptr);
            });
            walks.fetch_add(1);
        }
    });
    std::vector<std::thread> controllers;
    for (int c = 0; c < 2; ++c) {
        controllers.emplace_back([&] {
            for (int cycle = 0; cycle < kCycles; ++cycle) {
                auto thread = std::make_unique<zelk::CZelkThread>("cycling");
                FunctionRunnable runnable("cycled", [] { return 1UL; });
                EXPECT_EQ(thread->Start(&runnable), 1);
                EXPECT_EQ(thread->Join(), 1UL);
            }
        });
    }
    for (auto& controller : controllers) {
        controller.join();
    }
    stop.store(true);
    walker.join();
    EXPECT_GT(walks.load(), 0);
}

TEST(PlatformThread, UnresumedThreadNeverRunsItsEntry) {
    std::atomic<int> runs{0};
    auto entry = [](void* argument) -> std::uint32_t {
        static_cast<std::atomic<int>*>(argument)->fetch_add(1);
        return 1;
    };
    for (int i = 0; i < 20; ++i) {
        auto thread = zelk::os::Thread::CreateSuspended(entry, &runs);
        ASSERT_NE(thread, nullptr);
        std::uint32_t code = 0;
        EXPECT_TRUE(thread->GetExitCode(code));
        EXPECT_EQ(code, zelk::os::kStillActive);
    }
    EXPECT_EQ(runs.load(), 0);
}

TEST(PlatformThread, ExitCodeReadsStillActiveUntilTheEnd) {
    zelk::os::Semaphore go(0, 1);
    auto entry = [](void* argument) -> std::uint32_t {
        static_cast<zelk::os::Semaphore*>(argument)->Lock();
        return 42;
    };
    auto thread = zelk::os::Thread::CreateSuspended(entry, &go);
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

TEST(PlatformThread, CurrentThreadIdTellsThreadsApart) {
    zelk::os::ThreadId const mine = zelk::os::CurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(zelk::os::CurrentThreadId(), mine);
    std::vector<zelk::os::ThreadId> others(8);
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (std::size_t i = 0; i < others.size(); ++i) {
        threads.emplace_back([&, i] {
            others[i] = zelk::os::CurrentThreadId();
            // All alive at once, so no id can be reused.
            ready.fetch_add(1);
            while (ready.load() < static_cast<int>(others.size())) {
                std::this_thread::yield();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<zelk::os::ThreadId> distinct(others.begin(), others.end());
    distinct.insert(mine);
    EXPECT_EQ(distinct.size(), others.size() + 1);
    EXPECT_EQ(distinct.count(0), 0u);
}

TEST(Signals, WaitRegistersTheCallersObject) {
    // The waiter field names the thread in Wait; visible through the fact
    // that a waiting library thread is woken through a set that is not its
    // own, and that Wait works on threads the library did not start.
    zelk::CZelkSignals set;
    zelk::CZelkThread thread("waiter");
    FunctionRunnable waits("waits", [&] { return set.Wait(0x10); });
    ASSERT_EQ(thread.Start(&waits), 1);
    set.Signal(0x30);
    EXPECT_EQ(thread.Join(), 0x10UL);
    EXPECT_EQ(set.GetSignals(), 0x20UL);
    EXPECT_EQ(set.Wait(0x20), 0x20UL);
}

}  // namespace
