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
    CZelkSemaphore(long initialCount, long maximumCount);
    ~CZelkSemaphore() override;
    CZelkSemaphore(CZelkSemaphore const&) = delete;
    CZelkSemaphore& operator=(CZelkSemaphore const&) = delete;

    int Lock() override;
    int Unlock() override;
    int TryLock() override;

private:
    os::Semaphore m_semaphore;
};

// Largest count a semaphore can hold (and the maximum of every lock).
inline constexpr long kMaximumSemaphoreCount = 2147483647L;

}  // namespace zelk
