// CZelkCriticalSection and its factory.
#include "portab/critical_section.h"

#include "platform/fatal.h"
#include "portab/thread.h"

namespace zelk {

namespace {

[[noreturn]] void Fail(char const* what) { Fatal("critical section: %s", what); }

}  // namespace

CZelkCriticalSection::CZelkCriticalSection()
    : m_owner(nullptr),
      m_ownerId(),
      m_depth(0),
      m_waiters(0),
      // A critical section takes no spin: a thread that must wait for either
      // semaphore sleeps at once.  Two threads fighting over the lock in a
      // tight loop go fastest that way: a spinning waiter keeps pulling
      // away the cache line the owner is working on.
      m_guard(1, kMaximumSemaphoreCount, os::Semaphore::Wait::kSleepAtOnce),
      m_wake(0, kMaximumSemaphoreCount, os::Semaphore::Wait::kSleepAtOnce) {}

// Destroying a lock that is held or waited on is the caller's error; nothing
// is checked here, as with every object of the layer.
CZelkCriticalSection::~CZelkCriticalSection() = default;

CZelkCriticalSection::Caller CZelkCriticalSection::Identify() {
    CAbstractThread* const object = &MyZelkThread();
    static CAbstractThread* const mainObject = &MainThread();
    // Only threads sharing the main object need the system's identity; for
    // threads of the layer it stays at its default on both sides.
    return Caller{object, object == mainObject ? os::CurrentThreadId() : ThreadId()};
}

bool CZelkCriticalSection::Take_NoLock(Caller const& caller) {
    if (m_owner == nullptr) {
        m_owner = caller.object;
        m_ownerId = caller.id;
    } else if (m_owner != caller.object || !(m_ownerId == caller.id)) {
        return false;
    }
    ++m_depth;
    return true;
}

// A failed wait on our own valid semaphore leaves no safe way on: going ahead
// would break mutual exclusion and retrying would spin, so stop loudly.
void CZelkCriticalSection::LockGuard() {
    if (!m_guard.Lock()) Fail("the guard wait failed");
}

void CZelkCriticalSection::UnlockGuard() {
    if (!m_guard.Unlock()) Fail("the guard release failed");
}

int CZelkCriticalSection::TryLock() {
    Caller const me = Identify();  // before the guard: the lookup takes locks of its own
    LockGuard();
    bool const taken = Take_NoLock(me);
    UnlockGuard();
    return taken ? 1 : 0;
}

int CZelkCriticalSection::Lock() {
    // A thread's identity cannot change while it is inside this call, so one
    // lookup serves every attempt.
    Caller const me = Identify();
    for (;;) {
        LockGuard();
        if (Take_NoLock(me)) {
            UnlockGuard();
            return 1;
        }
        ++m_waiters;  // counted under the guard, so the last Unlock cannot miss us
        UnlockGuard();
        // No fairness: the unit says the lock was freed, not that it is ours;
        // a thread that came in meanwhile may have it again, and we wait anew.
        if (!m_wake.Lock()) Fail("the wait for a release failed");
    }
}

int CZelkCriticalSection::Unlock() {
    LockGuard();
    if (m_depth == 0) {
        UnlockGuard();
        Fail("Unlock without a matching Lock");
    }
    if (--m_depth == 0) {
        m_owner = nullptr;
        m_ownerId = ThreadId();
        if (m_waiters != 0) {
            --m_waiters;  // this waiter is woken now; the next release is for another
            if (!m_wake.Unlock()) Fail("the wake-up release failed");
        }
    }
    UnlockGuard();
    return 1;
}

}  // namespace zelk

CAbstractCriticalSection* CreateZelkCriticalSection() { return new zelk::CZelkCriticalSection(); }
