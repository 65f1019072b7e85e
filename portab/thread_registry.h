// The thread registry: which thread object owns each platform thread that
// the library started, from just before the thread runs until it is joined.
#pragma once

#include "platform/thread.h"
#include "portab/semaphore.h"
#include "portab/thread.h"

#include <map>

namespace zelk {

class ThreadRegistry {
public:
    ThreadRegistry();
    ThreadRegistry(ThreadRegistry const&) = delete;
    ThreadRegistry& operator=(ThreadRegistry const&) = delete;

    // One entry per attached platform thread; inserting a key twice is a bug.
    void Insert(os::Thread const* native, CZelkThread* thread);
    void Remove(os::Thread const* native) noexcept;
    CZelkThread* Find(os::Thread const* native);
    void Visit(ThreadVisitor visit, void* context);

private:
    // Threads start, end, look themselves up and get walked from any thread
    // at once; a short lock keeps the map whole.
    CZelkSemaphore m_lock;
    std::map<os::Thread const*, CZelkThread*> m_threads;
};

}  // namespace zelk
