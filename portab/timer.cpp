// CZelkTimer and its factory.
#include "portab/timer.h"

#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/thread.h"

#include <limits>
#include <memory>

namespace zelk {

namespace {

constexpr unsigned kPollMilliSeconds = 100;

[[noreturn]] void Fail(char const* what) { Fatal("timer: %s", what); }

// Periods are 32-bit milliseconds.  Where unsigned long is wider (64-bit
// Linux), a longer period is held at the longest one instead of being cut to
// its low bits, which could make it tiny.
std::uint32_t ClampPeriod(unsigned long period) {
    constexpr unsigned long longest = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(period > longest ? longest : period);
}

}  // namespace

std::uint32_t CZelkTimer::SystemClock() { return os::MilliSeconds(); }

CZelkTimer::CZelkTimer(MilliSecondClock clock)
    : m_target(nullptr),
      m_mask(0),
      m_period(0),
      m_lock(1, kMaximumSemaphoreCount),
      m_lastTime(0),
      m_stop(0),
      m_clock(clock),
      m_thread("") {
    // The thread takes its name from GetName() when it starts.  Start's result
    // is not looked at here: the factory asks IsRunning instead.
    m_thread.Start(this);
}

CZelkTimer::~CZelkTimer() {
    m_stop.store(1);
    // Join returns only after Run has returned, so no signal can follow.
    m_thread.Join();
}

bool CZelkTimer::IsThreadRunning() { return m_thread.IsRunning() != 0; }

// The timer lock is our own valid semaphore; if waiting on it fails there is
// no way to keep Stop's promise, so stop loudly rather than race.
void CZelkTimer::LockTimer() {
    if (!m_lock.Lock()) Fail("the timer lock wait failed");
}

void CZelkTimer::UnlockTimer() {
    if (!m_lock.Unlock()) Fail("the timer lock release failed");
}

void CZelkTimer::Start(CAbstractSignals* target, unsigned long mask, unsigned long period) {
    LockTimer();
    m_mask.store(static_cast<std::uint32_t>(mask), std::memory_order_relaxed);  // masks are 32 signal bits
    m_period.store(ClampPeriod(period), std::memory_order_relaxed);
    m_lastTime.store(m_clock(), std::memory_order_relaxed);
    m_target.store(target, std::memory_order_release);
    UnlockTimer();
}

void CZelkTimer::Stop() {
    LockTimer();
    m_target.store(nullptr, std::memory_order_release);
    UnlockTimer();
}

void CZelkTimer::Poll() {
    // A cheap look without the lock decides whether the lock is worth taking.
    if (m_target.load(std::memory_order_acquire) == nullptr) return;
    if (!TimerPeriodOver(m_clock(), m_lastTime.load(std::memory_order_relaxed),
                         m_period.load(std::memory_order_relaxed))) {
        return;
    }
    LockTimer();
    // Look again under the lock: a Stop that has returned must see no signal,
    // and a Start that slipped in after the look above begins a new period,
    // which is honoured in full rather than cut short by this poll.
    CAbstractSignals* const target = m_target.load(std::memory_order_relaxed);
    if (target != nullptr && TimerPeriodOver(m_clock(), m_lastTime.load(std::memory_order_relaxed),
                                             m_period.load(std::memory_order_relaxed))) {
        target->Signal(m_mask.load(std::memory_order_relaxed));
        // Measured after the signal: lateness is not made up later.
        m_lastTime.store(m_clock(), std::memory_order_relaxed);
    }
    UnlockTimer();
}

unsigned long CZelkTimer::Run() {
    while (m_stop.load() == 0) {
        Poll();
        os::Sleep(kPollMilliSeconds);
    }
    return 0;
}

char const* CZelkTimer::GetName() { return "timer thread"; }

}  // namespace zelk

CAbstractTimer* CreateZelkTimer() {
    auto timer = std::make_unique<zelk::CZelkTimer>();
    if (!timer->IsThreadRunning()) return nullptr;  // the unique_ptr joins and frees it
    return timer.release();
}
