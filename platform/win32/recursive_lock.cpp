#include "platform/recursive_lock.h"

#include "platform/win32/win32.h"

#include <new>

namespace zelk::os {

namespace {
CRITICAL_SECTION* Native(unsigned char* storage) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }
}  // namespace

RecursiveLock::RecursiveLock() {
    static_assert(sizeof(CRITICAL_SECTION) <= sizeof(m_storage));
    static_assert(alignof(CRITICAL_SECTION) <= alignof(RecursiveLock));
    InitializeCriticalSection(new (m_storage) CRITICAL_SECTION);
}

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(Native(m_storage)); }

void RecursiveLock::Lock() noexcept { EnterCriticalSection(Native(m_storage)); }

void RecursiveLock::Unlock() noexcept { LeaveCriticalSection(Native(m_storage)); }

}  // namespace zelk::os
