// CZelkSemaphore: the layer's counting semaphore, and the library's
// everyday mutual-exclusion lock when made with an initial count of 1.
#pragma once

#include <zelk/portab.h>

#include "platform/semaphore.h"

namespace zelk {

class CZelkSemaphore final : public CAbstractSemaphore {
public:
    // Throws CZelkResourceExhausted when the system refuses the counts
    // (initial below 0, maximum 0 or less, initial above maximum) or has no
    // resources left.
    // `wait` says how Lock waits when the count is 0 (see os::Semaphore::Wait).
    CZelkSemaphore(long initialCount, long maximumCount, os::Semaphore::Wait wait = os::Semaphore::Wait::kSpinFirst);
    ~CZelkSemaphore() override;
    CZelkSemaphore(CZelkSemaphore const&) = delete;
    CZelkSemaphore& operator=(CZelkSemaphore const&) = delete;

    // Inline, so that a call through the interface reaches the system's
    // semaphore in one jump.
    int Lock() override { return m_semaphore.Lock(); }
    int Unlock() override { return m_semaphore.Unlock(); }
    int TryLock() override { return m_semaphore.TryLock(); }
    // Waits up to `milliseconds` (os::Semaphore::kForever: no limit).
    int LockFor(std::uint32_t milliseconds) { return m_semaphore.LockFor(milliseconds); }

private:
    os::Semaphore m_semaphore;
};

// Largest count a semaphore can hold (and the maximum of every lock).
inline constexpr long kMaximumSemaphoreCount = 2147483647L;

// Holds a semaphore used as a lock for a scope: Lock on entry, Unlock on
// every way out.
class SemaphoreLock {
public:
    explicit SemaphoreLock(CAbstractSemaphore& semaphore) noexcept : m_semaphore(semaphore) { m_semaphore.Lock(); }
    ~SemaphoreLock() { m_semaphore.Unlock(); }
    SemaphoreLock(SemaphoreLock const&) = delete;
    SemaphoreLock& operator=(SemaphoreLock const&) = delete;

private:
    CAbstractSemaphore& m_semaphore;
};

}  // namespace zelk
