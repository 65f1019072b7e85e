// The timer's polling loop driven by a fake millisecond clock: the wrap of
// the 32-bit clock, the strictly-greater test, the last time taken after the
// signal, and Start or Stop landing between a poll's first look and its lock.
#include "portab/timer.h"

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>

namespace {

using zelk::CZelkTimer;
using zelk::test::WaitFor;

// The fake clock.  Every reading is counted; a test may arm an action that
// runs inside the next reading, that is on the timer's thread in the middle
// of a poll.
struct FakeClock {
    static inline std::atomic<std::uint32_t> now{0};
    static inline std::atomic<int> reads{0};
    static inline std::atomic<bool> armed{false};
    static inline std::atomic<int> firedAt{0};
    static inline std::function<void()> action;  // written before arming, read after

    static void Reset(std::uint32_t start) {
        armed = false;
        now = start;
        firedAt = 0;
    }

    static std::uint32_t Read() {
        int const reading = reads.fetch_add(1) + 1;
        std::uint32_t const value = now.load();
        if (armed.exchange(false)) {
            action();
            firedAt = reading;
        }
        return value;
    }

    static void Arm(std::function<void()> run) {
        action = std::move(run);
        armed = true;
    }

    // Waits until `more` readings after this call have been taken.  A poll that
    // finds the period not over reads once, so three readings cover two whole
    // polls that saw the present value.
    static bool WaitReadings(int more) {
        int const target = reads.load() + more;
        return WaitFor([&] { return reads.load() >= target; });
    }
};

class CountingTarget final : public CAbstractSignals {
public:
    std::atomic<int> signals{0};
    std::atomic<unsigned long> lastMask{0};
    std::atomic<bool> closed{false};
    std::atomic<int> late{0};
    std::atomic<std::uint32_t> bumpClock{0};  // added to the fake clock while signalled

    void Signal(unsigned long mask) override {
        if (closed) late.fetch_add(1);
        lastMask = mask;
        FakeClock::now.fetch_add(bumpClock.load());
        signals.fetch_add(1);
    }
    int AllocSignal() override { return 32; }
    void FreeSignals(unsigned long) override {}
    int AllocSignals(unsigned long) override { return 0; }
    unsigned long GetSignals() override { return 0; }
    unsigned long GetAllocated() override { return 0; }
    void ClearSignals(unsigned long) override {}
    unsigned long Wait(unsigned long) override { return 0; }
};

constexpr std::uint32_t kNearTheTop = 0xFFFFFF00u;

TEST(TimerWithFakeClock, PeriodAcrossTheWrapIsStrictlyExceeded) {
    FakeClock::Reset(kNearTheTop);
    CZelkTimer timer(&FakeClock::Read);
    ASSERT_TRUE(timer.IsThreadRunning());
    CountingTarget target;
    timer.Start(&target, 16, 1000);

    FakeClock::now = kNearTheTop + 1000u;  // wraps to 0x2E8: exactly the period
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(target.signals.load(), 0) << "signalled at exactly the period";

    FakeClock::now = kNearTheTop + 1001u;
    ASSERT_TRUE(WaitFor([&] { return target.signals.load() == 1; }));
    EXPECT_EQ(target.lastMask.load(), 16ul);

    // The next period counts from the signal: again exactly 1000 is not enough.
    FakeClock::now = kNearTheTop + 2001u;
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(target.signals.load(), 1);
    FakeClock::now = kNearTheTop + 2002u;
    ASSERT_TRUE(WaitFor([&] { return target.signals.load() == 2; }));
    timer.Stop();
}

TEST(TimerWithFakeClock, LastTimeIsTakenAfterTheSignal) {
    FakeClock::Reset(5000);
    CZelkTimer timer(&FakeClock::Read);
    CountingTarget target;
    target.bumpClock = 500;  // the signal "takes" 500 ms
    timer.Start(&target, 1, 1000);
    FakeClock::now = 6001;
    ASSERT_TRUE(WaitFor([&] { return target.signals.load() == 1; }));
    // The clock read 6501 after the signal: 6001 + 1001 is over a period from
    // the signal's start but not from its end.
    target.bumpClock = 0;
    FakeClock::now = 7002;
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(target.signals.load(), 1) << "last time taken before the signal";
    FakeClock::now = 7502;
    ASSERT_TRUE(WaitFor([&] { return target.signals.load() == 2; }));
    timer.Stop();
}

TEST(TimerWithFakeClock, StopBetweenTheLookAndTheLockSendsNothing) {
    FakeClock::Reset(100);
    CZelkTimer timer(&FakeClock::Read);
    CountingTarget stopped;
    CountingTarget next;
    timer.Start(&stopped, 1, 10);
    FakeClock::Arm([&] {
        timer.Stop();
        stopped.closed = true;
    });
    FakeClock::now = 200;  // the poll that fires the action finds the period over
    ASSERT_TRUE(WaitFor([&] { return FakeClock::firedAt.load() != 0; }));
    // A target again, so that polls (and readings) go on; its period is long.
    timer.Start(&next, 2, 60000);
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(stopped.late.load(), 0) << "signal after Stop had returned";
    EXPECT_EQ(stopped.signals.load(), 0);
    EXPECT_EQ(next.signals.load(), 0);
    timer.Stop();
}

TEST(TimerWithFakeClock, StartBetweenTheLookAndTheLockGetsItsFullPeriod) {
    FakeClock::Reset(100);
    CZelkTimer timer(&FakeClock::Read);
    CountingTarget old;
    CountingTarget fresh;
    timer.Start(&old, 1, 10);
    FakeClock::Arm([&] {
        timer.Start(&fresh, 2, 1000);
        old.closed = true;
    });
    FakeClock::now = 200;
    ASSERT_TRUE(WaitFor([&] { return FakeClock::firedAt.load() != 0; }));
    ASSERT_TRUE(FakeClock::WaitReadings(3));
    EXPECT_EQ(old.late.load(), 0);
    EXPECT_EQ(fresh.signals.load(), 0) << "the new period was cut short";
    // The fresh period started at 200.
    FakeClock::now = 1201;
    ASSERT_TRUE(WaitFor([&] { return fresh.signals.load() == 1; }));
    EXPECT_EQ(fresh.lastMask.load(), 2ul);
    EXPECT_EQ(old.signals.load(), 0);
    timer.Stop();
}

}  // namespace
