// The layer's threads as the kernel knows them, from the moment a new thread
// runs until it leaves: their kernel ids, the priority levels and names they
// are to carry, and the process's base nice value the levels count from.
//
// A kernel thread id is given to another task once its thread has ended, so
// it is touched only while its thread is known to run: between Enter and
// Leave, which the thread itself calls, and always under the table's lock.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <cstddef>

namespace zelk::os::posix {

// One thread of the layer.  Everything but the links is read and written
// under the table's lock only.
struct LiveThread {
    // The longest name the kernel keeps for a thread, without its zero.
    static constexpr std::size_t kNameBytes = 15;

    LiveThread* previous = nullptr;
    LiveThread* next = nullptr;
    pid_t tid = 0;
    bool live = false;  // between Enter and Leave
    bool hasLevel = false;
    int level = 0;
    bool hasName = false;
    char name[kNameBytes + 1] = {};
};

// Win32 priority levels run from -15 (idle) to 15 (time critical) around 0
// (normal); Linux threads have nice values from 19 down to -20.  A level
// moves a thread five nice steps per level away from the process's base
// (clamped to the range), so level 0 is the base itself.
int NiceForLevel(int base, int level) noexcept;

// The process's base nice value: that of its first thread, which is what
// the system reports as the process's own (and what its class sets).
int ProcessNice() noexcept;

// Called by a new thread of the layer before it runs anything else: it
// takes its kernel id, moves to the process's base plus its level (0 until
// one is set), and takes the name set so far.
void Enter(LiveThread& thread) noexcept;
// Called by the thread as its entry is left (returning or unwinding): from
// here on its id is not touched.
void Leave(LiveThread& thread) noexcept;
// Records the level and applies it while the thread runs.
void SetLevel(LiveThread& thread, int level) noexcept;
// Records the name (cut to what the kernel keeps) and applies it while the
// thread runs.  A thread that has not entered yet is named through
// `handle`, its pthread, so that the system has the name when the caller
// returns (it cannot have ended before it entered).
void SetName(LiveThread& thread, char const* name, pthread_t const& handle) noexcept;

// Moves the process to a new base nice value.  The first thread takes it;
// the layer's threads take it plus their levels; every other thread keeps
// its distance from the old base.  Failures (raising priority needs
// privileges) are not reported.
void SetProcessNice(int nice) noexcept;

// pthread_create for a thread of the layer (default attributes).  A thread
// inherits the nice value of the one that creates it, and without
// privileges it cannot come back down to the base: so a caller that runs
// below the base has a helper thread at the base create it.
int CreateThread(pthread_t* handle, void* (*start)(void*), void* argument) noexcept;

}  // namespace zelk::os::posix
