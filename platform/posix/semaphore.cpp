#include "platform/semaphore.h"

#include <linux/futex.h>
#include <sys/single_threaded.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace zelk::os {

namespace {

// Sleeps while *word still holds `expected`; returns at once otherwise.
// Spurious returns are fine: every caller looks at the count again.
void FutexWait(std::atomic<std::int32_t>& word, std::int32_t expected) noexcept {
    static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(int));
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWakeOne(std::atomic<std::int32_t>& word) noexcept {
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// While the process has one thread, nobody can race us: the count changes
// without locked instructions (glibc's own locks do the same).  The C library
// clears the flag before it creates a second thread, and never sets it again
// while another may run.
bool OnlyThread() noexcept { return __libc_single_threaded != 0; }

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

Semaphore::Semaphore(long initialCount, long maximumCount) noexcept {
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
            return 0;
        }
        m_count.store(count - 1, std::memory_order_relaxed);
        return 1;
    }
    // First guess the count of a free lock (1): a compare-and-swap without
    // a read before it claims the cache line once instead of twice.
    std::int32_t expected = 1;
    if (m_count.compare_exchange_strong(expected, 0, std::memory_order_seq_cst, std::memory_order_relaxed)) {
        return 1;
    }
    std::int32_t count = expected;
    while (count > 0) {
        if (m_count.compare_exchange_weak(count, count - 1, std::memory_order_seq_cst, std::memory_order_relaxed)) {
            return 1;
        }
    }
    return 0;
}

int Semaphore::Lock() noexcept {
    if (TryLock() != 0) {
        return 1;  // the fast path: no system call
    }
    // Most semaphores here are locks held for a few instructions (the guards
    // of critical sections, signal sets and pipes): a short look at the count
    // before going to sleep saves the two system calls of a sleep and a
    // wake-up.  A semaphore that stays at 0 costs this short spin once.
    if (!OnlyThread()) {
        for (int spin = 0; spin < kSpinRounds; ++spin) {
            CpuRelax();
            if (m_count.load(std::memory_order_relaxed) > 0 && TryLock() != 0) {
                return 1;
            }
        }
    }
    // Announce the sleeper before the last look at the count: an Unlock that
    // raises the count after that look sees the announcement and wakes us,
    // and one that raised it before makes the kernel refuse to put us to
    // sleep (the futex word no longer holds 0).
    m_sleepers.fetch_add(1, std::memory_order_seq_cst);
    for (;;) {
        if (TryLock() != 0) {
            break;
        }
        FutexWait(m_count, 0);
    }
    m_sleepers.fetch_sub(1, std::memory_order_relaxed);
    return 1;
}

int Semaphore::Unlock() noexcept {
    if (OnlyThread()) {
        std::int32_t const count = m_count.load(std::memory_order_relaxed);
        if (count >= m_maximum) {
            return 0;
        }
        m_count.store(count + 1, std::memory_order_relaxed);
        return 1;  // no other thread, so none asleep
    }
    // The same guess for a held lock (0) before reading the count.
    std::int32_t expected = 0;
    if (m_maximum > 0 && m_count.compare_exchange_strong(expected, 1, std::memory_order_seq_cst, std::memory_order_relaxed)) {
        if (m_sleepers.load(std::memory_order_seq_cst) > 0) {
            FutexWakeOne(m_count);
        }
        return 1;
    }
    std::int32_t count = expected;
    do {
        if (count >= m_maximum) {
            return 0;  // at the maximum: refused, count unchanged
        }
    } while (!m_count.compare_exchange_weak(count, count + 1, std::memory_order_seq_cst, std::memory_order_relaxed));
    if (m_sleepers.load(std::memory_order_seq_cst) > 0) {
        FutexWakeOne(m_count);
    }
    return 1;
}

}  // namespace zelk::os
