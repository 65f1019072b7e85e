// The system's counting semaphore behind CZelkSemaphore: an initial and a
// maximum count, a wait without limit and a try that never waits.
// Win32: a kernel semaphore object.  POSIX: an atomic count with a futex
// wait, so that Lock and Unlock make no system call while nobody waits.
#pragma once

#include <atomic>
#include <cstdint>

namespace zelk::os {

class Semaphore {
public:
    // Largest count the system accepts (the largest signed 32-bit value).
    static constexpr long kLargestCount = 2147483647L;

    // How Lock waits once the count is 0 (POSIX; a Win32 kernel wait always
    // sleeps at once).  Most semaphores are locks held for a few
    // instructions or hand-offs that come back quickly: a short look at the
    // count first saves a sleep and a wake-up.  A lock that two threads
    // fight over in a tight loop is better off without it: the spinning
    // waiter only pulls away the cache line its owner works on.
    enum class Wait : std::uint8_t { kSpinFirst, kSleepAtOnce };

    // Creation fails (IsValid() false) for an initial count below 0, a
    // maximum of 0 or less or above kLargestCount, an initial count above
    // the maximum, or when the system has no resources left.
    Semaphore(long initialCount, long maximumCount, Wait wait = Wait::kSpinFirst) noexcept;
    ~Semaphore();
    Semaphore(Semaphore const&) = delete;
    Semaphore& operator=(Semaphore const&) = delete;

    bool IsValid() const noexcept;

    // Results are 1 for yes and 0 for no, as the semaphore interface gives
    // them, so that CZelkSemaphore passes them on without a conversion.
    //
    // Waits until the count is above 0 and takes one unit.  0 only when the
    // system's wait fails.
    int Lock() noexcept;
    // Gives one unit back; 0 (count unchanged) when the count is at its
    // maximum or the system refuses.
    int Unlock() noexcept;
    // Takes one unit if one is there at once.
    int TryLock() noexcept;
    // Waits up to `milliseconds` for a unit and takes it: 1 once taken, 0
    // when the time ran out (or the system's wait failed).  kForever waits
    // as Lock does, 0 tries once as TryLock does.
    static constexpr std::uint32_t kForever = 0xFFFFFFFF;
    int LockFor(std::uint32_t milliseconds) noexcept;

private:
    // POSIX: the count is the futex word, -1 when it is 0 and threads may
    // sleep on it, so that Unlock calls the kernel only when one might.
    // Win32: only m_handle is used.  (Each backend leaves the other's
    // fields alone, hence the attributes.)
    [[maybe_unused]] std::atomic<std::int32_t> m_count{0};
    [[maybe_unused]] std::int32_t m_maximum = 0;
    [[maybe_unused]] Wait m_wait = Wait::kSpinFirst;
    [[maybe_unused]] void* m_handle = nullptr;
};

}  // namespace zelk::os
