// Stress tests of signal sets and threads: many threads at once, bounded in
// work (not in time), so they end by themselves and stay quick enough under
// ThreadSanitizer and Wine.
#include <zelk/portab.h>

#include "portab_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::portab_test::FunctionRunnable;
using Thread = std::unique_ptr<CAbstractThread>;
using Signals = std::unique_ptr<CAbstractSignals>;

// Each signaller owns one bit of a shared set and sends it again only once
// the waiter has taken it and answered on the signaller's own set, so every
// signal is observable and must be taken exactly once: a lost wake-up hangs
// the test (and its timeout fails it), a double take breaks the counts.
// Noise threads meanwhile signal and clear bits the waiter never asks for and
// take the state lock with allocation calls, which opens the windows where a
// signaller runs beside another holder of that lock.
TEST(SignalsStress, ManySignallersAgainstOneWaiter) {
    constexpr int kSignallers = 8;
    constexpr int kRounds = 800;
    constexpr unsigned long kStopBit = 1UL << 31;
    constexpr unsigned long kNoiseBits = 0x00FF0000UL;
    Signals hub(CreateZelkSignals());
    std::array<Signals, kSignallers> answers;
    for (auto& answer : answers) {
        answer.reset(CreateZelkSignals());
    }
    std::array<int, kSignallers> taken{};

    std::thread waiter([&] {
        unsigned long const mask = ((1UL << kSignallers) - 1) | kStopBit;
        for (;;) {
            unsigned long const bits = hub->Wait(mask);
            EXPECT_NE(bits, 0UL);
            EXPECT_EQ(bits & ~mask, 0UL) << "Wait took bits outside its mask";
            for (int i = 0; i < kSignallers; ++i) {
                if ((bits & (1UL << i)) != 0) {
                    ++taken[static_cast<std::size_t>(i)];
                    answers[static_cast<std::size_t>(i)]->Signal(1);
                }
            }
            if ((bits & kStopBit) != 0) {
                return;
            }
        }
    });

    std::atomic<bool> stopNoise{false};
    std::vector<std::thread> noise;
    noise.emplace_back([&] {
        while (!stopNoise.load()) {
            hub->Signal(kNoiseBits);
            hub->ClearSignals(kNoiseBits);
        }
    });
    noise.emplace_back([&] {
        while (!stopNoise.load()) {
            int const number = hub->AllocSignal();
            if (number < 32) {
                hub->FreeSignals(1UL << number);
            }
            (void)hub->GetSignals();
        }
    });

    std::vector<std::thread> signallers;
    for (int i = 0; i < kSignallers; ++i) {
        signallers.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) {
                hub->Signal(1UL << i);
                EXPECT_EQ(answers[static_cast<std::size_t>(i)]->Wait(1), 1UL);
            }
        });
    }
    for (auto& signaller : signallers) {
        signaller.join();
    }
    hub->Signal(kStopBit);
    waiter.join();
    stopNoise.store(true);
    for (auto& thread : noise) {
        thread.join();
    }
    for (int i = 0; i < kSignallers; ++i) {
        EXPECT_EQ(taken[static_cast<std::size_t>(i)], kRounds) << "signaller " << i;
    }
    EXPECT_EQ(hub->GetSignals() & ~kNoiseBits, 0UL) << "nothing left pending";
}

// Signals that coalesce: free-running signallers of one bit each; the waiter
// takes until it has seen every signaller's last signal.  Ends only if no
// final signal is lost.
TEST(SignalsStress, CoalescingSignalsNeverLoseTheLastOne) {
    constexpr int kSignallers = 6;
    constexpr int kSignals = 1000;
    Signals hub(CreateZelkSignals());
    std::array<std::atomic<int>, kSignallers> sent{};
    std::array<std::atomic<bool>, kSignallers> done{};
    std::vector<std::thread> signallers;
    for (int i = 0; i < kSignallers; ++i) {
        signallers.emplace_back([&, i] {
            for (int n = 0; n < kSignals; ++n) {
                sent[static_cast<std::size_t>(i)].fetch_add(1);
                hub->Signal(1UL << i);
            }
            done[static_cast<std::size_t>(i)].store(true);
            hub->Signal(1UL << (i + 8));  // "finished", sent after the last bit
        });
    }
    unsigned long const allFinished = ((1UL << kSignallers) - 1) << 8;
    unsigned long finished = 0;
    long takes = 0;
    while (finished != allFinished) {
        unsigned long const bits = hub->Wait(0xFFFFUL);
        EXPECT_NE(bits, 0UL);
        finished |= bits & allFinished;
        if ((bits & 0xFFUL) != 0) {
            ++takes;
        }
    }
    for (auto& signaller : signallers) {
        signaller.join();
    }
    EXPECT_GT(takes, 0);
    EXPECT_LE(takes, static_cast<long>(kSignallers) * kSignals) << "more takes than signals";
}

// Threads are started and joined in a loop by several controllers while host
// threads keep looking themselves up: each started thread must find its own
// object, each host thread the main object.
TEST(ThreadStress, StartAndJoinWhileOthersLookThemselvesUp) {
    constexpr int kControllers = 3;
    constexpr int kCycles = 80;
    constexpr int kLookers = 2;
    CAbstractThread* const main = &MyZelkThread();
    std::atomic<bool> stop{false};
    std::atomic<long> lookups{0};
    std::vector<std::thread> lookers;
    for (int i = 0; i < kLookers; ++i) {
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
            for (int cycle = 0; cycle < kCycles; ++cycle) {
                FunctionRunnable runnable(name.c_str(), [&, cycle]() -> unsigned long {
                    CAbstractThread& mine = MyZelkThread();
                    if (&mine != thread.get() || name != mine.GetName()) {
                        return 1000000;
                    }
                    return static_cast<unsigned long>(cycle);
                });
                ASSERT_EQ(thread->Start(&runnable), 1);
                ASSERT_EQ(thread->Join(), static_cast<unsigned long>(cycle));
            }
        });
    }
    for (auto& controller : controllers) {
        controller.join();
    }
    stop.store(true);
    for (auto& looker : lookers) {
        looker.join();
    }
    EXPECT_GT(lookups.load(), 0);
}

// 32 threads at once, each checking many times that MyZelkThread names its
// own object and carries its own name.
TEST(ThreadStress, ThirtyTwoThreadsEachFindTheirOwnObject) {
    constexpr int kThreads = 32;
    constexpr int kLooks = 2000;
    std::vector<Thread> threads;
    std::vector<std::unique_ptr<FunctionRunnable>> runnables;
    std::vector<std::string> names;
    std::atomic<int> ready{0};
    for (int i = 0; i < kThreads; ++i) {
        names.push_back("thread " + std::to_string(i));
    }
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back(CreateZelkThread());
        CAbstractThread* const expected = threads.back().get();
        std::string const* const name = &names[static_cast<std::size_t>(i)];
        runnables.push_back(std::make_unique<FunctionRunnable>(name->c_str(), [&ready, expected, name]() -> unsigned long {
            // Start together, so the lookups really overlap.
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            unsigned long wrong = 0;
            for (int look = 0; look < kLooks; ++look) {
                CAbstractThread& mine = MyZelkThread();
                if (&mine != expected || *name != mine.GetName() || &mine.GetErrorList() != &expected->GetErrorList()) {
                    ++wrong;
                }
            }
            return wrong;
        }));
    }
    for (int i = 0; i < kThreads; ++i) {
        if (threads[static_cast<std::size_t>(i)]->Start(runnables[static_cast<std::size_t>(i)].get()) != 1) {
            ADD_FAILURE() << "thread " << i << " did not start";
            ready.fetch_add(1);  // so the others do not wait for it
        }
    }
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(threads[static_cast<std::size_t>(i)]->Join(), 0UL) << names[static_cast<std::size_t>(i)];
    }
}

// Ping-pong between two library threads through their own objects' sets,
// while a third signals them with bits they do not wait for.
TEST(ThreadStress, PingPongThroughThreadObjects) {
    constexpr unsigned long kRounds = 1000;
    Thread ping(CreateZelkThread());
    Thread pong(CreateZelkThread());
    FunctionRunnable pingRun("ping", [&]() -> unsigned long {
        for (unsigned long i = 0; i < kRounds; ++i) {
            pong->Signal(1);
            if (MyZelkThread().Wait(1) != 1) {
                return 1;
            }
        }
        return 0;
    });
    FunctionRunnable pongRun("pong", [&]() -> unsigned long {
        for (unsigned long i = 0; i < kRounds; ++i) {
            if (MyZelkThread().Wait(1) != 1) {
                return 1;
            }
            ping->Signal(1);
        }
        return 0;
    });
    ASSERT_EQ(pong->Start(&pongRun), 1);
    ASSERT_EQ(ping->Start(&pingRun), 1);
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop.load()) {
            ping->Signal(2);
            pong->Signal(4);
        }
    });
    EXPECT_EQ(ping->Join(), 0UL);
    EXPECT_EQ(pong->Join(), 0UL);
    stop.store(true);
    noise.join();
}

}  // namespace
