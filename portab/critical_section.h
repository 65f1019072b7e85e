// CZelkCriticalSection: the layer's re-entrant lock, built from two of our
// own semaphores (a short-held guard and a wake-up count) and the identity of
// the calling thread.
#pragma once

#include <zelk/portab.h>

#include "platform/thread.h"
#include "portab/semaphore.h"

#include <cstdint>

namespace zelk {

class alignas(64) CZelkCriticalSection final : public CAbstractCriticalSection {
public:
    // Throws CZelkResourceExhausted when the system refuses a semaphore.
    CZelkCriticalSection();
    ~CZelkCriticalSection() override;
    CZelkCriticalSection(CZelkCriticalSection const&) = delete;
    CZelkCriticalSection& operator=(CZelkCriticalSection const&) = delete;

    // Returns once the calling thread holds the lock (one level deeper if it
    // already did); always 1.
    int Lock() override;
    // Gives up one level; the last level frees the lock and wakes one waiter.
    // Always 1.  Unlocking a free lock is a bug and aborts.
    int Unlock() override;
    // 1 when the calling thread now holds the lock, 0 when another one does.
    int TryLock() override;

private:
    friend struct CriticalSectionProbe;  // white-box tests read the wake count

    using ThreadId = os::ThreadId;

    // Who is asking.  Threads the library started are told apart by their
    // thread objects alone.  Every other thread shares the main thread object,
    // so for those the operating system's thread identity is added; without
    // it two host threads could hold the lock at once.
    struct Caller {
        CAbstractThread* object;
        ThreadId id;
    };
    static Caller Identify();

    // Takes the lock (or one more level of it) when it is free or the
    // caller's; the guard must be held.
    bool Take_NoLock(Caller const& caller);
    void LockGuard();
    void UnlockGuard();

    // Everything an uncontended Lock and Unlock touch shares one cache line
    // (the class is aligned to it); the wake semaphore, used only by waiters,
    // lies in the next.
    CAbstractThread* m_owner;  // null exactly while the lock is free
    ThreadId m_ownerId;  // the owner's system identity; see Caller
    std::uint32_t m_depth;  // how often the owner holds it; 0 while free
    // Threads that found the lock held and wait (or are about to wait) on
    // m_wake.  A unit is released only for one of them, so unwanted units
    // never pile up and send later waiters round a busy loop.
    std::uint32_t m_waiters;
    CZelkSemaphore m_guard;  // held only for the few instructions on the fields
    CZelkSemaphore m_wake;  // one unit per waiter released by a last Unlock
};

}  // namespace zelk
