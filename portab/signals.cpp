#include "portab/signals.h"

#include "platform/clock.h"
#include "platform/thread.h"

namespace zelk {

namespace {

// Masks are 32-bit words; on systems whose unsigned long is wider the upper
// bits name no signal and are ignored.
std::uint32_t Bits(unsigned long mask) noexcept { return static_cast<std::uint32_t>(mask & 0xFFFFFFFFUL); }

constexpr int kSignalCount = 32;

}  // namespace

CZelkSignals::CZelkSignals()
    : m_stateLock(1, kMaximumSemaphoreCount),
      m_signalLock(1, kMaximumSemaphoreCount),
      m_waiterLock(1, kMaximumSemaphoreCount),
      m_wake(0, kMaximumSemaphoreCount) {}

CZelkSignals::~CZelkSignals() = default;

int CZelkSignals::AllocSignal() {
    SemaphoreLock guard(m_stateLock);
    for (int number = 0; number < kSignalCount; ++number) {
        std::uint32_t const bit = std::uint32_t{1} << number;
        if ((m_allocated & bit) == 0) {
            m_allocated |= bit;
            return number;
        }
    }
    return kSignalCount;  // all taken: nothing changes
}

void CZelkSignals::FreeSignals(unsigned long mask) {
    SemaphoreLock guard(m_stateLock);
    m_allocated &= ~Bits(mask);
}

int CZelkSignals::AllocSignals(unsigned long mask) {
    SemaphoreLock guard(m_stateLock);
    std::uint32_t const bits = Bits(mask);
    if ((m_allocated & bits) != 0) {
        return 0;  // all or none: a clash allocates nothing
    }
    m_allocated |= bits;
    return 1;
}

unsigned long CZelkSignals::GetSignals() {
    SemaphoreLock guard(m_signalLock);
    return m_pending.load(std::memory_order_seq_cst);
}

unsigned long CZelkSignals::GetAllocated() {
    SemaphoreLock guard(m_stateLock);
    return m_allocated;
}

void CZelkSignals::ClearSignals(unsigned long mask) {
    SemaphoreLock guard(m_stateLock);
    m_pending.fetch_and(~Bits(mask), std::memory_order_seq_cst);
}

// An empty mask can never be satisfied, so waiting for it would be a wait
// for ever: Wait(0) (and a mask with no bit below 32) returns 0 at once and
// changes nothing.  Every other Wait returns a non-zero set of bits.
unsigned long CZelkSignals::Wait(unsigned long mask) { return WaitFor(mask, os::Semaphore::kForever); }

// A limited wait gives up only after one more take has found nothing; bits
// signalled after that stay pending for the next Wait, and a wake unit a
// late signaller leaves behind only brings that Wait round once more.
unsigned long CZelkSignals::WaitFor(unsigned long mask, std::uint32_t milliseconds) {
    std::uint32_t const bits = Bits(mask);
    if (bits == 0) {
        return 0;
    }
    // Wait itself reads no clock.
    bool const forever = milliseconds == os::Semaphore::kForever;
    std::uint32_t const start = forever ? 0 : os::MilliSeconds();
    auto const left = [&]() -> std::uint32_t {
        if (forever) {
            return milliseconds;
        }
        std::uint32_t const spent = os::MilliSeconds() - start;
        return spent < milliseconds ? milliseconds - spent : 0;
    };
    if (m_waiterLock.LockFor(left()) == 0) {
        return 0;  // another Wait held the set all the time
    }
    // Registered before the state lock is taken: from here on a signaller
    // no longer waits for that lock (see LockStateUnlessWaiter), and one that
    // reads `wanted` after setting its bits wakes us.
    m_waiter.store(&MyZelkThread(), std::memory_order_seq_cst);
    m_wanted.store(bits, std::memory_order_seq_cst);
    m_stateLock.Lock();
    std::uint32_t received = 0;
    bool timedOut = false;
    for (;;) {
        // Takes exactly the pending bits of the mask in one step; bits a
        // signaller sets meanwhile either land in this take or stay pending.
        received = m_pending.fetch_and(~bits, std::memory_order_seq_cst) & bits;
        if (received != 0 || timedOut) {
            break;
        }
        // The wake semaphore counts wake-ups, not bits: a unit left over
        // from an earlier signal brings us round once more, to sleep again.
        timedOut = m_wake.LockFor(left()) == 0;
    }
    m_waiter.store(nullptr, std::memory_order_seq_cst);
    m_wanted.store(0, std::memory_order_seq_cst);
    m_stateLock.Unlock();
    m_waiterLock.Unlock();
    return received;
}

void CZelkSignals::Signal(unsigned long mask) {
    std::uint32_t const bits = Bits(mask);
    SemaphoreLock signalGuard(m_signalLock);
    bool haveStateLock = m_stateLock.TryLock() != 0;
    if (!haveStateLock && m_waiter.load(std::memory_order_seq_cst) == nullptr) {
        haveStateLock = LockStateUnlessWaiter();
    }
    // Without the state lock another operation may change the pending word
    // at the same time; atomic changes keep both.
    m_pending.fetch_or(bits, std::memory_order_seq_cst);
    // After the bits are set: a waiter that registered too late to see them
    // in its take has its mask here, and gets a unit.
    if ((m_wanted.load(std::memory_order_seq_cst) & bits) != 0) {
        m_wake.Unlock();
    }
    if (haveStateLock) {
        m_stateLock.Unlock();
    }
}

bool CZelkSignals::LockStateUnlessWaiter() {
    // Holders other than a waiter keep the state lock for a few instructions
    // only, so a short wait that yields the processor is enough.  It ends as
    // soon as a waiter registers: that waiter may take the lock and sleep
    // with it, and only our bits can wake it.
    constexpr int kYieldingRounds = 64;
    for (int round = 0;; ++round) {
        if (m_stateLock.TryLock() != 0) {
            return true;
        }
        if (m_waiter.load(std::memory_order_seq_cst) != nullptr) {
            return false;
        }
        if (round < kYieldingRounds) {
            os::YieldThread();
        } else {
            os::Sleep(1);
        }
    }
}

}  // namespace zelk

CAbstractSignals* CreateZelkSignals() { return new zelk::CZelkSignals(); }
