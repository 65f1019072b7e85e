// CZelkSignals: a word of 32 signal bits that other threads set and one
// thread waits for.  Every thread object is one, and buffer pipes hold two.
#pragma once

#include <zelk/portab.h>

#include "portab/semaphore.h"

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

private:
    // (fields: state lock, signal lock, waiter lock, wake, allocated,
    //  pending, wanted, waiter — see signals.cpp)
};

}  // namespace zelk
