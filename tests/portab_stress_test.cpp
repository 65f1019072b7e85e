// Stress tests of signal sets and threads: many threads at once, bounded in
// work (not in time), so they end by themselves and stay quick enough under
// ThreadSanitizer and Wine.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::FunctionRunnable;
using Thread = std::unique_ptr<CAbstractThread>;
using Signals = std::unique_ptr<CAbstractSignals>;

// Each signaller owns one bit of a shared set and sends it again only once
// the waiter has taken it and answered on the signaller's own set, so every
// signal must be taken exactly once: a lost wake-up hangs the test (and its
// timeout fails it), a double take breaks the counts.  A noise thread
// meanwhile signals and clears bits the waiter never asks for and takes the
// state lock with allocation calls, which opens the windows where a
// signaller runs beside another holder of that lock.
TEST(SignalsStress, ManySignallersAgainstOneWaiter) {
    constexpr int kSignallers = 8;
    constexpr int kRounds = 600;
    constexpr unsigned long kStopBit = 1UL << 31;
    constexpr unsigned long kNoiseBits = 0x00FF0000UL;
    Signals hub(CreateZelkSignals());
    std::array<Signals, kSignallers> answers;
    for (auto& answer : answers) answer.reset(CreateZelkSignals());
    std::array<int, kSignallers> taken{};

    std::thread waiter([&] {
        unsigned long const mask = ((1UL << kSignallers) - 1) | kStopBit;
        for (;;) {
            unsigned long const bits = hub->Wait(mask);
            EXPECT_NE(bits, 0UL);
            EXPECT_EQ(bits & ~mask, 0UL) << "Wait took bits outside its mask";
            for (std::size_t i = 0; i < kSignallers; ++i) {
                if ((bits & (1UL << i)) != 0) {
                    ++taken[i];
                    answers[i]->Signal(1);
                }
            }
            if ((bits & kStopBit) != 0) return;
        }
    });
    std::atomic<bool> stopNoise{false};
    std::thread noise([&] {
        while (!stopNoise.load()) {
            hub->Signal(kNoiseBits);
            int const number = hub->AllocSignal();
            if (number < 32) hub->FreeSignals(1UL << number);
            hub->ClearSignals(kNoiseBits);
        }
    });
    std::vector<std::thread> signallers;
    for (std::size_t i = 0; i < kSignallers; ++i) {
        signallers.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) {
                hub->Signal(1UL << i);
                EXPECT_EQ(answers[i]->Wait(1), 1UL);
            }
        });
    }
    for (auto& signaller : signallers) signaller.join();
    hub->Signal(kStopBit);
    waiter.join();
    stopNoise = true;
    noise.join();
    for (std::size_t i = 0; i < kSignallers; ++i) EXPECT_EQ(taken[i], kRounds) << "signaller " << i;
    EXPECT_EQ(hub->GetSignals() & ~kNoiseBits, 0UL) << "nothing left pending";
}

// Threads are started and joined in a loop by several controllers while host
// threads keep looking themselves up: each started thread must find its own
// object, each host thread the main object.
TEST(ThreadStress, StartAndJoinWhileOthersLookThemselvesUp) {
    constexpr int kControllers = 3;
    constexpr int kCycles = 80;
    CAbstractThread* const main = &MyZelkThread();
    std::atomic<bool> stop{false};
    std::atomic<long> lookups{0};
    std::vector<std::thread> lookers;
    for (int i = 0; i < 2; ++i) {
        lookers.emplace_back([&] {
            while (!stop.load()) {
                CAbstractThread& mine = MyZelkThread();
                EXPECT_EQ(&mine, main);
                EXPECT_STREQ(mine.GetName(), "Main");
                lookups.fetch_add(1);
            }
        });
    }
    std::vector<std::thread> controllers;
    for (int c = 0; c < kControllers; ++c) {
        controllers.emplace_back([&, c] {
            Thread thread(CreateZelkThread());
            std::string const name = "cycler " + std::to_string(c);
            for (unsigned long cycle = 0; cycle < kCycles; ++cycle) {
                FunctionRunnable runnable(name.c_str(), [&, cycle] {
                    CAbstractThread& mine = MyZelkThread();
                    return &mine == thread.get() && name == mine.GetName() ? cycle : 1000000UL;
                });
                ASSERT_EQ(thread->Start(&runnable), 1);
                ASSERT_EQ(thread->Join(), cycle);
            }
        });
    }
    for (auto& controller : controllers) controller.join();
    stop = true;
    for (auto& looker : lookers) looker.join();
    EXPECT_GT(lookups.load(), 0);
}

// 32 threads at once, started together so the lookups overlap, each checking
// many times that MyZelkThread gives its own object, name and error list.
TEST(ThreadStress, ThirtyTwoThreadsEachFindTheirOwnObject) {
    constexpr int kThreads = 32;
    constexpr int kLooks = 2000;
    std::vector<Thread> threads;
    std::vector<std::unique_ptr<FunctionRunnable>> runnables;
    std::atomic<int> ready{0};
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back(CreateZelkThread());
        CAbstractThread* const expected = threads.back().get();
        std::string const name = "thread " + std::to_string(i);
        runnables.push_back(std::make_unique<FunctionRunnable>(name.c_str(), [&ready, expected, name]() -> unsigned long {
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            unsigned long wrong = 0;
            for (int look = 0; look < kLooks; ++look) {
                CAbstractThread& mine = MyZelkThread();
                if (&mine != expected || name != mine.GetName() || &mine.GetErrorList() != &expected->GetErrorList()) ++wrong;
            }
            return wrong;
        }));
    }
    for (std::size_t i = 0; i < kThreads; ++i) {
        if (threads[i]->Start(runnables[i].get()) != 1) {
            ADD_FAILURE() << "thread " << i << " did not start";
            ready.fetch_add(1);  // so the others do not wait for it
        }
    }
    for (std::size_t i = 0; i < kThreads; ++i) EXPECT_EQ(threads[i]->Join(), 0UL) << "thread " << i;
}

}  // namespace
