// CZelkThread: the library's thread object.  Owns at most one platform
// thread at a time, carries the thread's error list, name and priority, and
// is itself the thread's signal set.
#pragma once

#include <zelk/portab.h>

#include "portab/signals.h"

namespace zelk {

class CZelkThread : public virtual CZelkSignals, public virtual CAbstractThread {
public:
    explicit CZelkThread(char const* name);
    ~CZelkThread() override;

    int Start(CAbstractRunnable* runnable) override;
    unsigned long Join() override;
    [[noreturn]] void Exit(unsigned long exitCode) override;
    int IsRunning() override;
    CZelkErrorList& GetErrorList() override;
    char const* GetName() override;
    void SetName(char const* name) override;
    void SetPriority(int priority) override;
    int GetPriority() override;

private:
    // (fields: native thread, error list, name, priority — see thread.cpp)
};

// The process-wide main thread object "Main": every thread the library did
// not start shares it.
CZelkThread& MainThread();

// Calls `visit` for every thread object in the registry, in registry order
// (ERRClearErrors walks the registry this way).
template <typename Visit>
void VisitRegisteredThreads(Visit&& visit);

}  // namespace zelk
