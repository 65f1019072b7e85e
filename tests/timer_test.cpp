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

long long MilliSecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

TEST(Timer, NewOrStoppedTimerSendsNothing) {
    Timer timer(CreateZelkTimer());
    ASSERT_NE(timer, nullptr);
    RecordingSignals recorder;
    std::this_thread::sleep_for(350ms);  // three polls or so
    timer->Stop();                       // stopping a stopped timer is harmless
    timer->Start(&recorder, 1, 100000);
    timer->Stop();
    std::this_thread::sleep_for(250ms);
    timer.reset();
    EXPECT_EQ(recorder.Count(), 0u);
}

// Period 0 signals once per poll on the thread "timer thread"; Stop and a
// Start on another set move the signals, and once Stop or the destructor has
// returned the old target hears nothing more.
TEST(Timer, PeriodZeroSignalsEveryPollUntilStoppedOrDestroyed) {
    Timer timer(CreateZelkTimer());
    ASSERT_NE(timer, nullptr);
    std::unique_ptr<CAbstractSignals> set(CreateZelkSignals());
    RecordingSignals first(set.get());
    RecordingSignals second;
    auto const started = Clock::now();
    timer->Start(&first, 4, 0);
    std::this_thread::sleep_for(1000ms);
    timer->Stop();
    first.Close();
    auto const stopped = Clock::now();
    auto const events = first.Events();
    // About ten; a loaded machine may manage fewer polls, never more than one
    // per 100 ms.
    EXPECT_GE(events.size(), 2u);
    EXPECT_LE(static_cast<long long>(events.size()), MilliSecondsBetween(started, stopped) / 100 + 1);
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].mask, 4ul);
        EXPECT_EQ(events[i].threadName, "timer thread");
        if (i > 0) {
            EXPECT_GE(MilliSecondsBetween(events[i - 1].when, events[i].when), 90) << "two signals in one poll";
        }
    }
    EXPECT_EQ(set->Wait(4), 4ul) << "a real set receives the mask";

    timer->Start(&second, 2, 0);
    ASSERT_TRUE(WaitFor([&] { return second.Count() >= 2; }));
    auto const before = Clock::now();
    timer.reset();
    second.Close();
    EXPECT_LE(MilliSecondsBetween(before, Clock::now()), 2000) << "about 200 ms; only a hang fails";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(first.Late(), 0) << "signal after Stop had returned";
    EXPECT_EQ(second.Late(), 0) << "signal after the destructor had returned";
    for (auto const& event : second.Events()) EXPECT_EQ(event.mask, 2ul);
}

TEST(Timer, PeriodIsStrictlyExceededAndNotMadeUp) {
    Timer timer(CreateZelkTimer());
    ASSERT_NE(timer, nullptr);
    RecordingSignals recorder;
    auto const started = Clock::now();
    timer->Start(&recorder, 1, 1000);
    ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 2; }, 30s));
    timer->Stop();
    auto const events = recorder.Events();
    // More than the period (a little slack for the two clocks' ticks), and at
    // most about one poll late; the upper bound is loose for loaded machines.
    auto previous = started;
    for (auto const& event : events) {
        auto const gap = MilliSecondsBetween(previous, event.when);
        EXPECT_GE(gap, 980) << "an interval shortened to catch up";
        EXPECT_LE(gap, 3000);
        EXPECT_EQ(event.mask, 1ul);
        previous = event.when;
    }
}

// Start on a running timer replaces target, mask and period, and the new
// period runs in full from this Start, even if a poll was just due.  Where
// unsigned long is wider than 32 bits the new period must not be cut to its
// low bits either (that would make it 1 ms).
TEST(Timer, StartReplacesAllSettingsAndRestartsThePeriod) {
    constexpr unsigned long kLong = sizeof(unsigned long) > 4 ? static_cast<unsigned long>(0x100000001ULL) : 60000ul;
    Timer timer(CreateZelkTimer());
    ASSERT_NE(timer, nullptr);
    RecordingSignals old;
    RecordingSignals fresh;
    for (int round = 0; round < 3; ++round) {
        old.Open();
        timer->Start(&old, 1, 0);
        ASSERT_TRUE(WaitFor([&] { return old.Count() >= static_cast<std::size_t>(round + 1); }));
        // Vary the phase against the poll, so some rounds land next to one.
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 37));
        timer->Start(&fresh, 2, kLong);
        old.Close();
    }
    std::this_thread::sleep_for(350ms);
    EXPECT_EQ(old.Late(), 0);
    EXPECT_EQ(fresh.Count(), 0u) << "a long period signalled early";
}

}  // namespace
