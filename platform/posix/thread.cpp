#include "platform/thread.h"

#include "platform/semaphore.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>

namespace zelk::os {

struct Thread::Impl {
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    // The thread parks here until Resume; a thread destroyed unresumed is let
    // through with `cancelled` set and ends without running its entry.
    Semaphore gate{0, 1};
    std::atomic<bool> cancelled{false};
    // Kept here because pthreads has no exit code that reads "still active".
    std::atomic<std::uint32_t> exitCode{kStillActive};
    pthread_t handle{};
    // Touched only by the thread that owns the object.
    bool resumed = false;
    bool joined = false;
    // The kernel's id of the thread is known only once it runs; a priority
    // set before that is applied by the thread itself when it starts.
    std::mutex priorityMutex;
    pid_t tid = 0;
    bool hasPriority = false;
    int priority = 0;
};

namespace {

// The object of the calling thread when this layer started it, so that
// ExitCurrentThread can record the exit code before the thread goes.
thread_local Thread::Impl* t_self = nullptr;

// Win32 priority levels run from -15 (idle) to 15 (time critical) around 0
// (normal), each level a step; Linux threads have a nice value from 19 down
// to -20.  A level moves the thread five nice steps away from the process's
// own value, so normal threads keep the process's niceness and the extremes
// land on the ends of the range.  Raising priority needs privileges; without
// them the call fails and the thread keeps what it has.
void ApplyPriority(pid_t tid, int priority) noexcept {
    errno = 0;
    int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (base == -1 && errno != 0) {
        base = 0;
    }
    long const wanted = std::clamp(static_cast<long>(base) - 5L * static_cast<long>(priority), -20L, 19L);
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), static_cast<int>(wanted));
}

void* Trampoline(void* argument) {
    auto* impl = static_cast<Thread::Impl*>(argument);
    {
        std::lock_guard<std::mutex> guard(impl->priorityMutex);
        impl->tid = static_cast<pid_t>(syscall(SYS_gettid));
        if (impl->hasPriority) {
            ApplyPriority(impl->tid, impl->priority);
        }
    }
    // The creator resumes us a few instructions after creating us, so a
    // short spin usually catches the resume without a sleep and a wake-up.
    constexpr int kGateSpins = 2000;
    bool resumed = false;
    for (int spin = 0; spin < kGateSpins && !resumed; ++spin) {
        resumed = impl->gate.TryLock() != 0;
    }
    if (!resumed) {
        impl->gate.Lock();
    }
    if (impl->cancelled.load(std::memory_order_acquire)) {
        return nullptr;
    }
    t_self = impl;
    std::uint32_t const exitCode = impl->entry(impl->argument);
    t_self = nullptr;
    impl->exitCode.store(exitCode, std::memory_order_release);
    return nullptr;
}

}  // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(ThreadEntry entry, void* argument) {
    auto impl = std::make_unique<Impl>();
    impl->entry = entry;
    impl->argument = argument;
    std::unique_ptr<Thread> thread(new Thread(nullptr));
    if (!impl->gate.IsValid() || pthread_create(&impl->handle, nullptr, Trampoline, impl.get()) != 0) {
        return nullptr;
    }
    thread->m_impl = impl.release();
    return thread;
}

Thread::~Thread() {
    if (m_impl == nullptr) {
        return;
    }
    if (!m_impl->resumed) {
        m_impl->cancelled.store(true, std::memory_order_release);
        m_impl->gate.Unlock();
    }
    if (!m_impl->joined) {
        pthread_join(m_impl->handle, nullptr);
    }
    delete m_impl;
}

bool Thread::Resume() noexcept {
    if (m_impl->resumed) {
        return true;
    }
    m_impl->resumed = m_impl->gate.Unlock() != 0;
    return m_impl->resumed;
}

void Thread::SetPriority(int priority) noexcept {
    std::lock_guard<std::mutex> guard(m_impl->priorityMutex);
    m_impl->hasPriority = true;
    m_impl->priority = priority;
    if (m_impl->tid != 0) {
        ApplyPriority(m_impl->tid, priority);
    }
}

bool Thread::GetExitCode(std::uint32_t& exitCode) noexcept {
    exitCode = m_impl->exitCode.load(std::memory_order_acquire);
    return true;
}

bool Thread::WaitForEnd(std::uint32_t milliseconds) noexcept {
    if (m_impl->joined) {
        return true;
    }
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    // The join itself is the end event: it returns as soon as the thread has
    // gone, and afterwards the destructor has nothing left to wait for.
    if (pthread_timedjoin_np(m_impl->handle, nullptr, &deadline) == 0) {
        m_impl->joined = true;
    }
    return m_impl->joined;
}

void ExitCurrentThread(std::uint32_t exitCode) {
    if (Thread::Impl* self = t_self) {
        t_self = nullptr;
        self->exitCode.store(exitCode, std::memory_order_release);
    }
    pthread_exit(nullptr);
}

void Sleep(std::uint32_t milliseconds) noexcept {
    timespec rest{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

void YieldThread() noexcept { sched_yield(); }

ThreadId CurrentThreadId() noexcept { return static_cast<ThreadId>(pthread_self()); }

}  // namespace zelk::os
