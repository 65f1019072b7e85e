// Each thread's own connections to the registry files, and the barrier
// that keeps registry calls out while every connection is closed (around
// fork(), at exit, and when tests move between files).
//
// Threads: every thread has connections of its own (one per file), so a
// read never waits behind another thread's write, nor behind a write
// waiting for another process's lock; only the handle table is shared,
// behind a short lock.
//
// fork(): SQLite keeps per-process books of its locks, which a child
// inherits without the locks themselves; a connection used in a child, or
// even a new one opened while the books hold the parent's, lets another
// process fold the log into the file under it and lose the child's writes.
// So before fork() the forking thread waits until no thread is inside a
// registry call, closes every connection of the process and lets the calls
// go on after the fork; parent and child each open afresh on their next
// call.  Handles stay valid on both sides.  A transaction open at the fork
// is rolled back: its further writes and its Commit give
// kErrorOperationAborted.
#pragma once

#include "platform/posix/registry/handles.h"
#include "platform/posix/registry/store.h"
#include "platform/registry.h"

namespace zelk::os::registry {

// One thread's connections and its open transaction.
struct ThreadState {
    RegistryStore files[kFileCount];
    bool inTransaction = false;
    bool wrote[kFileCount] = {};
    long broken = kErrorSuccess;  // why the open transaction can no longer commit
    ThreadState* next = nullptr;
    ThreadState* previous = nullptr;

    // Ends the thread's transaction (rolling back) and closes its files.
    void CloseAll(bool quick, long reason) noexcept;
};

struct SharedState;

// One registry call: inside the barrier, with the calling thread's state.
class RegistryCall {
public:
    RegistryCall();
    ~RegistryCall();
    RegistryCall(RegistryCall const&) = delete;
    RegistryCall& operator=(RegistryCall const&) = delete;

    ThreadState& Thread();
    HandleTable& Handles() noexcept;

    // The key behind a handle; kErrorInvalidHandle for a closed or made-up one.
    long Resolve(HKEY key, Target& target);

    // The open store of `target`, with HKEY_CLASSES_ROOT found (`create`:
    // made) in it.  The handle's fault comes first, then the file's.
    long Store(Target& target, RegistryStore*& store, bool create = false);

    // A write: the thread's open transaction takes the file's write lock
    // on its first write there.
    long JoinTransaction(int file);

    // After a write: SQLite rolls a whole transaction back on some errors
    // (a full disk); later writes must not then land one by one.
    long Wrote(int file, long result);

private:
    // Under the lock: the files' places, read once after each close.
    void Locate();

    SharedState& m_state;
};

}  // namespace zelk::os::registry

namespace zelk::os {

// Closes every thread's registry connections and invalidates every handle
// but the predefined roots; the next registry call opens the files again,
// reading the environment afresh.  Runs at process exit; tests use it to
// move between databases.
void RegistryClose();
// How long registry calls wait for another process's write lock before they
// give kErrorLockViolation (5000 ms unless set).
void RegistrySetBusyTimeout(int milliseconds);

}  // namespace zelk::os
