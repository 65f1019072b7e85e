// Contract tests of CreateZelkTimer through the exported interface.  The
// timer polls every 100 ms on a noisy machine, so these tests bound times
// generously and check the order of events; exact figures are for benchmarks.
#include <zelk/portab.h>

#include "layer_thread.h"
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using zelk::test::RecordingSignals;
using zelk::test::WaitFor;
using namespace std::chrono_literals;
using Timer = std::unique_ptr<CAbstractTimer>;

long long MilliSecondsBetween(RecordingSignals::Clock::time_point from, RecordingSignals::Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Period 0 signals once per poll, on the thread "timer thread", with the
// mask given.  A Start on another set with a period moves the signals there,
// spaced by more than the period; once Stop or the destructor has returned
// the old target hears nothing more.
TEST(Timer, SignalsEachPeriodUntilStoppedOrDestroyed) {
    Timer timer(CreateZelkTimer());
    ASSERT_NE(timer, nullptr);
    RecordingSignals first, second;
    auto const started = RecordingSignals::Clock::now();
    timer->Start(&first, 4, 0);
    std::this_thread::sleep_for(1000ms);
    timer->Stop();
    first.Close();
    auto const events = first.Events();
    // About ten; a loaded machine may manage fewer polls, never more than one per 100 ms.
    EXPECT_GE(events.size(), 2u);
    EXPECT_LE(static_cast<long long>(events.size()),
              MilliSecondsBetween(started, RecordingSignals::Clock::now()) / 100 + 1);
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].mask, 4ul);
        EXPECT_EQ(events[i].threadName, "timer thread");
        if (i > 0) {
            EXPECT_GE(MilliSecondsBetween(events[i - 1].when, events[i].when), 90) << "two signals in one poll";
        }
    }

    auto const restarted = RecordingSignals::Clock::now();
    timer->Start(&second, 2, 250);
    ASSERT_TRUE(WaitFor([&] { return second.Count() >= 2; }));
    auto const before = RecordingSignals::Clock::now();
    timer.reset();
    second.Close();
    EXPECT_LE(MilliSecondsBetween(before, RecordingSignals::Clock::now()), 2000) << "about 200 ms; only a hang fails";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(first.Late(), 0) << "signal after Stop had returned";
    EXPECT_EQ(second.Late(), 0) << "signal after the destructor had returned";
    auto previous = restarted;
    for (auto const& event : second.Events()) {
        EXPECT_EQ(event.mask, 2ul);
        // A little slack for the two clocks' ticks; an interval shortened to
        // catch up would show.
        EXPECT_GE(MilliSecondsBetween(previous, event.when), 230);
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
    RecordingSignals old, fresh;
    timer->Stop();  // stopping a stopped timer is harmless
    for (int round = 0; round < 3; ++round) {
        old.Open();
        timer->Start(&old, 1, 0);
        ASSERT_TRUE(WaitFor([&] { return old.Count() >= static_cast<std::size_t>(round + 1); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 37));  // vary the phase against the poll
        timer->Start(&fresh, 2, kLong);
        old.Close();
    }
    std::this_thread::sleep_for(350ms);
    EXPECT_EQ(old.Late(), 0);
    EXPECT_EQ(fresh.Count(), 0u) << "a long period signalled early";
}

}  // namespace
