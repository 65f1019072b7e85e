// The layer's waits with a time limit.  The library's own objects wait in
// the system; objects of a host's own classes have only the interface, so
// they are polled.
#include "platform/clock.h"
#include "platform/thread.h"
#include "portab/semaphore.h"
#include "portab/signals.h"
#include "portab/thread.h"

namespace {

// Limits of 2^32 - 1 ms and more mean none, as Windows' INFINITE does.
std::uint32_t Limit(unsigned long milliseconds) noexcept {
    return milliseconds >= ZelkInfinite ? zelk::os::Semaphore::kForever : static_cast<std::uint32_t>(milliseconds);
}

// Calls `ready` until it succeeds or the limit has passed, a millisecond
// apart; the last call comes after the limit, so a limit of 0 looks once.
template <typename Ready>
bool Poll(std::uint32_t limit, Ready&& ready) {
    std::uint32_t const start = zelk::os::MilliSeconds();
    for (;;) {
        if (ready()) return true;
        if (limit != zelk::os::Semaphore::kForever && zelk::os::MilliSeconds() - start >= limit) {
            return ready();
        }
        zelk::os::Sleep(1);
    }
}

}  // namespace

unsigned long WaitZelkSignals(CAbstractSignals& set, unsigned long mask, unsigned long milliseconds) {
    if (auto* const own = dynamic_cast<zelk::CZelkSignals*>(&set)) {
        return own->WaitFor(mask, Limit(milliseconds));
    }
    if ((mask & 0xFFFFFFFFUL) == 0) return 0;
    unsigned long taken = 0;
    Poll(Limit(milliseconds), [&] {
        taken = set.GetSignals() & mask & 0xFFFFFFFFUL;
        set.ClearSignals(taken);
        return taken != 0;
    });
    return taken;
}

// Critical sections have owners and levels, not a count: they are polled.
int LockZelkSemaphore(CAbstractSemaphore& semaphore, unsigned long milliseconds) {
    if (auto* const own = dynamic_cast<zelk::CZelkSemaphore*>(&semaphore)) {
        return own->LockFor(Limit(milliseconds));
    }
    return Poll(Limit(milliseconds), [&] { return semaphore.TryLock() != 0; }) ? 1 : 0;
}

unsigned long JoinZelkThread(CAbstractThread& thread, unsigned long milliseconds) {
    if (Limit(milliseconds) == zelk::os::Semaphore::kForever) return thread.Join();
    bool ended;
    if (auto* const own = dynamic_cast<zelk::CZelkThread*>(&thread)) {
        ended = own->WaitForEnd(Limit(milliseconds));
    } else {
        ended = Poll(Limit(milliseconds), [&] { return thread.IsRunning() == 0; });
    }
    return ended ? thread.Join() : zelk::os::kStillActive;
}
