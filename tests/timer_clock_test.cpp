// The timer's polling loop driven by a fake millisecond clock: the wrap of
// the 32-bit clock, the strictly-greater test, the last time taken after the
// signal, and Start or Stop landing between a poll's first look and its lock.
#include "portab/timer.h"

#include "layer_thread.h"
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>

namespace {

using zelk::CZelkTimer;
using zelk::test::RecordingSignals;
using zelk::test::WaitFor;

// The fake clock.  Every reading is counted; a test may arm an action that
// runs inside the next reading, that is on the timer's thread in the middle
// of a poll.
struct FakeClock {
    static inline std::atomic<std::uint32_t> now{0};
    static inline std::atomic<int> reads{0};
    static inline std::atomic<bool> armed{false};
    static inline std::atomic<bool> fired{false};
    static inline std::function<void()> action;  // written before arming, read after

    static void Reset(std::uint32_t start) {
        armed = false;
        fired = false;
        now = start;
    }
    static std::uint32_t Read() {
        reads.fetch_add(1);
        // Armed is looked at before the clock, so the reading that runs the
        // action sees the value stored before arming.
        if (armed.exchange(false)) {
            action();
            fired = true;
        }
        return now.load();
    }
    static void ArmAndRun(std::uint32_t at, std::function<void()> run) {
        action = std::move(run);
        now = at;
        armed = true;
        EXPECT_TRUE(WaitFor([] { return fired.load(); }));
    }
    // Waits until `more` readings after this call have been taken.  A poll
    // that finds the period not over reads once, so three readings cover two
    // whole polls that saw the present value.
    static bool WaitReadings(int more) {
        int const target = reads.load() + more;
        return WaitFor([&] { return reads.load() >= target; });
    }
};

// Exactly the period is not enough, also across the wrap past 2^32; and the
// next period counts from the clock read after the signal, not before it.
TEST(TimerWithFakeClock, PeriodAcrossTheWrapIsStrictlyExceededFromTheSignalsEnd) {
    constexpr std::uint32_t kNearTheTop = 0xFFFFFF00u;
    FakeClock::Reset(kNearTheTop);
    CZelkTimer timer(&FakeClock::Read);
    ASSERT_TRUE(timer.IsThreadRunning());
    RecordingSignals target;
    std::atomic<std::uint32_t> signalTakes{500};
    target.onSignal = [&] { FakeClock::now.fetch_add(signalTakes.load()); };
    timer.Start(&target, 16, 1000);

    struct Step {
        std::uint32_t now;
        std::size_t signals;
    };
    // The signal at +1001 "takes" 500 ms, so the next is due after +2501.
    for (Step const step : {Step{1000, 0}, Step{1001, 1}, Step{2501, 1}, Step{2502, 2}}) {
        SCOPED_TRACE(step.now);
        FakeClock::now = kNearTheTop + step.now;
        if (step.signals > target.Count()) {
            ASSERT_TRUE(WaitFor([&] { return target.Count() == step.signals; }));
            signalTakes = 0;
        }
        ASSERT_TRUE(FakeClock::WaitReadings(3));  // and the last time is stored
        EXPECT_EQ(target.Count(), step.signals);
    }
    EXPECT_EQ(target.Events().front().mask, 16ul);
    timer.Stop();
}

TEST(TimerWithFakeClock, StopBetweenTheLookAndTheLockSendsNothing) {
    FakeClock::Reset(100);
    CZelkTimer timer(&FakeClock::Read);
    RecordingSignals stopped;
    RecordingSignals next;
    timer.Start(&stopped, 1, 10);
    // The poll that runs the action finds the period over (polls before it
    // may signal; only one after Stop counts).
    FakeClock::ArmAndRun(200, [&] {
        timer.Stop();
        stopped.Close();
    });
    // A target again, so that polls (and readings) go on; its period is long.
    timer.Start(&next, 2, 60000);
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(stopped.Late(), 0) << "signal after Stop had returned";
    EXPECT_EQ(next.Count(), 0u);
    timer.Stop();
}

TEST(TimerWithFakeClock, StartBetweenTheLookAndTheLockGetsItsFullPeriod) {
    FakeClock::Reset(100);
    CZelkTimer timer(&FakeClock::Read);
    RecordingSignals old;
    RecordingSignals fresh;
    timer.Start(&old, 1, 10);
    FakeClock::ArmAndRun(200, [&] {
        timer.Start(&fresh, 2, 1000);
        old.Close();
    });
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(fresh.Count(), 0u) << "the new period was cut short";
    FakeClock::now = 1201;  // the fresh period started at 200
    ASSERT_TRUE(WaitFor([&] { return fresh.Count() == 1; }));
    EXPECT_EQ(fresh.Events().front().mask, 2ul);
    EXPECT_EQ(old.Late(), 0);
    timer.Stop();
}

}  // namespace
