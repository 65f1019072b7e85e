#include "portab/semaphore.h"

namespace zelk {

CZelkSemaphore::CZelkSemaphore(long initialCount, long maximumCount, os::Semaphore::Wait wait)
    : m_semaphore(initialCount, maximumCount, wait) {
    if (!m_semaphore.IsValid()) {
        throw CZelkResourceExhausted();
    }
}

CZelkSemaphore::~CZelkSemaphore() = default;

}  // namespace zelk

// A constructor that throws leaves nothing behind: the new-expression gives
// the memory back before the exception reaches the caller.
CAbstractSemaphore* CreateZelkSemaphore(long initialCount) {
    return new zelk::CZelkSemaphore(initialCount, zelk::kMaximumSemaphoreCount);
}

CAbstractSemaphore* CreateZelkSemaphore(long initialCount, long maximumCount) {
    return new zelk::CZelkSemaphore(initialCount, maximumCount);
}
