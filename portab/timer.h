// CZelkTimer: signals a set with a mask each time a period has passed.  Its
// own thread ("timer thread") wakes every 100 ms, reads the millisecond
// clock and sends the signal once the period is over.
#pragma once

#include <zelk/portab.h>

#include "portab/semaphore.h"
#include "portab/thread.h"

#include <atomic>
#include <cstdint>

namespace zelk {

// The timer's elapsed-time test.  Clock values wrap at 2^32 ms, so the time
// since `last` is their difference modulo 2^32; the test is strictly
// greater, so a period of 1000 needs 1001 ms or more.
constexpr bool TimerPeriodOver(std::uint32_t now, std::uint32_t last, std::uint32_t period) noexcept {
    return static_cast<std::uint32_t>(now - last) > period;
}

class CZelkTimer final : public CAbstractTimer, public CAbstractRunnable {
public:
    // Where the timer reads the time; the system's clock unless a test
    // brings its own.
    using MilliSecondClock = std::uint32_t (*)();

    // Starts the timer's thread at once; whether it runs is for the factory
    // to ask.  Throws CZelkResourceExhausted when the system refuses the lock.
    explicit CZelkTimer(MilliSecondClock clock = &SystemClock);
    // Returns within about two polls; no signal is sent after it has returned.
    ~CZelkTimer() override;
    CZelkTimer(CZelkTimer const&) = delete;
    CZelkTimer& operator=(CZelkTimer const&) = delete;

    // Signals `target` with `mask` once more than `period` ms have passed,
    // and again after each further period; replaces any earlier setting.
    void Start(CAbstractSignals* target, unsigned long mask, unsigned long period) override;
    // No signal follows once this has returned, until the next Start.
    void Stop() override;

    // The polling loop, run by the timer's own thread; returns 0.
    unsigned long Run() override;
    char const* GetName() override;

    // Whether the timer's thread runs (the factory's check).
    bool IsThreadRunning();

private:
    static std::uint32_t SystemClock();
    void LockTimer();
    void UnlockTimer();
    // One poll's work: signal the target if its period is over.
    void Poll();

    // The loop reads these without the lock only to decide whether to take
    // it, hence atomics; they change only under the timer lock.
    std::atomic<CAbstractSignals*> m_target;  // null while stopped
    std::atomic<std::uint32_t> m_mask;
    std::atomic<std::uint32_t> m_period;
    CZelkSemaphore m_lock;  // guards target, mask, period, last time
    std::atomic<std::uint32_t> m_lastTime;  // clock at the last Start or signal
    std::atomic<int> m_stop;  // set once, by the destructor
    MilliSecondClock const m_clock;
    CZelkThread m_thread;  // last: it is gone before the rest
};

}  // namespace zelk
