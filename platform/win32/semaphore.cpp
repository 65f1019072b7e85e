#include "platform/semaphore.h"

#include "platform/win32/win32.h"

namespace zelk::os {

Semaphore::Semaphore(long initialCount, long maximumCount, Wait /*a kernel wait always sleeps*/) noexcept {
    // An unnamed semaphore with default security; the kernel itself refuses
    // bad counts (initial below 0 or above the maximum, maximum not above 0).
    m_handle = CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr);
}

Semaphore::~Semaphore() {
    if (m_handle != nullptr) {
        CloseHandle(m_handle);
    }
}

bool Semaphore::IsValid() const noexcept { return m_handle != nullptr; }

int Semaphore::Lock() noexcept { return WaitForSingleObject(m_handle, INFINITE) == WAIT_OBJECT_0 ? 1 : 0; }

int Semaphore::Unlock() noexcept { return ReleaseSemaphore(m_handle, 1, nullptr) != 0 ? 1 : 0; }

int Semaphore::TryLock() noexcept { return WaitForSingleObject(m_handle, 0) == WAIT_OBJECT_0 ? 1 : 0; }

// kForever is the system's INFINITE.
int Semaphore::LockFor(std::uint32_t milliseconds) noexcept {
    return WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0 ? 1 : 0;
}

}  // namespace zelk::os
