// The recursive lock behind every error list: a thread that holds it may
// take it again.  Win32: a CRITICAL_SECTION; POSIX: a recursive pthread mutex.
#pragma once

namespace zelk::os {

class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(RecursiveLock const&) = delete;
    RecursiveLock& operator=(RecursiveLock const&) = delete;

    void Lock() noexcept;
    void Unlock() noexcept;

private:
    // Room for the system's lock object without naming its type here.
    alignas(8) unsigned char m_storage[64];
};

// Holds a RecursiveLock for a scope; releases it on every way out.
class RecursiveLockGuard {
public:
    explicit RecursiveLockGuard(RecursiveLock& lock) noexcept : m_lock(lock) { m_lock.Lock(); }
    ~RecursiveLockGuard() { m_lock.Unlock(); }
    RecursiveLockGuard(RecursiveLockGuard const&) = delete;
    RecursiveLockGuard& operator=(RecursiveLockGuard const&) = delete;

private:
    RecursiveLock& m_lock;
};

}  // namespace zelk::os
