// White-box tests of the platform semaphore and thread, the thread registry
// and the library's process-wide objects.
#include <zelk/portab.h>

#include "layer_thread.h"
#include "platform/semaphore.h"
#include "platform/thread.h"
#include "portab/buffer_pipe.h"
#include "portab/semaphore.h"
#include "portab/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zelk {

struct BufferPipeTestPeer {
    static void Number(CZelkBufferPipe& pipe, std::uint32_t first) {
        pipe.m_firstSequence = pipe.m_nextSequence = first;
    }
};

}  // namespace zelk

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

std::set<zelk::CZelkThread*> Registered() {
    std::set<zelk::CZelkThread*> found;
    zelk::VisitRegisteredThreads([&](zelk::CZelkThread& thread) { found.insert(&thread); });
    return found;
}

// Exactly the objects with a thread attached (running, or ended but not yet
// joined) are registered, never the main object or an idle one.
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

    // Objects start and join all at once while a host thread walks the
    // registry and looks itself up: each started thread must find its own
    // object and name every time, the host thread the main object.
    CAbstractThread* const main = &MyZelkThread();
    std::atomic<bool> stop{false};
    std::thread walker([&] {
        while (!stop.load()) {
            zelk::VisitRegisteredThreads([](zelk::CZelkThread& thread) { EXPECT_NE(thread.GetName(), nullptr); });
            EXPECT_EQ(&MyZelkThread(), main);
        }
    });
    std::vector<std::thread> cyclers;
    for (int c = 0; c < 8; ++c)
        cyclers.emplace_back([&, c] {
            zelk::CZelkThread thread("cycler");
            std::string const name = "cycler " + std::to_string(c);
            FunctionRunnable own(name.c_str(), [&] {
                return &MyZelkThread() == &thread && name == MyZelkThread().GetName() ? 1UL : 2UL;
            });
            for (int n = 0; n < 40; ++n) {
                EXPECT_EQ(thread.Start(&own), 1);
                EXPECT_EQ(thread.Join(), 1UL) << name << " found another object";
            }
        });
    for (std::thread& cycler : cyclers) cycler.join();
    stop = true;
    walker.join();
}

// A thread is created suspended (its entry must not run before Resume) and
// reads "still active" until its entry has returned.
TEST(PlatformThread, SuspendedUntilResumedAndStillActiveUntilTheEnd) {
    std::atomic<int> runs{0};
    for (int i = 0; i < 3; ++i) {
        auto entry = [](void* counter) -> std::uint32_t {
            return static_cast<std::atomic<int>*>(counter)->fetch_add(1);
        };
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

// Sequence numbers run on through 2^32: a pipe that numbers its blocks from
// just below the wrap reports the same progress as one that starts at 0.
TEST(BufferPipe, ReaderProgressRunsOnAcrossTheWrapOfSequenceNumbers) {
    for (std::uint32_t const first : {0u, 0xFFFFFFFEu}) {
        zelk::CZelkBufferPipe pipe(1 << 14, 0, 8);
        zelk::BufferPipeTestPeer::Number(pipe, first);
        std::unique_ptr<CAbstractBufferPipeReader> slow(pipe.CreateReader()), fast(pipe.CreateReader());
        CAbstractBufferPipeReader* raw = fast.get();
        auto const write = [&pipe] { pipe.CommitBlock(pipe.AllocBlock(16, 0, 0)); };
        for (int i = 0; i < 4; ++i) write();
        std::vector<unsigned long> progress{pipe.GetReaderProgress(&raw)};
        for (int i = 0; i < 5; ++i) {  // onto blocks 0 to 3, then past the newest
            fast->Next(0);
            progress.push_back(pipe.GetReaderProgress(&raw));
        }
        write();
        for (int i = 0; i < 3; ++i) slow->Next(0);  // gives back blocks 0 and 1
        progress.push_back(pipe.GetReaderProgress(&raw));
        slow.reset();  // gives back 2 and 3: only block 4 remains, behind the fast reader
        progress.push_back(pipe.GetReaderProgress(&raw));
        EXPECT_EQ(progress, (std::vector<unsigned long>{0, 0, 0, 25, 50, 75, 33, 0})) << "first number " << first;
    }
}

}  // namespace
