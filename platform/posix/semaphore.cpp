#include "platform/semaphore.h"

#include <linux/futex.h>
#include <sys/single_threaded.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

namespace zelk::os {

namespace {

// Sleeps while *word still holds `expected`; returns at once otherwise.
// Spurious returns are fine: every caller looks at the count again.
void FutexWait(std::atomic<std::int32_t>& word, std::int32_t expected) noexcept {
    static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(int));
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

// The same with a limit: returns after `timeout` at the latest.
void FutexWaitFor(std::atomic<std::int32_t>& word, std::int32_t expected, timespec const& timeout) noexcept {
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, expected, &timeout, nullptr, 0);
}

std::int64_t MonotonicNanoseconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void FutexWakeOne(std::atomic<std::int32_t>& word) noexcept {
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// While the process has one thread, nobody can race us: the count changes
// without locked instructions (glibc's own locks do the same).  The C library
// clears the flag before it creates a second thread, and never sets it again
// while another may run.
bool OnlyThread() noexcept { return __libc_single_threaded != 0; }

// The futex word holds the count, or kContended: a count of 0 with threads
// that may be asleep on the word.  Only a sleeper sets the mark, and the
// Unlock that finds it clears it and wakes one thread; every later Unlock
// finds a plain count and stays out of the kernel until a sleeper marks the
// word again.  So a thread that keeps taking and giving back a lock while
// another sleeps on it pays one wake-up per round of the sleeper, not one
// per Unlock.  (A plain count of sleepers would stay above 0 from the
// wake-up until the woken thread runs, and send every Unlock in between
// into the kernel for nothing.)
constexpr std::int32_t kContended = -1;

// How often Lock looks at the count before it sleeps in the kernel.
constexpr int kSpinRounds = 100;

void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace

Semaphore::Semaphore(long initialCount, long maximumCount, Wait wait) noexcept : m_wait(wait) {
    // The same refusals as the Win32 kernel object, so both backends fail
    // the same constructions.
    if (initialCount < 0 || maximumCount <= 0 || maximumCount > kLargestCount || initialCount > maximumCount) {
        return;  // m_maximum stays 0: not valid
    }
    m_count.store(static_cast<std::int32_t>(initialCount), std::memory_order_relaxed);
    m_maximum = static_cast<std::int32_t>(maximumCount);
}

Semaphore::~Semaphore() = default;

bool Semaphore::IsValid() const noexcept { return m_maximum > 0; }

int Semaphore::TryLock() noexcept {
    if (OnlyThread()) {
        std::int32_t const count = m_count.load(std::memory_order_relaxed);
        if (count <= 0) {
            return 0;  // 0, or a mark left from the time the process had threads
        }
        m_count.store(count - 1, std::memory_order_relaxed);
        return 1;
    }
    // First guess the count of a free lock (1): a compare-and-swap without
    // a read before it claims the cache line once instead of twice.
    std::int32_t count = 1;
    if (m_count.compare_exchange_strong(count, 0, std::memory_order_acquire, std::memory_order_relaxed)) {
        return 1;
    }
    while (count > 0) {
        if (m_count.compare_exchange_weak(count, count - 1, std::memory_order_acquire, std::memory_order_relaxed)) {
            return 1;
        }
    }
    return 0;
}

namespace {

// Mark the word before sleeping on it: an Unlock that comes after the
// mark sees it and wakes us, and one that came before leaves a count
// above 0, which we take instead of sleeping.  The kernel sleeps only
// while the word still holds the mark.
//
// Once we have slept, others may sleep too, and the Unlock that woke us
// has cleared their mark: so a unit taken after a sleep puts the mark
// back when it leaves the count at 0, and passes the wake-up on when it
// leaves units over.  No sleeper then stays asleep beside a count above
// 0; the price is at most one needless system call.
//
// `sleep(word)` sleeps while the word holds the mark and returns true, or
// returns false to give up (Lock's sleep never does, and reads no clock: it
// is inlined here, so the library's hottest wait stays as lean as before).
template <class Sleep>
int TakeOrSleep(std::atomic<std::int32_t>& word, Sleep const& sleep) noexcept {
    bool slept = false;
    std::int32_t count = word.load(std::memory_order_relaxed);
    for (;;) {
        if (count > 0) {
            std::int32_t const left = count - 1;
            std::int32_t const next = slept && left == 0 ? kContended : left;
            if (word.compare_exchange_weak(count, next, std::memory_order_acquire, std::memory_order_relaxed)) {
                if (slept && left > 0) {
                    FutexWakeOne(word);
                }
                return 1;
            }
            continue;
        }
        if (count == 0 && !word.compare_exchange_weak(count, kContended, std::memory_order_relaxed)) {
            continue;
        }
        if (!sleep(word)) {
            return 0;
        }
        slept = true;
        count = word.load(std::memory_order_relaxed);
    }
}

}  // namespace

int Semaphore::Lock() noexcept {
    if (TryLock() != 0) {
        return 1;  // the fast path: no system call
    }
    // Most semaphores here are locks held for a few instructions (the guards
    // of signal sets, timers and pipes) or wake-ups that come quickly: a
    // short look at the count before going to sleep saves the two system
    // calls of a sleep and a wake-up.  A semaphore that stays at 0 costs this
    // short spin once.  Those made with Wait::kSleepAtOnce skip it.
    if (m_wait == Wait::kSpinFirst && !OnlyThread()) {
        for (int spin = 0; spin < kSpinRounds; ++spin) {
            CpuRelax();
            if (m_count.load(std::memory_order_relaxed) > 0 && TryLock() != 0) {
                return 1;
            }
        }
    }
    return TakeOrSleep(m_count, [](std::atomic<std::int32_t>& word) {
        FutexWait(word, kContended);
        return true;
    });
}

// Lock's protocol with a deadline.  The word is marked before every sleep,
// so a waiter that gives up leaves it marked (or holding units): a sleeper
// whose wake-up it took is then woken by the next Unlock, as the mark asks.
int Semaphore::LockFor(std::uint32_t milliseconds) noexcept {
    if (milliseconds == kForever) {
        return Lock();
    }
    if (TryLock() != 0) {
        return 1;
    }
    if (milliseconds == 0) {
        return 0;
    }
    std::int64_t const deadline = MonotonicNanoseconds() + std::int64_t{milliseconds} * 1000000;
    return TakeOrSleep(m_count, [deadline](std::atomic<std::int32_t>& word) {
        std::int64_t const left = deadline - MonotonicNanoseconds();
        if (left <= 0) {
            return false;
        }
        timespec const timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        FutexWaitFor(word, kContended, timeout);
        return true;
    });
}

int Semaphore::Unlock() noexcept {
    if (OnlyThread()) {
        std::int32_t count = m_count.load(std::memory_order_relaxed);
        count = count < 0 ? 0 : count;  // no thread can sleep now: drop a stale mark
        if (count >= m_maximum) {
            return 0;
        }
        m_count.store(count + 1, std::memory_order_relaxed);
        return 1;
    }
    // The same guess for a held, uncontended lock (0) before reading the count.
    std::int32_t count = 0;
    if (m_maximum > 0 &&
        m_count.compare_exchange_strong(count, 1, std::memory_order_release, std::memory_order_relaxed)) {
        return 1;
    }
    for (;;) {
        std::int32_t const units = count < 0 ? 0 : count;
        if (units >= m_maximum) {
            return 0;  // at the maximum (or not valid): refused, count unchanged
        }
        if (m_count.compare_exchange_weak(count, units + 1, std::memory_order_release, std::memory_order_relaxed)) {
            break;
        }
    }
    if (count == kContended) {
        FutexWakeOne(m_count);
    }
    return 1;
}

}  // namespace zelk::os
