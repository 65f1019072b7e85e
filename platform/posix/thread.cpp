#include "platform/thread.h"

#include "platform/posix/live_threads.h"
#include "platform/semaphore.h"

#include <cxxabi.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <ctime>
#include <exception>
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
    // Written by the thread itself, read only once it has been joined.
    std::uint32_t exitCode = kStillActive;
    pthread_t handle{};
    // Touched only by the thread that owns the object.
    bool resumed = false;
    // Set once the pthread has been joined: it has ended, and with it every
    // line of code it ran, thread-exit handlers included.  Until then the
    // exit code reads "still active".  `reaper` lets one caller join.
    std::atomic<bool> ended{false};
    std::mutex reaper;
    posix::LiveThread live;
    // Where ExitCurrentThread leaves the entry for: the trampoline, which
    // then ends the thread as if the entry had returned.
    std::jmp_buf exitJump;
};

namespace {

// The object of the calling thread while its entry runs, so that
// ExitCurrentThread can record the exit code and jump back out of it.
thread_local Thread::Impl* t_self = nullptr;

// The thread ended without recording an exit code (the host called
// pthread_exit itself, or cancelled it): the low word of its pthread result
// stands in, so that Join does not wait for ever.
void Reaped(Thread::Impl& impl, void* result) noexcept {
    if (impl.exitCode == kStillActive) {
        auto const code = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(result));
        impl.exitCode = code == kStillActive ? 0 : code;
    }
    impl.ended.store(true, std::memory_order_release);
}

// Leaves the table of live threads as the entry is left, whether it returns
// or unwinds (a host's own pthread_exit runs the destructors of the frames
// it leaves).
class LeaveOnExit {
public:
    explicit LeaveOnExit(posix::LiveThread& live) noexcept : m_live(live) {}
    ~LeaveOnExit() { posix::Leave(m_live); }
    LeaveOnExit(LeaveOnExit const&) = delete;
    LeaveOnExit& operator=(LeaveOnExit const&) = delete;

private:
    posix::LiveThread& m_live;
};

// Exit ends a thread where it stands, as Win32's ExitThread does: the frames
// between the call and the entry are abandoned, not unwound, so no
// destructor and no catch block of theirs runs (a catch (...) cannot stop
// the end, and an error scope keeps its errors).  What comes after the
// entry runs as after a return: the thread-local destructors and the C
// library's thread-exit handlers.  Only the exceptions that abandoned catch
// blocks were handling are ended here, so their objects are not lost.
void RunEntry(Thread::Impl* impl) {
    t_self = impl;
    if (setjmp(impl->exitJump) == 0) {
        impl->exitCode = impl->entry(impl->argument);
    } else {
        while (std::current_exception() != nullptr) abi::__cxa_end_catch();
    }
    t_self = nullptr;
}

void* Trampoline(void* argument) {
    auto* impl = static_cast<Thread::Impl*>(argument);
    posix::Enter(impl->live);
    LeaveOnExit const leave(impl->live);
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
    RunEntry(impl);
    return nullptr;
}

}  // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(ThreadEntry entry, void* argument) {
    auto impl = std::make_unique<Impl>();
    impl->entry = entry;
    impl->argument = argument;
    std::unique_ptr<Thread> thread(new Thread(nullptr));
    if (!impl->gate.IsValid() || posix::CreateThread(&impl->handle, Trampoline, impl.get()) != 0) {
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
    if (!m_impl->ended.load(std::memory_order_acquire)) {
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

void Thread::SetPriority(int priority) noexcept { posix::SetLevel(m_impl->live, priority); }

void Thread::SetSystemName(char const* name) noexcept { posix::SetName(m_impl->live, name, m_impl->handle); }

bool Thread::GetExitCode(std::uint32_t& exitCode) noexcept {
    if (!m_impl->ended.load(std::memory_order_acquire)) {
        // A caller that finds the reaper taken sees the thread still running:
        // another one is joining it right now.
        std::unique_lock<std::mutex> const lock(m_impl->reaper, std::try_to_lock);
        void* result = nullptr;
        if (lock.owns_lock() && !m_impl->ended.load(std::memory_order_acquire) &&
            pthread_tryjoin_np(m_impl->handle, &result) == 0) {
            Reaped(*m_impl, result);
        }
    }
    exitCode = m_impl->ended.load(std::memory_order_acquire) ? m_impl->exitCode : kStillActive;
    return true;
}

bool Thread::WaitForEnd(std::uint32_t milliseconds) noexcept {
    if (m_impl->ended.load(std::memory_order_acquire)) {
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
    std::lock_guard<std::mutex> const lock(m_impl->reaper);
    // The join itself is the end event: it returns once the thread has gone,
    // after its thread-local destructors and the C library's thread-exit
    // handlers, so nothing of it runs any more.
    void* result = nullptr;
    if (!m_impl->ended.load(std::memory_order_acquire) &&
        pthread_timedjoin_np(m_impl->handle, &result, &deadline) == 0) {
        Reaped(*m_impl, result);
    }
    return m_impl->ended.load(std::memory_order_acquire);
}

void ExitCurrentThread(std::uint32_t exitCode) {
    if (Thread::Impl* self = t_self) {
        self->exitCode = exitCode;
        std::longjmp(self->exitJump, 1);
    }
    // A thread this layer did not start has no entry of ours to go back to.
    pthread_exit(nullptr);
}

void Sleep(std::uint32_t milliseconds) noexcept {
    timespec rest{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

void YieldThread() noexcept { sched_yield(); }

// A trivial thread-local: no destructor, never reset, so it stays readable
// until the thread itself is gone.
constinit thread_local void* t_currentObject = nullptr;

void SetCurrentObject(void* object) noexcept { t_currentObject = object; }

ThreadId CurrentThreadId() noexcept { return static_cast<ThreadId>(pthread_self()); }

}  // namespace zelk::os
