// CZelkThread: the library's thread object.  Owns at most one platform
// thread at a time, carries the thread's error list, name and priority, and
// is itself the thread's signal set.
#pragma once

#include <zelk/portab.h>

#include "platform/thread.h"
#include "portab/signals.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

namespace zelk {

class CZelkThread : public virtual CZelkSignals, public virtual CAbstractThread {
public:
    // A thread object that is not started; its priority value is copied from
    // the creating thread's own object.
    explicit CZelkThread(char const* name);
    ~CZelkThread() override;
    CZelkThread(CZelkThread const&) = delete;
    CZelkThread& operator=(CZelkThread const&) = delete;

    int Start(CAbstractRunnable* runnable) override;
    unsigned long Join() override;
    // Waits up to `milliseconds` for the attached thread to end; true once
    // it has (or when none is attached), after which Join returns at once.
    bool WaitForEnd(std::uint32_t milliseconds);
    // Ends the calling thread, whichever object it is called on.  259 ends
    // it with 0, as a Run that returns 259 does: 259 reads "still running",
    // and a Join of such a thread would wait for ever.
    [[noreturn]] void Exit(unsigned long exitCode) override;
    int IsRunning() override;
    CZelkErrorList& GetErrorList() override;
    char const* GetName() override;
    void SetName(char const* name) override;
    void SetPriority(int priority) override;
    int GetPriority() override;

private:
    friend struct LibraryObjects;
    struct MainThreadTag {};
    // The main thread object: priority 0, not taken from any creator.
    CZelkThread(char const* name, MainThreadTag);

    static std::uint32_t EntryFunction(void* self);

    std::unique_ptr<os::Thread> m_native;
    CZelkErrorList m_errorList;
    std::string m_name;
    // Read by the thread itself (a thread object made inside Run copies it)
    // while Start applies it once more from the controlling thread.
    std::atomic<int> m_priority{0};
    CAbstractRunnable* m_runnable = nullptr;
};

// The process-wide main thread object "Main": every thread the library did
// not start shares it.
CZelkThread& MainThread();

// Calls visit(CZelkThread&) for every thread object in the registry, in
// registry order (ERRClearErrors walks the registry this way).  The registry
// stays locked for the walk, so no object leaves it (and none is destroyed)
// while it is visited; `visit` must not start or join threads.
using ThreadVisitor = void (*)(void* context, CZelkThread& thread);
void VisitRegisteredThreads(ThreadVisitor visit, void* context);

template <typename Visit>
requires std::is_invocable_v<Visit&, CZelkThread&>
void VisitRegisteredThreads(Visit&& visit) {
    VisitRegisteredThreads(
        [](void* context, CZelkThread& thread) { (*static_cast<std::remove_reference_t<Visit>*>(context))(thread); },
        const_cast<void*>(static_cast<void const*>(std::addressof(visit))));
}

}  // namespace zelk
