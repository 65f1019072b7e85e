// Contract tests of CreateZelkTimer through the exported interface.  The
// timer polls every 100 ms on a noisy machine, so these tests bound times
// generously and check the order of events; exact figures are for benchmarks.
#include <zelk/portab.h>

#include "layer_thread.h"
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using zelk::test::RecordingSignals;
using zelk::test::WaitFor;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using Timer = std::unique_ptr<CAbstractTimer>;

Timer MakeTimer() {
    Timer timer(CreateZelkTimer());
    EXPECT_NE(timer, nullptr);
    return timer;
}

long long MilliSecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

TEST(Timer, NewTimerSendsNothingUntilStart) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    std::unique_ptr<CAbstractSignals> set(CreateZelkSignals());
    RecordingSignals recorder;
    std::this_thread::sleep_for(450ms);  // four polls or so
    EXPECT_EQ(recorder.Count(), 0u);
    EXPECT_EQ(set->GetSignals(), 0ul);
    timer->Stop();  // stopping a stopped timer is harmless
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(recorder.Count(), 0u);
}

TEST(Timer, PeriodZeroSignalsOncePerPoll) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    RecordingSignals recorder;
    auto const started = Clock::now();
    timer->Start(&recorder, 4, 0);
    std::this_thread::sleep_for(1000ms);
    timer->Stop();
    auto const stopped = Clock::now();
    auto const events = recorder.Events();
    // About ten; a loaded machine may manage fewer polls, never more than one
    // per 100 ms.
    EXPECT_GE(events.size(), 2u);
    EXPECT_LE(static_cast<long long>(events.size()), MilliSecondsBetween(started, stopped) / 100 + 1);
    for (auto const& event : events) {
        EXPECT_EQ(event.mask, 4ul);
        EXPECT_EQ(event.threadName, "timer thread");
    }
    for (std::size_t i = 1; i < events.size(); ++i) {
        EXPECT_GE(MilliSecondsBetween(events[i - 1].when, events[i].when), 90) << "two signals in one poll";
    }
}

TEST(Timer, RealSignalSetReceivesTheMask) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    std::unique_ptr<CAbstractSignals> set(CreateZelkSignals());
    timer->Start(set.get(), 4, 0);
    EXPECT_TRUE(WaitFor([&] { return set->GetSignals() == 4ul; }));
    timer->Stop();
    EXPECT_EQ(set->Wait(4), 4ul);
}

TEST(Timer, PeriodIsStrictlyExceededAndNotMadeUp) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    RecordingSignals recorder;
    auto const started = Clock::now();
    timer->Start(&recorder, 1, 1000);
    ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 3; }, 30s));
    timer->Stop();
    auto const events = recorder.Events();
    // More than the period (a little slack for the two clocks' ticks), and at
    // most about one poll late; the upper bound is loose for loaded machines.
    auto const first = MilliSecondsBetween(started, events[0].when);
    EXPECT_GE(first, 980);
    EXPECT_LE(first, 3000);
    for (std::size_t i = 1; i < events.size(); ++i) {
        auto const gap = MilliSecondsBetween(events[i - 1].when, events[i].when);
        EXPECT_GE(gap, 980) << "interval " << i << " shortened to catch up";
        EXPECT_LE(gap, 3000) << "interval " << i;
        EXPECT_EQ(events[i].mask, 1ul);
    }
}

TEST(Timer, StopIsFollowedByNoSignal) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    RecordingSignals recorder;
    timer->Start(&recorder, 1, 0);
    ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 2; }));
    timer->Stop();
    recorder.Close();
    auto const count = recorder.Count();
    std::this_thread::sleep_for(350ms);
    EXPECT_EQ(recorder.Count(), count);
    EXPECT_EQ(recorder.Late(), 0);
}

TEST(Timer, StartOnAnotherSetMovesTheSignals) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    RecordingSignals first;
    RecordingSignals second;
    timer->Start(&first, 1, 0);
    ASSERT_TRUE(WaitFor([&] { return first.Count() >= 1; }));
    timer->Stop();
    first.Close();
    timer->Start(&second, 2, 0);
    ASSERT_TRUE(WaitFor([&] { return second.Count() >= 3; }));
    timer->Stop();
    EXPECT_EQ(first.Late(), 0);
    for (auto const& event : second.Events()) EXPECT_EQ(event.mask, 2ul);
}

// Start on a running timer replaces target, mask and period, and the new
// period runs in full from this Start, even if a poll was just due.
TEST(Timer, StartReplacesAllSettingsAndRestartsThePeriod) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    RecordingSignals old;
    RecordingSignals fresh;
    for (int round = 0; round < 5; ++round) {
        old.Open();
        timer->Start(&old, 1, 0);
        ASSERT_TRUE(WaitFor([&] { return old.Count() >= static_cast<std::size_t>(round + 1); }));
        // Vary the phase against the poll, so some rounds land next to one.
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 23));
        timer->Start(&fresh, 2, 60000);
        old.Close();
    }
    std::this_thread::sleep_for(350ms);
    EXPECT_EQ(old.Late(), 0);
    EXPECT_EQ(fresh.Count(), 0u) << "a 60 s period signalled early";
}

TEST(Timer, DestroyingARunningTimerIsQuickAndFinal) {
    Timer timer = MakeTimer();
    ASSERT_NE(timer, nullptr);
    RecordingSignals recorder;
    timer->Start(&recorder, 8, 0);
    ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 1; }));
    auto const before = Clock::now();
    timer.reset();
    auto const after = Clock::now();
    recorder.Close();
    // About 200 ms; the bound only catches a destructor that hangs on.
    EXPECT_LE(MilliSecondsBetween(before, after), 2000);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder.Late(), 0);
}

TEST(Timer, DestroyingAStoppedOrNewTimerWorks) {
    Timer fresh = MakeTimer();
    ASSERT_NE(fresh, nullptr);
    fresh.reset();
    Timer stopped = MakeTimer();
    ASSERT_NE(stopped, nullptr);
    RecordingSignals recorder;
    stopped->Start(&recorder, 1, 100000);
    stopped->Stop();
    stopped.reset();
    EXPECT_EQ(recorder.Count(), 0u);
}

// Periods are 32-bit milliseconds.  Where unsigned long is wider, a longer
// period must not wrap round to a short one.
TEST(Timer, PeriodBeyondThirtyTwoBitsIsNotCutShort) {
    if constexpr (sizeof(unsigned long) <= 4) {
        GTEST_SKIP() << "unsigned long is 32 bits here";
    } else {
        Timer timer = MakeTimer();
        ASSERT_NE(timer, nullptr);
        RecordingSignals recorder;
        timer->Start(&recorder, 1, (1ul << 32) + 1);  // would be 1 ms if cut to its low bits
        std::this_thread::sleep_for(350ms);
        timer->Stop();
        EXPECT_EQ(recorder.Count(), 0u);
    }
}

// Each timer runs on its own thread; several at once do not disturb each other.
TEST(Timer, IndependentTimersEachSignalTheirOwnTarget) {
    RecordingSignals fast;
    RecordingSignals slow;
    Timer a = MakeTimer();
    Timer b = MakeTimer();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->Start(&fast, 1, 0);
    b->Start(&slow, 2, 60000);
    ASSERT_TRUE(WaitFor([&] { return fast.Count() >= 3; }));
    EXPECT_EQ(slow.Count(), 0u);
    for (auto const& event : fast.Events()) EXPECT_EQ(event.mask, 1ul);
}

}  // namespace
