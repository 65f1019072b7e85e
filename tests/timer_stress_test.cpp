// Stress: timers made, started, stopped and destroyed over and over while a
// thread of the layer waits on the set they signal.
#include <zelk/portab.h>

#include "layer_thread.h"
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using zelk::test::LayerThread;
using zelk::test::RecordingSignals;
using zelk::test::WaitFor;

constexpr unsigned long kTick = 1;
constexpr unsigned long kQuit = 2;

// Each round: two timers on one set (one through a recorder that checks
// Stop's promise), with the stops and deletes falling at different phases of
// the 100 ms poll.  Rounds are few because each delete takes up to about two
// polls.
TEST(TimerStress, StartStopDestroyWhileTheTargetIsWaitedOn) {
    std::unique_ptr<CAbstractSignals> set(CreateZelkSignals());
    std::atomic<int> ticks{0};
    LayerThread waiter([&] {
        for (;;) {
            unsigned long const got = set->Wait(kTick | kQuit);
            if (got & kTick) ticks.fetch_add(1);
            if (got & kQuit) return 0UL;
        }
    });
    ASSERT_TRUE(waiter.Started());
    int late = 0;
    for (int round = 0; round < 6; ++round) {
        RecordingSignals checked(set.get());
        std::unique_ptr<CAbstractTimer> first(CreateZelkTimer());
        std::unique_ptr<CAbstractTimer> second(CreateZelkTimer());
        EXPECT_NE(first, nullptr);
        EXPECT_NE(second, nullptr);
        if (!first || !second) break;
        first->Start(&checked, kTick, 0);
        second->Start(set.get(), kTick, static_cast<unsigned long>(round % 3) * 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 37 * round));
        first->Stop();
        checked.Close();
        if (round % 2 == 0) {
            second->Stop();
            second->Start(set.get(), kTick, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(13 * round));
        first.reset();   // destroyed while stopped
        second.reset();  // destroyed while running
        late += checked.Late();
    }
    EXPECT_EQ(late, 0) << "signals after Stop had returned";
    EXPECT_TRUE(WaitFor([&] { return ticks.load() > 0; }));
    set->Signal(kQuit);
    EXPECT_EQ(waiter.Join(), 0UL);
}

}  // namespace
