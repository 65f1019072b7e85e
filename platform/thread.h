// The system's threads as the thread objects use them: created suspended and
// resumed, a priority, an exit code that reads 259 while the thread runs,
// ending the calling thread, sleeping, and the calling thread's identity.
// Win32: the kernel's thread objects.  POSIX: pthreads parked on a gate
// until resumed, with the exit code kept by this layer.
#pragma once

#include <cstdint>
#include <memory>

namespace zelk::os {

// The exit code by which the system marks a thread that has not ended.
inline constexpr std::uint32_t kStillActive = 259;

// What a new thread runs; its result becomes the thread's exit code.
using ThreadEntry = std::uint32_t (*)(void* argument);

// One platform thread object.  It outlives its thread: the exit code stays
// readable until the object is destroyed.
class Thread {
public:
    // Creates a thread that does not run until Resume.  Null when the system
    // refuses to create one.
    static std::unique_ptr<Thread> CreateSuspended(ThreadEntry entry, void* argument);

    // Waits for the end of a resumed thread; a thread never resumed is
    // ended without running its entry.
    ~Thread();
    Thread(Thread const&) = delete;
    Thread& operator=(Thread const&) = delete;

    // Lets a suspended thread run.  False when the system refuses.
    bool Resume() noexcept;
    // Sets the system's priority for the thread (Win32 thread priority
    // levels, 0 is normal); failures are not reported.
    void SetPriority(int priority) noexcept;
    // False when the exit code cannot be read; kStillActive while it runs.
    bool GetExitCode(std::uint32_t& exitCode) noexcept;
    // Waits up to `milliseconds` for the thread to end; true once it has.
    bool WaitForEnd(std::uint32_t milliseconds) noexcept;

    struct Impl;

private:
    explicit Thread(Impl* impl) noexcept : m_impl(impl) {}
    Impl* m_impl;
};

// Ends the calling thread with that exit code (recorded first, so that the
// thread's object reads it).  Works on threads this layer did not start too.
[[noreturn]] void ExitCurrentThread(std::uint32_t exitCode);

void Sleep(std::uint32_t milliseconds) noexcept;

// Gives the rest of the time slice to another thread.
void YieldThread() noexcept;

// Identifies the calling thread among all live threads of the process,
// including those this library did not start; never 0.
using ThreadId = std::uint64_t;
ThreadId CurrentThreadId() noexcept;

}  // namespace zelk::os
