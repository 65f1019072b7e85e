#include "portab/semaphore.h"

namespace zelk {

CZelkSemaphore::CZelkSemaphore(long initialCount, long maximumCount) : m_semaphore(initialCount, maximumCount) {
    if (!m_semaphore.IsValid()) {
        throw CZelkResourceExhausted();
    }
}

CZelkSemaphore::~CZelkSemaphore() = default;

int CZelkSemaphore::Lock() { return m_semaphore.Lock() ? 1 : 0; }

int CZelkSemaphore::Unlock() { return m_semaphore.Unlock() ? 1 : 0; }

int CZelkSemaphore::TryLock() { return m_semaphore.TryLock() ? 1 : 0; }

}  // namespace zelk

// A constructor that throws leaves nothing behind: the new-expression gives
// the memory back before the exception reaches the caller.
CAbstractSemaphore* CreateZelkSemaphore(long initialCount) {
    return new zelk::CZelkSemaphore(initialCount, zelk::kMaximumSemaphoreCount);
}

CAbstractSemaphore* CreateZelkSemaphore(long initialCount, long maximumCount) {
    return new zelk::CZelkSemaphore(initialCount, maximumCount);
}
