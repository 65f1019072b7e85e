/// @file
/// The portability layer: threads, signal sets, semaphores, critical
/// sections, timers and buffer pipes behind abstract interfaces, and a slot
/// for the host's own portability object.
///
/// Objects are made by the Create* factories, belong to the caller and are
/// destroyed with delete through the interface pointer (std::unique_ptr of the
/// interface type serves).  Failures are results: 0 from an operation, null
/// from CreateZelkTimer() and CreateZelkBufferPipe().  Exceptions come only
/// from exhausted memory (std::bad_alloc) and from a semaphore the system
/// refuses to create (CZelkResourceExhausted), which every factory whose
/// object holds one passes on.  The interfaces' waits take no time limit and
/// TryLock never waits; WaitZelkSignals(), LockZelkSemaphore() and
/// JoinZelkThread() wait with a limit in milliseconds.
///
/// Every thread object is also a signal set (CAbstractSignals), by which the
/// thread is woken, and carries the thread's error list and name; threads
/// that the library did not start share the main thread object "Main".
#pragma once

#include <zelk/error_list.h>
#include <zelk/export.h>

#include <cstdint>
#include <exception>

/// @class CZelkPortab
/// The host's own portability object, which the library keeps for it.
///
/// The library declares this class but never defines it: the host defines it
/// with whatever it likes, installs one object at start-up with
/// SetZelkPortab(), and any code of the process (other modules loaded later
/// included) fetches it with GetZelkPortab().  The library only stores the
/// pointer: it never creates, reads, calls or deletes the object.
class CZelkPortab;

/// @name The host's portability object
/// @{

/// Installs the host's object in the process-wide slot.
///
/// The first object installed stays: a second non-null object is ignored
/// until a null argument has emptied the slot.  Any thread may call it; the
/// slot holds one pointer, read and written whole.
/// @param portab the object, which must outlive every GetZelkPortab() caller;
///        null empties the slot
ZELK_API void SetZelkPortab(CZelkPortab* portab);
/// The object installed with SetZelkPortab().
///
/// With no object installed it does not return: the process ends at once with
/// exit status 10 and prints nothing (std::exit, so exit handlers and static
/// destructors run).  Install the object before any code can ask for it.
/// @return the installed object
ZELK_API CZelkPortab& GetZelkPortab();

/// @}

/// Thrown when the system refuses to create a semaphore: counts out of range
/// (initial count below 0 or above the maximum, maximum 0 or less) or no
/// resources left.  Every factory whose object holds a semaphore (all of them)
/// passes it on, and then leaves nothing allocated.
class ZELK_API CZelkResourceExhausted : public std::exception {
public:
    /// @return a fixed English text that names the refused semaphore
    char const* what() const noexcept override;
};

/// A counting semaphore, made by CreateZelkSemaphore().
///
/// With an initial count of 1 it serves as a plain mutual-exclusion lock:
/// Lock() takes it and Unlock() gives it back, from any thread (it has no
/// owner).  Destroying a semaphore on which a thread waits is a bug.
///
/// Thread safety: any thread may call any operation at any time.  On POSIX
/// systems an operation that need not wait makes no system call.
class ZELK_API CAbstractSemaphore {
public:
    /// Destroys the semaphore; no thread may wait on it.
    virtual ~CAbstractSemaphore();
    /// Waits without a time limit until the count is above 0, then takes one unit.
    /// @return 1 once a unit is taken; 0 only when the system's wait fails
    virtual int Lock() = 0;
    /// Gives back one unit and wakes one waiting thread, if any.
    /// @return non-zero on success; 0 when the count would pass the maximum
    ///         (the count then stays as it was)
    virtual int Unlock() = 0;
    /// Takes one unit if one is there, without waiting.
    /// @return 1 when a unit was taken, else 0
    virtual int TryLock() = 0;
};

/// A re-entrant lock owned by one thread at a time, made by
/// CreateZelkCriticalSection(); usable wherever a CAbstractSemaphore is
/// expected.
///
/// The owner may take it again; it is free once the owner has called Unlock()
/// as often as it took it.  Threads are told apart by their thread objects
/// (MyZelkThread()), and threads that the library did not start by the
/// system's thread identity.  There is no fairness: a thread that comes just
/// after a release may take the lock before a woken waiter.
///
/// Thread safety: any thread may call any operation.  Destroying a critical
/// section that a thread holds or waits for is a bug.
///
/// Cost: each attempt looks up the calling thread's object and takes a short
/// internal guard; a waiting thread sleeps without spinning.
class ZELK_API CAbstractCriticalSection : public CAbstractSemaphore {
public:
    /// Returns once the calling thread holds the lock; a thread that holds it
    /// already gets it again at once, one level deeper.
    /// @return 1
    int Lock() override = 0;
    /// Gives up one level; the last one frees the lock and wakes one waiting
    /// thread.  Only the owner may call it: unlocking a free critical section
    /// aborts the process with a message.
    /// @return 1
    int Unlock() override = 0;
    /// Takes the lock (or one more level of it) when it is free or the
    /// calling thread's own, without waiting.
    /// @return 1 when the calling thread now holds it, 0 when another one does
    int TryLock() override = 0;
};

/// A word of 32 signal bits that other threads set and one thread waits for:
/// the layer's way of waking a thread.
///
/// Masks are 32-bit words in which bit n stands for signal number n; on
/// systems whose unsigned long is wider the upper bits are ignored.  Signal()
/// sets bits; Wait() sleeps until one of the bits it asks for is set, then
/// takes (clears) those bits.  Allocation only helps several users of one set
/// pick distinct bits: Signal(), Wait() and ClearSignals() take any bits.
/// Every thread object is a signal set, normally waited on by its own thread;
/// CreateZelkSignals() makes a free-standing one.
///
/// Thread safety: any thread may call any operation, but only one thread
/// waits at a time; a second Wait() on the same set waits until the first
/// has returned.  While a thread waits, AllocSignal(), FreeSignals(),
/// AllocSignals(), GetAllocated() and ClearSignals() from other threads wait
/// for that Wait() to return; Signal() and GetSignals() do not.  Destroying a
/// set that a thread waits on or signals is a bug.
///
/// Cost: a Signal() that no waiter wants takes two short internal locks and
/// wakes nothing; a waiting thread sleeps, nothing polls.
class ZELK_API CAbstractSignals {
public:
    /// Destroys the set; no thread may wait on it or signal it.
    virtual ~CAbstractSignals();
    /// Reserves the lowest free signal number.
    /// @return the number, 0 to 31 (a number, not a mask: the mask is
    ///         1ul << number); 32 when all are taken, with nothing changed
    virtual int AllocSignal() = 0;
    /// Frees signal numbers; pending bits stay pending.
    /// @param mask the bits to free
    virtual void FreeSignals(unsigned long mask) = 0;
    /// Reserves all bits of `mask`, or none of them.
    /// @param mask the bits to reserve
    /// @return 1 when none was reserved before and all are now; 0 when one
    ///         was, with nothing changed
    virtual int AllocSignals(unsigned long mask) = 0;
    /// @return the pending bits: signalled and not yet taken or cleared
    virtual unsigned long GetSignals() = 0;
    /// @return the reserved bits
    virtual unsigned long GetAllocated() = 0;
    /// Clears pending bits without waking anyone.
    /// @param mask the bits to clear
    virtual void ClearSignals(unsigned long mask) = 0;
    /// Waits without a time limit until a bit of `mask` is pending, then takes
    /// the pending bits of `mask` and returns them.  Bits outside `mask` stay
    /// pending.  A bit signalled before the call counts.
    /// @param mask the bits to wait for
    /// @return the bits taken, never 0; but 0 at once for a mask without a
    ///         bit below 32, which could never be satisfied
    virtual unsigned long Wait(unsigned long mask) = 0;
    /// Sets the bits of `mask` and wakes the waiting thread if it waits for
    /// one of them.  Never waits for the waiting thread.
    /// @param mask the bits to set
    virtual void Signal(unsigned long mask) = 0;
};

/// What a thread runs: the host's code for CAbstractThread::Start().
///
/// The thread neither copies nor deletes the runnable: keep it alive until the
/// thread has ended (until Join() has returned).
class ZELK_API CAbstractRunnable {
public:
    /// Destroys the runnable.
    virtual ~CAbstractRunnable();
    /// The thread's body, run on the new thread.
    /// @return the thread's exit code, which Join() returns (259 becomes 0:
    ///         259 is how the system marks a thread that still runs)
    virtual unsigned long Run() = 0;
    /// Asked once by Start(), before the thread runs.
    /// @return the name the thread takes (its errors carry it); null gives ""
    virtual char const* GetName() = 0;
};

/// A thread object, made by CreateZelkThread(): owns at most one system thread
/// at a time, carries that thread's error list, name and priority, and is
/// itself the thread's signal set.
///
/// States: idle (never started, or joined), running, and ended (Run() has
/// returned but Join() has not been called).  Start() works only when idle;
/// Join() brings the object back to idle, after which it may be started
/// again, keeping its error list, priority and signal set.  The name shows
/// the last change: "unstarted", the runnable's name, "joined", or "thread
/// startup failed".
///
/// Thread safety: the thread itself and any other thread may signal the
/// object, read its list and call IsRunning(); Start(), Join(), SetName() and
/// SetPriority() must not overlap on one object.  A thread must not join or
/// delete its own object.  Deleting the object joins the thread first.
class ZELK_API CAbstractThread : public virtual CAbstractSignals {
public:
    /// Starts a system thread that runs `runnable->Run()`.
    ///
    /// The thread's name becomes `runnable->GetName()` before the thread runs,
    /// so MyZelkThread() and the errors made inside Run() already find this
    /// object and that name.  The thread starts at normal priority and gets
    /// the stored priority (SetPriority()) just after it has been released.
    /// @param runnable what to run; it must stay alive until the thread has ended
    /// @return 1 when the thread was started; 0 when a thread is attached
    ///         already (running, or ended and not joined), `runnable` is null,
    ///         or the system refuses (nothing then changes, except that a
    ///         thread the system created but could not release leaves the name
    ///         "thread startup failed")
    virtual int Start(CAbstractRunnable* runnable) = 0;
    /// Waits without a time limit until the thread has ended, detaches it and
    /// sets the name to "joined".  Join() does not make the thread end: tell
    /// it to (a signal, a flag) first.
    /// @return the thread's exit code; 0xFFFFFFFF when no thread is attached
    ///         (never started, or joined already)
    virtual unsigned long Join() = 0;
    /// Ends the calling thread at once with `exitCode`; does not return.
    ///
    /// It is the calling thread that ends, whichever object this is called
    /// on; its object stays attached until Join().  The thread ends where it
    /// stands, alike on Windows and POSIX systems: the stack between this
    /// call and Run() is abandoned, not unwound.  So, of that stack:
    /// - no destructor runs: memory and handles that stack objects own are
    ///   lost, and locks that guards hold stay held (a critical section
    ///   stays owned by the ended thread);
    /// - no catch block runs, and a catch (...) cannot stop the end;
    /// - a CZelkErrorScope does not end: the errors it would have removed
    ///   stay in the thread's list, where Join()'s caller finds them
    ///   (GetErrorList()).
    ///
    /// What runs after it, as after a return from Run(): the thread's
    /// thread_local destructors and the system's thread-exit handlers (on
    /// Windows also DLL_THREAD_DETACH), on a thread that still belongs to
    /// this object (MyZelkThread(), its name and error list); Join() returns
    /// after the last of them.  Returning from Run() is the clean way out,
    /// since it destroys what the stack holds.
    ///
    /// On a thread the library did not start, Windows ends the thread the
    /// same way (ExitThread), while a POSIX system can only end it with
    /// pthread_exit, which unwinds its stack (and aborts the process in a
    /// catch (...) that does not rethrow).
    /// @param exitCode the exit code that Join() returns; 259 becomes 0
    [[noreturn]] virtual void Exit(unsigned long exitCode) = 0;
    /// @return 1 while the attached thread has not ended (it ends after the
    ///         last of its code: Run(), the destructors of its end,
    ///         thread-local destructors); 0 when it has ended or no thread
    ///         is attached
    virtual int IsRunning() = 0;
    /// The thread's own error list (what ERRMyList() gives on that thread).
    /// @return the list; it lives as long as the object, across restarts
    virtual CZelkErrorList& GetErrorList() = 0;
    /// The thread's name, which every error made on the thread copies.
    /// @return the name; valid until the name next changes (SetName(), Start(), Join())
    virtual char const* GetName() = 0;
    /// Renames the thread.  Not while another thread may read the name: every
    /// error made on the thread copies it (and on the main thread object "Main",
    /// every error of every thread the library did not start).  A started
    /// thread's name is also given to the system (debuggers, process lists;
    /// Linux keeps its first 15 bytes); "Main" never is.
    /// @param name the new name, copied; null gives ""
    virtual void SetName(char const* name) = 0;
    /// Stores a priority and, while a thread is attached, applies it at once.
    ///
    /// Levels are Windows thread priorities: -15 idle, -2 lowest, -1 below
    /// normal, 0 normal, 1 above normal, 2 highest, 15 time critical, relative
    /// to the process's class.  On Linux each level moves the thread's nice
    /// value five steps away from the process's base, the nice value of its
    /// first thread (clamped to 19 ... -20); raising it needs privileges.  A
    /// refusal by the system is not reported.  New thread objects copy the
    /// stored priority of their creator's object.
    /// @param priority the level
    virtual void SetPriority(int priority) = 0;
    /// @return the stored priority level (not read back from the system)
    virtual int GetPriority() = 0;
};

/// Signals a set with a mask each time a period has passed; made by
/// CreateZelkTimer().
///
/// Each timer owns a thread, named "timer thread", that wakes every 100 ms,
/// reads the system's millisecond clock (timeGetTime on Windows, the
/// monotonic clock on POSIX systems) and sends the signal once more than the
/// period has passed since Start() or the last signal.  So periods are
/// honoured in 100 ms steps: each interval is the period rounded up to the
/// next poll, and since the test is "more than", a period that is an exact
/// multiple of 100 ms often fires one step late (1000 gives 1000 to 1100 ms;
/// ask for 950 to be woken about once a second).  A period below 100 ms, 0
/// included, gives one signal per poll.  Lateness is not made up: the next
/// period counts from the signal.
///
/// The target's Signal() runs on the timer's thread while the timer's lock is
/// held: Start() and Stop() wait for it, and it must not call Start() or
/// Stop() of this timer, nor delete it, nor wait for a thread that does.
///
/// Thread safety: any thread may call Start(), Stop() and the destructor.
/// Destroying a timer waits for its thread to end: up to about 200 ms.
class ZELK_API CAbstractTimer {
public:
    /// Stops the timer and ends its thread; returns within about 200 ms, and
    /// no signal is sent once it has returned.
    virtual ~CAbstractTimer();
    /// Signals `target` with `mask` once more than `period` ms have passed, and
    /// again after each further period, until Stop().  Replaces an earlier
    /// Start() and starts the period afresh.
    /// @param target the set to signal, often a thread object; the timer does
    ///        not own it, and it must stay alive until Stop() has returned or
    ///        the timer is destroyed
    /// @param mask the bits to signal
    /// @param period the period in milliseconds, honoured in steps of 100 ms
    ///        (see the class); values above 2^32 - 1 count as 2^32 - 1
    virtual void Start(CAbstractSignals* target, unsigned long mask, unsigned long period) = 0;
    /// Stops signalling; once it has returned no signal follows until the next
    /// Start().  The timer's thread keeps polling.
    virtual void Stop() = 0;
};

/// What writers and readers see of a buffer-pipe block.
///
/// It lies in the pipe's ring, behind a 16-byte header of the pipe's own, and
/// its data follows it (at offset 8 of the descriptor).  The byte at
/// Data() + P, where P is the pipe's block prefix, lies on the pipe's
/// alignment boundary.
struct BufferPipeBlock {
    std::uint32_t size;  ///< Room for data in bytes, set by the pipe: the size asked for, at least the prefix.
    std::uint32_t
        length;  ///< 0 when allocated; the writer sets it (normally to the data bytes used) before CommitBlock().
    /// @return the block's first data byte
    unsigned char* Data() noexcept { return reinterpret_cast<unsigned char*>(this + 1); }
    /// @return the block's first data byte
    unsigned char const* Data() const noexcept { return reinterpret_cast<unsigned char const*>(this + 1); }
};
static_assert(sizeof(BufferPipeBlock) == 8, "the block descriptor is two 32-bit words");

/// One reader of a buffer pipe, made by CAbstractBufferPipe::CreateReader().
///
/// A reader sees, in allocation order, every committed block that was in the
/// pipe when it was made or came later.  It starts before the oldest block:
/// GetBlock() is null until the first Next().  Its current block stays in
/// place and unchanged until the reader moves on, so it is read without any
/// lock.
///
/// Thread safety: one thread at a time uses a reader.  Delete every reader
/// before the pipe; deleting a reader gives back its claim on every block
/// ahead of it.
class ZELK_API CAbstractBufferPipeReader {
public:
    /// Gives back the reader's claim on its current block and every committed
    /// block ahead of it, so they can return to the ring.
    virtual ~CAbstractBufferPipeReader();
    /// @return the current block; null before the first Next() and while the
    ///         reader stands between blocks (after a Next(0) that found none)
    virtual BufferPipeBlock* GetBlock() = 0;
    /// Leaves the current block (its space returns to the ring once every
    /// reader has left it) and moves to the next committed block.
    ///
    /// A block allocated but not yet committed stops the reader, even if later
    /// blocks are committed.  The pipe has no end-of-stream signal of its own:
    /// agree on an end block with the writer, for instance a committed block
    /// of length 0 (AllocBlock(0, 1, 0) gives one), and stop there; a reader
    /// waiting in Next(1) for a block that never comes waits for ever.
    /// @param wait non-zero to wait without limit until there is a next
    ///        committed block; 0 to return at once, between blocks when there
    ///        is none (GetBlock() then gives null; call Next() again later)
    virtual void Next(int wait) = 0;
};

/// A zero-copy ring of aligned blocks that writers fill in place and every
/// reader reads in order; made by CreateZelkBufferPipe().
///
/// A writer's cycle: AllocBlock(), fill Data() and set `length`,
/// CommitBlock().  A reader's cycle: Next(), then GetBlock() and use the
/// block.  Every reader reads every block (the pipe broadcasts; workers that
/// share the blocks out claim each with a word of its own, as the README
/// shows); a block's space returns to the ring when the last reader has
/// moved past it.  Make the readers before the
/// writers start: committed blocks stay until a reader has passed them, so a
/// pipe without readers fills up and then refuses (or, waiting, holds up)
/// every writer.  Each block takes 24 bytes of header besides its data, plus
/// up to one alignment of slack.
///
/// Listeners let other threads follow the pipe.  A data listener's set is
/// signalled after each CommitBlock(), on the committing thread, with no lock
/// of the pipe held: its Signal() may call any operation of the pipe (remove
/// itself, add another listener, allocate and commit a block) and may take
/// locks that other threads hold while they call the pipe.  The price: a
/// commit already signalling on one thread may still signal a set once after
/// another thread's RemoveDataListener() has returned.  So before deleting a
/// set that was a data listener, remove it and make sure that no
/// CommitBlock() that began before the removal still runs: remove it on the
/// committing thread (a removal inside the set's own Signal() counts: that
/// commit signals the set no more), or once the writer threads have stopped.
///
/// A space listener's set is signalled whenever a block's space returns, on
/// the thread that gives it back (a reader's Next() or destructor), while the
/// pipe's lock is held: its Signal() must not call into this pipe, nor wait
/// for a thread that does.  Once RemoveSpaceListener() has returned, the set
/// is signalled no more and may be deleted.
///
/// Thread safety: any number of writer and reader threads may use one pipe;
/// any number of them may wait at once, and every one is woken when its event
/// comes.  Waiting never holds the pipe's lock.  SetAlignment() only while no
/// other thread uses the pipe.  Delete every reader, and let no thread wait,
/// before deleting the pipe (it aborts the process otherwise).
///
/// Cost: no data is copied and nothing is allocated after construction but
/// readers and listener entries; each block costs a constant amount of work
/// under the lock.
class ZELK_API CAbstractBufferPipe {
public:
    /// Frees the ring.  Every reader must be deleted first and no thread may
    /// wait on the pipe: otherwise the process aborts with a message.
    virtual ~CAbstractBufferPipe();
    /// @return the ring's usable size in bytes: the size asked for (at least
    ///         six alignments) less the slack that aligns the first block
    virtual unsigned long GetBufferSize() = 0;
    /// Read without the pipe's lock: a value that may be out of date at once.
    /// @return the sum of the sizes of the blocks not yet given back,
    ///         committed or not
    virtual unsigned long GetAllocatedBytes() = 0;
    /// Read without the pipe's lock: a value that may be out of date at once.
    /// @return the sum of the lengths of the committed blocks not yet given back
    virtual unsigned long GetCommittedBytes() = 0;
    /// How far a reader is ahead of the slowest reader, in whole percent of
    /// the blocks now in the pipe.
    ///
    /// With f the oldest block still in the pipe, n the number the next block
    /// will get and p the block the reader last left, the result is
    /// (p - f) * 100 / (n - f), rounded down.  It is 0 while the reader has
    /// left no block that is still in the pipe: always so for the slowest
    /// reader, for a reader alone on the pipe and before its first Next().
    /// @param reader points to the reader pointer; a null `reader`, a null
    ///        reader pointer and a reader of another pipe give 0
    /// @return 0 to 100
    virtual unsigned long GetReaderProgress(CAbstractBufferPipeReader** reader) = 0;
    /// Adds `set` to the space listeners: it is signalled with `mask` whenever
    /// a block's space returns to the ring (see the class for the thread).
    /// The same set may be added more than once; each entry is signalled.
    /// @param set the set to signal; it must stay alive until removed
    /// @param mask the bits to signal
    virtual void AddSpaceListener(CAbstractSignals* set, unsigned long mask) = 0;
    /// Removes every space-listener entry of `set`, whatever its mask.
    /// @param set the set to remove
    virtual void RemoveSpaceListener(CAbstractSignals* set) = 0;
    /// Allocates a block for the calling writer to fill.
    ///
    /// Blocks are placed in allocation order, each where the last one ended
    /// (or at the ring's start again), so that Data() + P lies on the
    /// alignment boundary in force now.  A block larger than
    /// GetBufferSize() - alignment - 25 bytes never fits.
    /// @param size the data bytes wanted; the block's `size` is at least the
    ///        prefix P, so 0 gives a block of P bytes
    /// @param wait non-zero to wait without limit for space; 0 to return null
    ///        at once when there is no room
    /// @param reserved not used; pass 0
    /// @return the block, with `length` 0; null when there is no room and
    ///         `wait` is 0, and at once, waiting or not, for a block that could
    ///         never fit or of 2^31 bytes or more
    virtual BufferPipeBlock* AllocBlock(unsigned long size, int wait, unsigned long reserved) = 0;
    /// Sets the alignment of blocks allocated from now on.  Only while no other
    /// thread uses the pipe.
    /// @param alignment the boundary in bytes for Data() + P; rounded down to
    ///        a power of two (5000 gives 4096, 0 and 1 give 1)
    /// @return 1; 0 when `alignment` is 1048576 or more, which sets 65536
    virtual int SetAlignment(unsigned long alignment) = 0;
    /// Hands a filled block to the readers and wakes every reader that waits
    /// for one; then, with no lock of the pipe held, signals the data
    /// listeners in the order they were added.  Set the block's `length`
    /// first: the block belongs to the readers once the call has begun.
    /// Blocks may be committed in any order, but readers stop at the oldest
    /// block not yet committed.
    /// @param block a block that AllocBlock() of this pipe returned; null, a
    ///        block of another pipe and a block committed already are ignored
    virtual void CommitBlock(BufferPipeBlock* block) = 0;
    /// Adds `set` to the data listeners: it is signalled with `mask` after each
    /// CommitBlock() that begins from now on (see the class for the thread).
    /// The same set may be added more than once; each entry is signalled.
    /// Any thread may call it, a listener's own Signal() included.
    /// @param set the set to signal; it must stay alive until removed and no
    ///        commit under way may signal it any more (see the class)
    /// @param mask the bits to signal
    virtual void AddDataListener(CAbstractSignals* set, unsigned long mask) = 0;
    /// Removes every data-listener entry of `set`, whatever its mask.  A
    /// commit already signalling on another thread may still signal it once
    /// (see the class before deleting the set).
    /// @param set the set to remove
    virtual void RemoveDataListener(CAbstractSignals* set) = 0;
    /// Makes a reader positioned before the oldest block still in the pipe.
    /// Walks the blocks in the pipe once.
    /// @return the reader, owned by the caller; delete it before the pipe
    virtual CAbstractBufferPipeReader* CreateReader() = 0;
};

/// @name Factories
/// Each returns a new object that belongs to the caller, who deletes it
/// through the returned pointer.  Any thread may call them.  Exhausted memory
/// throws std::bad_alloc, a refused semaphore CZelkResourceExhausted.
/// @{

/// Makes a thread object named "unstarted", not started.  Its priority is
/// copied from the calling thread's object.
/// @return the object; deleting it joins its thread first
ZELK_API CAbstractThread* CreateZelkThread();
/// The calling thread's object: on a thread started with
/// CAbstractThread::Start(), that thread's object, until the thread has ended
/// (also in destructors that run as it ends); on every other thread (the
/// process's first thread, the host's own threads) the main thread object
/// "Main", which they all share with its error list and name.
///
/// Cost: one thread-local read; no lock, no allocation.
/// @return the object; the main thread object lives as long as the library
ZELK_API CAbstractThread& MyZelkThread();
/// Makes a counting semaphore with a maximum count of 2147483647.
/// @param initialCount the count to start with, 0 or more (1 for a lock)
/// @return the semaphore
ZELK_API CAbstractSemaphore* CreateZelkSemaphore(long initialCount);
/// Makes a counting semaphore.
/// @param initialCount the count to start with, 0 to `maximumCount`
/// @param maximumCount the largest count, 1 or more; Unlock() refuses to pass it
/// @return the semaphore
ZELK_API CAbstractSemaphore* CreateZelkSemaphore(long initialCount, long maximumCount);
/// Makes a free-standing signal set with no bit reserved or pending.
/// @return the set
ZELK_API CAbstractSignals* CreateZelkSignals();
/// Makes a stopped timer whose thread ("timer thread") already polls.
/// @return the timer; null when its thread could not be started
ZELK_API CAbstractTimer* CreateZelkTimer();
/// Makes a buffer pipe with a ring of about `bufferSize` bytes.
/// @param bufferSize the ring's size in bytes, raised to six times the
///        alignment when smaller
/// @param blockPrefix P: bytes at the start of every block's data that come
///        before the aligned byte (room for a header of the host's own in
///        front of aligned payload); 0 or more.  No block is smaller than P.
/// @param alignment the boundary for the byte at Data() + P, rounded down to a
///        power of two as SetAlignment() does (4096 for disk sectors, 1 for none)
/// @return the pipe; null when the ring's memory could not be had (or the
///        ring would pass 4 GiB) or `blockPrefix` is negative
ZELK_API CAbstractBufferPipe* CreateZelkBufferPipe(unsigned long bufferSize, int blockPrefix, unsigned long alignment);
/// Makes a free critical section.
/// @return the critical section
ZELK_API CAbstractCriticalSection* CreateZelkCriticalSection();

/// @}

/// @name Waits with a time limit
/// Wait(), Lock() and Join() with a limit in milliseconds, for code ported
/// from WaitForSingleObject(handle, milliseconds).  ZelkInfinite (or more)
/// waits without a limit, as the interface's own call does, and 0 only
/// looks.  Objects the library made wait in the system (a kernel wait on
/// Windows, a futex on POSIX systems); objects of the host's own classes
/// derived from the interfaces are polled about once a millisecond.  Any
/// thread may call them, with the interface's own rules.
/// @code
/// std::unique_ptr<CAbstractSemaphore> lock(CreateZelkSemaphore(1));
/// if (LockZelkSemaphore(*lock, 500) == 0) {  // WaitForSingleObject(h, 500) == WAIT_TIMEOUT
///     return;                                 // busy for half a second: give up
/// }
/// // ... lock->Unlock();
/// unsigned long const bits = WaitZelkSignals(MyZelkThread(), 1ul << 3, 2000);  // 0: 2 s passed
/// if (JoinZelkThread(*worker, 1000) == 259) { /* still running after 1 s */ }
/// @endcode
/// @{

/// The limit that means none (Windows' INFINITE).
inline constexpr unsigned long ZelkInfinite = 0xFFFFFFFFUL;

/// CAbstractSignals::Wait() with a limit: waits until a bit of `mask` is
/// pending, then takes the pending bits of `mask`.  The time spent waiting
/// for another thread's Wait() on the same set to return counts.
/// @param set the set to wait on
/// @param mask the bits to wait for
/// @param milliseconds the limit
/// @return the bits taken; 0 when the time ran out with none pending (then
///         nothing was taken), and at once for a mask without a bit below 32
ZELK_API unsigned long WaitZelkSignals(CAbstractSignals& set, unsigned long mask, unsigned long milliseconds);
/// CAbstractSemaphore::Lock() with a limit: takes a unit (or, for a critical
/// section, the lock) once there is one.
/// @param semaphore the semaphore or critical section
/// @param milliseconds the limit
/// @return 1 once taken; 0 when the time ran out, with nothing taken
ZELK_API int LockZelkSemaphore(CAbstractSemaphore& semaphore, unsigned long milliseconds);
/// CAbstractThread::Join() with a limit: once the thread has ended, joins it
/// as Join() does.
/// @param thread the thread object; not the calling thread's own
/// @param milliseconds the limit
/// @return the thread's exit code, or 0xFFFFFFFF when no thread is attached,
///         as Join() gives them; 259 (Windows' STILL_ACTIVE, which no exit
///         code reads) when the time ran out, with the thread still attached
ZELK_API unsigned long JoinZelkThread(CAbstractThread& thread, unsigned long milliseconds);

/// @}
