// ZelkErr — the portability layer: threads, signal sets, semaphores,
// critical sections, timers and buffer pipes behind abstract interfaces.
//
// Objects are made by the Create* factories, belong to the caller and are
// destroyed with delete through the interface.  Waits take no time limit;
// TryLock never waits.
#pragma once

#include <zelk/error_list.h>
#include <zelk/export.h>

#include <cstdint>
#include <exception>

// The host's own portability object: the library only keeps the pointer.
class CZelkPortab;

// Installs the host's object; the first one installed stays until a null
// argument empties the slot again.
ZELK_API void SetZelkPortab(CZelkPortab* portab);
// The installed object.  With none installed the process exits with status 10.
ZELK_API CZelkPortab& GetZelkPortab();

// Thrown when the system refuses to create a semaphore (bad counts or
// exhausted resources); every factory whose object holds one passes it on.
class ZELK_API CZelkResourceExhausted : public std::exception {
public:
    char const* what() const noexcept override;
};

class ZELK_API CAbstractSemaphore {
public:
    virtual ~CAbstractSemaphore();
    virtual int Lock() = 0;
    virtual int Unlock() = 0;
    virtual int TryLock() = 0;
};

// A re-entrant lock owned by one thread at a time; usable wherever a
// CAbstractSemaphore is expected.
class ZELK_API CAbstractCriticalSection : public CAbstractSemaphore {
public:
    int Lock() override = 0;
    int Unlock() override = 0;
    int TryLock() override = 0;
};

// A word of 32 signal bits that other threads set and one thread waits for.
// Masks are 32-bit words: bit n stands for signal number n.
class ZELK_API CAbstractSignals {
public:
    virtual ~CAbstractSignals();
    virtual int AllocSignal() = 0;
    virtual void FreeSignals(unsigned long mask) = 0;
    virtual int AllocSignals(unsigned long mask) = 0;
    virtual unsigned long GetSignals() = 0;
    virtual unsigned long GetAllocated() = 0;
    virtual void ClearSignals(unsigned long mask) = 0;
    virtual unsigned long Wait(unsigned long mask) = 0;
    virtual void Signal(unsigned long mask) = 0;
};

// What a thread runs.  Run's result becomes the thread's exit code; GetName
// names the thread while it runs (null gives an empty name).
class ZELK_API CAbstractRunnable {
public:
    virtual ~CAbstractRunnable();
    virtual unsigned long Run() = 0;
    virtual char const* GetName() = 0;
};

// A thread object: owns at most one platform thread at a time, carries the
// thread's error list and name, and is itself the thread's signal set.
class ZELK_API CAbstractThread : public virtual CAbstractSignals {
public:
    virtual int Start(CAbstractRunnable* runnable) = 0;
    virtual unsigned long Join() = 0;
    [[noreturn]] virtual void Exit(unsigned long exitCode) = 0;
    virtual int IsRunning() = 0;
    virtual CZelkErrorList& GetErrorList() = 0;
    virtual char const* GetName() = 0;
    virtual void SetName(char const* name) = 0;
    virtual void SetPriority(int priority) = 0;
    virtual int GetPriority() = 0;
};

// Signals a set with a mask each time a period (milliseconds) has passed.
//
// The target's Signal runs on the timer's own thread while the timer's lock
// is held: it must not call Start or Stop of this timer, nor delete it, and
// must not wait for a thread that does.
class ZELK_API CAbstractTimer {
public:
    virtual ~CAbstractTimer();
    virtual void Start(CAbstractSignals* target, unsigned long mask, unsigned long period) = 0;
    virtual void Stop() = 0;
};

// What writers and readers see of a buffer-pipe block; it lies in the ring,
// behind a 16-byte private header, and its data follows at offset 8.
struct BufferPipeBlock {
    std::uint32_t size;    // bytes of data the block holds room for
    std::uint32_t length;  // set by the writer before CommitBlock
    unsigned char* Data() noexcept { return reinterpret_cast<unsigned char*>(this + 1); }
    unsigned char const* Data() const noexcept { return reinterpret_cast<unsigned char const*>(this + 1); }
};
static_assert(sizeof(BufferPipeBlock) == 8, "the block descriptor is two 32-bit words");

class ZELK_API CAbstractBufferPipeReader {
public:
    virtual ~CAbstractBufferPipeReader();
    virtual BufferPipeBlock* GetBlock() = 0;
    virtual void Next(int wait) = 0;
};

// A zero-copy ring of aligned blocks that writers fill and readers read in order.
//
// Listeners.  A data listener's Signal runs on the committing thread after
// CommitBlock has given back the pipe's lock, so it may call any operation
// of the pipe (remove itself, add another listener, allocate and commit a
// block) and may take locks that other threads hold while they call the
// pipe.  The price: a commit already signalling on one thread may still
// signal a set once after another thread's RemoveDataListener has returned.
// Before deleting a set that was a data listener, remove it and then make
// sure that no CommitBlock that began before the removal still runs, for
// instance by removing it on the committing thread (a removal inside the
// set's own Signal counts: that commit signals the set no more) or once the
// writer threads have stopped.
//
// A space listener's Signal runs while the pipe's lock is held, on the
// thread that gives a block back (a reader's Next or destructor): it must
// not call back into this pipe, nor wait for a thread that does.  After
// RemoveSpaceListener has returned the set is signalled no more.
class ZELK_API CAbstractBufferPipe {
public:
    virtual ~CAbstractBufferPipe();
    virtual unsigned long GetBufferSize() = 0;
    virtual unsigned long GetAllocatedBytes() = 0;
    virtual unsigned long GetCommittedBytes() = 0;
    virtual unsigned long GetReaderProgress(CAbstractBufferPipeReader** reader) = 0;
    virtual void AddSpaceListener(CAbstractSignals* set, unsigned long mask) = 0;
    virtual void RemoveSpaceListener(CAbstractSignals* set) = 0;
    virtual BufferPipeBlock* AllocBlock(unsigned long size, int wait, unsigned long reserved) = 0;
    virtual int SetAlignment(unsigned long alignment) = 0;
    virtual void CommitBlock(BufferPipeBlock* block) = 0;
    virtual void AddDataListener(CAbstractSignals* set, unsigned long mask) = 0;
    virtual void RemoveDataListener(CAbstractSignals* set) = 0;
    virtual CAbstractBufferPipeReader* CreateReader() = 0;
};

ZELK_API CAbstractThread* CreateZelkThread();
// The calling thread's object; "Main" on every thread the library did not start.
ZELK_API CAbstractThread& MyZelkThread();
ZELK_API CAbstractSemaphore* CreateZelkSemaphore(long initialCount);
ZELK_API CAbstractSemaphore* CreateZelkSemaphore(long initialCount, long maximumCount);
ZELK_API CAbstractSignals* CreateZelkSignals();
ZELK_API CAbstractTimer* CreateZelkTimer();
ZELK_API CAbstractBufferPipe* CreateZelkBufferPipe(unsigned long bufferSize, int blockPrefix, unsigned long alignment);
ZELK_API CAbstractCriticalSection* CreateZelkCriticalSection();
