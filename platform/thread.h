// The system's threads as the thread objects use them: created suspended and
// resumed, a priority, a name, an exit code that reads 259 until the thread
// has ended, ending the calling thread, sleeping, and the calling thread's
// identity.
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
    // levels, 0 is normal); failures are not reported.  A thread that has
    // ended is left alone: the system may have given its id to another.
    void SetPriority(int priority) noexcept;
    // Tells the system the thread's name (what debuggers, crash dumps and
    // process lists show); failures are not reported.  Ignored once the
    // thread has ended.
    void SetSystemName(char const* name) noexcept;
    // False when the exit code cannot be read.  kStillActive until the thread
    // has ended, and it ends only after the last of its own code, the
    // system's thread-exit handlers included, has run.
    bool GetExitCode(std::uint32_t& exitCode) noexcept;
    // Waits up to `milliseconds` for the thread to end; true once it has.
    bool WaitForEnd(std::uint32_t milliseconds) noexcept;

    struct Impl;

private:
    explicit Thread(Impl* impl) noexcept : m_impl(impl) {}
    Impl* m_impl;
};

// Ends the calling thread with that exit code (recorded first, so that the
// thread's object reads it) where it stands: on a thread this layer started,
// the frames down to its entry are abandoned without running their
// destructors or catch blocks, and the thread then ends as after a return.
// Works on threads this layer did not start too (POSIX: pthread_exit, which
// unwinds them).
[[noreturn]] void ExitCurrentThread(std::uint32_t exitCode);

void Sleep(std::uint32_t milliseconds) noexcept;

// Gives the rest of the time slice to another thread.
void YieldThread() noexcept;

// The calling thread's thread object as SetCurrentObject recorded it; null on
// a thread that never recorded one.  Readable through the whole end of the
// thread (destructors of an unwinding exit, thread-local destructors, the
// system's thread-exit handlers), so the record needs no clean-up: it goes
// with the thread.  It is read on every error and every attempt on a
// critical section.
#if defined(_WIN32)
void* CurrentObject() noexcept;
#else
// One read relative to the thread pointer, inline where it is asked:
// initial-exec, so a host that loads the library does not pay for a lookup
// through the dynamic loader on every read.
extern constinit thread_local void* t_currentObject __attribute__((tls_model("initial-exec")));
inline void* CurrentObject() noexcept { return t_currentObject; }
#endif
void SetCurrentObject(void* object) noexcept;

// Identifies the calling thread among all live threads of the process,
// including those this library did not start; never 0.
using ThreadId = std::uint64_t;
ThreadId CurrentThreadId() noexcept;

}  // namespace zelk::os
