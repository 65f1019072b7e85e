#include "portab/library.h"

#include "portab/thread.h"
#include "portab/thread_registry.h"

namespace zelk {

// All four objects in one place: their members are built in declaration
// order and destroyed in the reverse, which no order of initialisation
// between translation units (or between libraries) can disturb.
struct LibraryObjects {
    std::uint32_t numberingCounter = 0;
    CZelkSemaphore numberingLock{1, kMaximumSemaphoreCount};
    ThreadRegistry registry;
    CZelkThread mainThread{"Main", CZelkThread::MainThreadTag{}};
};

namespace {

// Built on first use, which is at the latest the load of the library (see
// below): a static object of another unit that makes an error or asks for
// its thread during its own construction finds them complete all the same.
LibraryObjects& Objects() {
    static LibraryObjects objects;
    return objects;
}

[[maybe_unused]] LibraryObjects& g_builtAtLoad = Objects();

}  // namespace

std::uint32_t& NumberingCounter() { return Objects().numberingCounter; }

CZelkSemaphore& NumberingLock() { return Objects().numberingLock; }

ThreadRegistry& Registry() { return Objects().registry; }

CZelkThread& MainThread() { return Objects().mainThread; }

}  // namespace zelk
