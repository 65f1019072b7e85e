// Each thread's own connections to the registry files, and the barrier
// that keeps registry calls out while every connection is closed.
#include "platform/posix/registry/connections.h"

#include "platform/posix/registry/location.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::os::registry {

void ThreadState::CloseAll(bool quick, long reason) noexcept {
    for (RegistryStore& file : files) {
        file.RollbackWrite();
        file.Close(quick);
    }
    if (inTransaction && broken == kErrorSuccess) {
        broken = reason;
    }
}

namespace {

// Keeps registry calls out while the connections of every thread are
// closed (fork(), RegistryClose): a call counts itself in, and the closer
// waits until the count is zero.  Two atomics on the way in and out.
class CallBarrier {
public:
    void Enter() {
        for (;;) {
            m_inside.fetch_add(1);
            if (!m_closing.load()) {
                return;
            }
            Leave();
            std::unique_lock<std::mutex> guard(m_lock);
            m_reopened.wait(guard, [this] { return !m_closing.load(); });
        }
    }
    void Leave() noexcept {
        if (m_inside.fetch_sub(1) == 1 && m_closing.load()) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_idle.notify_all();
        }
    }
    // Returns with no call inside and the lock held, so that a fork()
    // never copies it taken by another thread.
    void Close() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_closing.store(true);
        m_idle.wait(guard, [this] { return m_inside.load() == 0; });
        guard.release();
    }
    void Reopen() noexcept {
        m_closing.store(false);
        m_reopened.notify_all();
        m_lock.unlock();
    }
    // In a child of fork(): the threads that waited here are not there, so
    // the condition variables start anew.
    void ReopenInChild() noexcept {
        m_inside.store(0);
        m_closing.store(false);
        new (&m_idle) std::condition_variable;
        new (&m_reopened) std::condition_variable;
        m_lock.unlock();
    }

private:
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_closing{false};
    std::mutex m_lock;
    std::condition_variable m_idle;
    std::condition_variable m_reopened;
};

}  // namespace

// Everything the registry calls share.  Allocated once and never
// destroyed: a host may still use the registry from its own static
// destructors, after this file's statics are gone.
struct SharedState {
    CallBarrier barrier;
    HandleTable handles;
    std::mutex lock;  // the members below
    ThreadState* threads = nullptr;
    ThreadState* orphans = nullptr;  // in a child of fork(): the states of threads left behind
    bool located = false;
    Locations locations;
    int busyTimeout = 5000;
    pthread_key_t threadKey{};

    // Under the barrier, closed.
    void CloseEveryThread(bool quick, long reason) noexcept {
        std::lock_guard<std::mutex> guard(lock);
        for (ThreadState* thread = threads; thread; thread = thread->next) {
            thread->CloseAll(quick, reason);
        }
    }
};

namespace {

void PrepareFork() noexcept;
void AfterForkInParent() noexcept;
void AfterForkInChild() noexcept;
void ThreadEnds(void* state) noexcept;

std::atomic<SharedState*> g_made{nullptr};

SharedState& Shared() {
    static SharedState* const state = [] {
        auto* made = new SharedState;
        pthread_key_create(&made->threadKey, ThreadEnds);
        g_made.store(made);
        pthread_atfork(PrepareFork, AfterForkInParent, AfterForkInChild);
        return made;
    }();
    return *state;
}

void PrepareFork() noexcept {
    SharedState& state = Shared();
    state.barrier.Close();
    state.CloseEveryThread(true, kErrorOperationAborted);
}

void AfterForkInParent() noexcept { Shared().barrier.Reopen(); }

void AfterForkInChild() noexcept {
    SharedState& state = Shared();
    // Only the forking thread lives on; the others' states stay allocated
    // (their threads never end here) in a list of their own.
    auto* own = static_cast<ThreadState*>(pthread_getspecific(state.threadKey));
    ThreadState* others = state.threads;
    if (own) {
        (own->previous ? own->previous->next : others) = own->next;
        if (own->next) {
            own->next->previous = own->previous;
        }
        own->next = own->previous = nullptr;
    }
    if (others) {
        ThreadState* last = others;
        while (last->next) {
            last = last->next;
        }
        last->next = state.orphans;
        state.orphans = others;
    }
    state.threads = own;
    state.barrier.ReopenInChild();
}

// A thread's connections go with the thread.
void ThreadEnds(void* raw) noexcept {
    auto* thread = static_cast<ThreadState*>(raw);
    SharedState& state = Shared();
    state.barrier.Enter();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        (thread->previous ? thread->previous->next : state.threads) = thread->next;
        if (thread->next) {
            thread->next->previous = thread->previous;
        }
    }
    thread->CloseAll(false, kErrorOperationAborted);
    delete thread;  // inside: a fork right after would leave it to the child, out of every list
    state.barrier.Leave();
}

// Closes the files when the process ends normally, so SQLite can fold its
// write-ahead log back into the file.
struct CloseAtExit {
    ~CloseAtExit() {
        if (g_made.load() != nullptr) {
            RegistryClose();
        }
    }
} const closeAtExit;

}  // namespace

RegistryCall::RegistryCall() : m_state(Shared()) { m_state.barrier.Enter(); }

RegistryCall::~RegistryCall() { m_state.barrier.Leave(); }

ThreadState& RegistryCall::Thread() {
    auto* thread = static_cast<ThreadState*>(pthread_getspecific(m_state.threadKey));
    if (!thread) {
        thread = new ThreadState;
        std::lock_guard<std::mutex> guard(m_state.lock);
        thread->next = m_state.threads;
        if (thread->next) {
            thread->next->previous = thread;
        }
        m_state.threads = thread;
        pthread_setspecific(m_state.threadKey, thread);
    }
    return *thread;
}

HandleTable& RegistryCall::Handles() noexcept { return m_state.handles; }

long RegistryCall::Resolve(HKEY key, Target& target) {
    int machine;
    {
        std::lock_guard<std::mutex> guard(m_state.lock);
        Locate();
        machine = m_state.locations.machine == m_state.locations.user ? kUserFile : kMachineFile;
    }
    return RootTarget(key, machine, target) || m_state.handles.Find(key, target) ? kErrorSuccess : kErrorInvalidHandle;
}

long RegistryCall::Store(Target& target, RegistryStore*& store, bool create) {
    store = &Thread().files[target.file];
    long result = kErrorSuccess;
    if (!store->IsOpen()) {
        std::string path;
        int busyTimeout;
        {
            std::lock_guard<std::mutex> guard(m_state.lock);
            Locate();
            path = target.file == kUserFile ? m_state.locations.user : m_state.locations.machine;
            busyTimeout = m_state.busyTimeout;
        }
        result = store->Open(
            path, target.file == kUserFile ? RegistryStore::Role::kUser : RegistryStore::Role::kMachine, busyTimeout);
    }
    if (result == kErrorSuccess && create) {
        result = JoinTransaction(target.file);
    }
    if (result == kErrorSuccess && target.key == kClassesRoot) {
        static std::vector<std::string_view> const classes = {"Software", "Classes"};
        result = create ? store->Create(kLocalMachineId, classes, target.key)
                        : store->Find(kLocalMachineId, classes, target.key);
    }
    return result;
}

long RegistryCall::JoinTransaction(int file) {
    ThreadState& thread = Thread();
    if (!thread.inTransaction) {
        return kErrorSuccess;
    }
    if (thread.broken != kErrorSuccess) {
        return thread.broken;
    }
    if (!thread.wrote[file]) {
        if (long const begun = thread.files[file].BeginWrite(); begun != kErrorSuccess) {
            return begun;
        }
        thread.wrote[file] = true;
    }
    return kErrorSuccess;
}

long RegistryCall::Wrote(int file, long result) {
    ThreadState& thread = Thread();
    if (thread.inTransaction && thread.wrote[file] && !thread.files[file].InWrite() && thread.broken == kErrorSuccess) {
        thread.broken = result != kErrorSuccess ? result : kErrorRegistryIoFailed;
    }
    return result;
}

void RegistryCall::Locate() {
    if (!m_state.located) {
        m_state.locations = FindLocations();
        m_state.located = true;
    }
}

}  // namespace zelk::os::registry

namespace zelk::os {

using registry::Shared;
using registry::SharedState;

void RegistryClose() {
    SharedState& state = Shared();
    state.barrier.Close();
    state.CloseEveryThread(false, kErrorOperationAborted);
    state.handles.Clear();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.located = false;
    }
    state.barrier.Reopen();
}

void RegistrySetBusyTimeout(int milliseconds) {
    SharedState& state = Shared();
    state.barrier.Close();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.busyTimeout = milliseconds < 0 ? 0 : milliseconds;
    }
    state.CloseEveryThread(false, kErrorOperationAborted);  // they open again with the new timeout
    state.barrier.Reopen();
}

}  // namespace zelk::os
