// The slot for the host's own portability object.  The library stores the
// pointer and hands it back; it never looks inside.
#include <zelk/portab.h>

#include <atomic>
#include <cstdlib>

namespace {

// One pointer, read and written whole from any thread.
std::atomic<CZelkPortab*> g_portab{nullptr};

// The status with which a process ends that asks for an object nobody installed.
constexpr int kNoPortabExitStatus = 10;

}  // namespace

void SetZelkPortab(CZelkPortab* portab) {
    if (portab == nullptr) {
        g_portab.store(nullptr, std::memory_order_release);
        return;
    }
    // The first object installed stays: a second one does not replace it.
    CZelkPortab* expected = nullptr;
    g_portab.compare_exchange_strong(expected, portab, std::memory_order_acq_rel, std::memory_order_acquire);
}

CZelkPortab& GetZelkPortab() {
    CZelkPortab* portab = g_portab.load(std::memory_order_acquire);
    if (portab == nullptr) {
        // The normal exit, so the host's exit handlers still run.
        std::exit(kNoPortabExitStatus);
    }
    return *portab;
}
