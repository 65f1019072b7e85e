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

    // Creation fails (IsValid() false) for an initial count below 0, a
    // maximum of 0 or less or above kLargestCount, an initial count above
    // the maximum, or when the system has no resources left.
    Semaphore(long initialCount, long maximumCount) noexcept;
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

private:
    // POSIX: the count is the futex word; m_sleepers counts threads that
    // may sleep on it, so Unlock calls the kernel only when one might.
    // Win32: only m_handle is used.  (Each backend leaves the other's
    // fields alone, hence the attributes.)
    [[maybe_unused]] std::atomic<std::int32_t> m_count{0};
    [[maybe_unused]] std::atomic<std::int32_t> m_sleepers{0};
    [[maybe_unused]] std::int32_t m_maximum = 0;
    [[maybe_unused]] void* m_handle = nullptr;
};

}  // namespace zelk::os
