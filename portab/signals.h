// CZelkSignals: a word of 32 signal bits that other threads set and one
// thread waits for.  Every thread object is one, and buffer pipes hold two.
#pragma once

#include <zelk/portab.h>

#include "portab/semaphore.h"

#include <atomic>
#include <cstdint>

namespace zelk {

class CZelkSignals : public virtual CAbstractSignals {
public:
    CZelkSignals();
    ~CZelkSignals() override;
    CZelkSignals(CZelkSignals const&) = delete;
    CZelkSignals& operator=(CZelkSignals const&) = delete;

    int AllocSignal() override;
    void FreeSignals(unsigned long mask) override;
    int AllocSignals(unsigned long mask) override;
    unsigned long GetSignals() override;
    unsigned long GetAllocated() override;
    void ClearSignals(unsigned long mask) override;
    unsigned long Wait(unsigned long mask) override;
    void Signal(unsigned long mask) override;
    // Wait with a limit (os::Semaphore::kForever: none): 0 when it ran out
    // with no bit of `mask` pending.
    unsigned long WaitFor(unsigned long mask, std::uint32_t milliseconds);

private:
    // Waits for the state lock unless a waiter registers meanwhile: a
    // registered waiter holds that lock for its whole wait, so a signaller
    // that kept waiting for it would never set the bit the waiter waits for.
    bool LockStateUnlessWaiter();

    // Declared in this order so that they close in the reverse one: wake,
    // waiter lock, signal lock, state lock.
    CZelkSemaphore m_stateLock;  // allocated word and the waiter's take
    CZelkSemaphore m_signalLock;  // one Signal (or GetSignals) at a time
    CZelkSemaphore m_waiterLock;  // one Wait at a time
    CZelkSemaphore m_wake;  // a unit for each wake-up of the waiter
    std::uint32_t m_allocated = 0;
    // Changed with atomic operations: a Signal may run beside a holder of
    // the state lock (while a waiter is registered) and must neither lose
    // its bits nor undo another's change.
    std::atomic<std::uint32_t> m_pending{0};
    std::atomic<std::uint32_t> m_wanted{0};
    std::atomic<CAbstractThread*> m_waiter{nullptr};
};

}  // namespace zelk
