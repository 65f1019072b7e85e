#include "portab/thread_registry.h"

#include "platform/fatal.h"
#include "portab/library.h"

namespace zelk {

ThreadRegistry::ThreadRegistry() : m_lock(1, kMaximumSemaphoreCount) {}

void ThreadRegistry::Insert(os::Thread const* native, CZelkThread* thread) {
    SemaphoreLock guard(m_lock);
    if (!m_threads.emplace(native, thread).second) {
        Fatal("a platform thread was registered twice");
    }
}

void ThreadRegistry::Remove(os::Thread const* native) noexcept {
    SemaphoreLock guard(m_lock);
    m_threads.erase(native);
}

CZelkThread* ThreadRegistry::Find(os::Thread const* native) {
    SemaphoreLock guard(m_lock);
    auto const found = m_threads.find(native);
    return found == m_threads.end() ? nullptr : found->second;
}

void ThreadRegistry::Visit(ThreadVisitor visit, void* context) {
    SemaphoreLock guard(m_lock);
    for (auto const& [native, thread] : m_threads) {
        visit(context, *thread);
    }
}

void VisitRegisteredThreads(ThreadVisitor visit, void* context) { Registry().Visit(visit, context); }

}  // namespace zelk
