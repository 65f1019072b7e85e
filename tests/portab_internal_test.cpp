// White-box tests of the platform semaphore and thread, the thread registry
// and the library's process-wide objects.
#include <zelk/portab.h>

#include "layer_thread.h"
#include "platform/semaphore.h"
#include "platform/thread.h"
#include "portab/semaphore.h"
#include "portab/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::WaitFor;
using Wait = zelk::os::Semaphore::Wait;
constexpr Wait kWaits[] = {Wait::kSpinFirst, Wait::kSleepAtOnce};

// Producers give units through a small maximum (so they retry), consumers
// take them with Lock and TryLock: a lost unit hangs a consumer (the timeout
// fails it), a made-up one is left over at the end.
TEST(PlatformSemaphore, UnitsAreNeitherLostNorMadeUnderContention) {
    constexpr int kPairs = 3, kUnitsEach = 3000;
    for (Wait const wait : kWaits) {
        zelk::os::Semaphore semaphore(0, 4, wait);
        std::vector<std::thread> threads;
        for (int p = 0; p < kPairs; ++p) {
            threads.emplace_back([&] {
                for (int n = 0; n < kUnitsEach; ++n)
                    while (!semaphore.Unlock()) zelk::os::YieldThread();
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
// than K inside, and every unit given back while several threads sleep must
// reach a sleeper (one left beside a sleeping thread hangs the test).
TEST(PlatformSemaphore, CountingLockAdmitsAtMostItsCountAndWakesEverySleeper) {
    constexpr int kThreads = 6, kRounds = 4000;
    for (Wait const wait : kWaits) {
        for (int const count : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << "count " << count << (wait == Wait::kSpinFirst ? ", spin" : ", sleep"));
            zelk::os::Semaphore semaphore(count, count, wait);
            std::atomic<int> inside{0}, crowded{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&] {
                    for (int n = 0; n < kRounds; ++n) {
                        ASSERT_EQ(semaphore.Lock(), 1);
                        if (inside.fetch_add(1) >= count) crowded.fetch_add(1);
                        if ((n & 63) == 0) zelk::os::YieldThread();  // let the others fall asleep
                        inside.fetch_sub(1);
                        ASSERT_NE(semaphore.Unlock(), 0);
                    }
                });
            }
            for (auto& thread : threads) thread.join();
            EXPECT_EQ(crowded.load(), 0) << "more than the count inside";
            for (int n = 0; n < count; ++n) EXPECT_EQ(semaphore.TryLock(), 1) << "a unit was lost";
            EXPECT_EQ(semaphore.TryLock(), 0) << "a unit was made up";
        }
    }
}

std::set<zelk::CZelkThread*> Registered() {
    std::set<zelk::CZelkThread*> found;
    zelk::VisitRegisteredThreads([&](zelk::CZelkThread& thread) { found.insert(&thread); });
    return found;
}

// Exactly the objects with a thread attached (running, or ended but not yet
// joined) are registered, never the main object or an idle one; and a walk
// may read the name while threads start and end around it.
TEST(ThreadRegistry, HoldsExactlyTheAttachedThreadsAndStaysWholeUnderChange) {
    zelk::CZelkThread idle("idle"), running("running"), ended("ended");
    std::unique_ptr<CAbstractSemaphore> go(CreateZelkSemaphore(0));
    FunctionRunnable blocks("blocks", [&] { return go->Lock(), 0UL; });
    FunctionRunnable quick("quick", [] { return 1UL; });
    ASSERT_EQ(running.Start(&blocks), 1);
    ASSERT_EQ(ended.Start(&quick), 1);
    ASSERT_TRUE(WaitFor([&] { return ended.IsRunning() == 0; }));
    EXPECT_EQ(Registered(), (std::set<zelk::CZelkThread*>{&running, &ended}));
    ended.Join();
    EXPECT_EQ(Registered(), (std::set<zelk::CZelkThread*>{&running}));
    go->Unlock();
    running.Join();
    EXPECT_TRUE(Registered().empty());

    std::atomic<bool> stop{false};
    std::thread walker([&] {
        while (!stop.load()) zelk::VisitRegisteredThreads([](zelk::CZelkThread& thread) { EXPECT_NE(thread.GetName(), nullptr); });
    });
    auto cycle = [&](zelk::CZelkThread& thread) {
        for (int n = 0; n < 150; ++n) {
            EXPECT_EQ(thread.Start(&quick), 1);
            EXPECT_EQ(thread.Join(), 1UL);
        }
    };
    std::thread other([&] { cycle(running); });
    cycle(ended);
    other.join();
    stop = true;
    walker.join();
}

// A thread is created suspended (its entry must not run before Resume) and
// reads "still active" until its entry has returned.
TEST(PlatformThread, SuspendedUntilResumedAndStillActiveUntilTheEnd) {
    std::atomic<int> runs{0};
    for (int i = 0; i < 3; ++i) {
        auto entry = [](void* counter) -> std::uint32_t { return static_cast<std::atomic<int>*>(counter)->fetch_add(1); };
        ASSERT_NE(zelk::os::Thread::CreateSuspended(entry, &runs), nullptr);
    }
    EXPECT_EQ(runs.load(), 0) << "an unresumed thread ran its entry";
    zelk::os::Semaphore go(0, 1);
    auto thread = zelk::os::Thread::CreateSuspended(
        [](void* semaphore) -> std::uint32_t { return static_cast<zelk::os::Semaphore*>(semaphore)->Lock(), 42; }, &go);
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
}

}  // namespace
