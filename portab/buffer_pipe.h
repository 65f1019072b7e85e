// CZelkBufferPipe: a ring of aligned blocks that writers fill in place and
// every reader reads in allocation order; a block's space returns to the
// ring when the last reader has moved past it.  Nothing is copied.
//
// Settled edges: AllocBlock(0) gives a block of the prefix's size (a marker
// with no data when the prefix is 0); a request that could not be placed
// even in an empty ring, or of 2^31 bytes or more, fails at once, waiting
// or not; CommitBlock ignores null, a block of another pipe and a block
// already committed; GetReaderProgress of a null or foreign reader is 0.
#pragma once

#include <zelk/portab.h>

#include "portab/semaphore.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace zelk {

class CZelkBufferPipeReader;

// One thread waiting in a buffer pipe: a writer for space, a reader for
// data.  A signal set lets only one thread wait at a time and one signal
// wakes only that one, so each waiter brings its own wake-up instead and
// registers it under the pipe lock; a commit (a give-back) releases every
// registered reader (writer) at once.
struct PipeWaiter {
    PipeWaiter() : wake(0, kMaximumSemaphoreCount) {}
    CZelkSemaphore wake;
    PipeWaiter* next = nullptr;
};

class CZelkBufferPipe final : public CAbstractBufferPipe {
public:
    // A negative blockPrefix, or (where unsigned long is 64 bits) a
    // bufferSize that 32-bit offsets cannot cover, obtains no ring: the
    // buffer size is then 0 and CreateZelkBufferPipe returns null.
    CZelkBufferPipe(unsigned long bufferSize, int blockPrefix, unsigned long alignment);
    // Aborts when readers or waiting threads still use the pipe: they would
    // touch freed memory a moment later.
    ~CZelkBufferPipe() override;
    CZelkBufferPipe(CZelkBufferPipe const&) = delete;
    CZelkBufferPipe& operator=(CZelkBufferPipe const&) = delete;

    unsigned long GetBufferSize() override;
    unsigned long GetAllocatedBytes() override;
    unsigned long GetCommittedBytes() override;
    unsigned long GetReaderProgress(CAbstractBufferPipeReader** reader) override;
    void AddSpaceListener(CAbstractSignals* set, unsigned long mask) override;
    void RemoveSpaceListener(CAbstractSignals* set) override;
    BufferPipeBlock* AllocBlock(unsigned long size, int wait, unsigned long reserved) override;
    int SetAlignment(unsigned long alignment) override;
    void CommitBlock(BufferPipeBlock* block) override;
    void AddDataListener(CAbstractSignals* set, unsigned long mask) override;
    void RemoveDataListener(CAbstractSignals* set) override;
    CAbstractBufferPipeReader* CreateReader() override;

private:
    friend class CZelkBufferPipeReader;
    friend struct BufferPipeTestPeer;  // lets a test number blocks from anywhere, e.g. just below 2^32

    struct Listener {
        CAbstractSignals* set;
        unsigned long mask;
    };
    using ListenerList = std::vector<Listener>;

    // What the reader's Next and destructor do; they take the pipe lock.
    // The reader waits on its own PipeWaiter.
    void ReaderNext(CZelkBufferPipeReader& reader, int wait);
    void ReaderGone(CZelkBufferPipeReader& reader);

    // Place a block for `size` data bytes; null when there is no room now.
    // `never` tells that no room will ever come, not even in an empty ring.
    BufferPipeBlock* Place_NoLock(std::uint32_t size, bool& never);
    void MoveOn_NoLock(CZelkBufferPipeReader& reader);
    unsigned char* Candidate_NoLock(CZelkBufferPipeReader const& reader) const;
    void GiveBack_NoLock(unsigned char* block, unsigned char* candidate);
    // Releases every waiter in `list` and empties it.  Done under the pipe
    // lock: a released waiter takes that lock before it goes on, so it
    // cannot leave (and destroy its semaphore) while Unlock still runs.
    static void ReleaseAll_NoLock(PipeWaiter*& list);
    // Signals the entries of `list` (a copy of the data listeners, or the
    // shared list itself) in order, with no lock held; `version` is the
    // list's version when it was taken.
    void SignalDataListeners(std::span<Listener const> list, std::uint32_t version);
    // A commit copies up to this many data listeners onto its stack, which
    // costs less than sharing the list (two atomic operations).
    static constexpr std::size_t kCopiedListeners = 4;
    bool IsLiveBlock_NoLock(unsigned char const* block) const;
    bool InPipe_NoLock(std::uint32_t sequence) const;
    unsigned char* Oldest_NoLock() const;
    unsigned char* NextOf(unsigned char const* block) const;

    CZelkSemaphore m_lock;
    unsigned char* m_base = nullptr;
    void* m_memory = nullptr;
    std::uint32_t m_capacity = 0;
    // Written under the lock; the getters read them without it.
    std::atomic<std::uint32_t> m_allocatedBytes{0};
    std::atomic<std::uint32_t> m_committedBytes{0};
    std::uint32_t m_readOffset = 0;
    std::uint32_t m_writeOffset = 0;
    // Changed only while no other thread uses the pipe; atomic so that a
    // careless caller reads a stale value rather than a torn one.
    std::atomic<std::uint32_t> m_alignment{1};
    std::int32_t m_prefix;
    // P + 24 in 64 bits: a prefix near the top of int must not overflow.
    std::uint64_t m_prefixPlusHeader;
    std::uint32_t m_firstSequence = 0;
    std::uint32_t m_nextSequence = 0;
    unsigned char* m_newest = nullptr;
    std::uint32_t m_readerCount = 0;
    std::vector<Listener> m_spaceListeners;

    // The data listeners are a shared, never-changed list: adding or
    // removing one builds a new list under the pipe lock.  CommitBlock copies
    // a short list onto its stack under that lock, or takes a reference to a
    // longer one, and signals from it after giving the lock back.  So no
    // pipe lock is held while a listener runs (it may call back into the
    // pipe), and a commit allocates nothing.  An empty list is null.
    std::shared_ptr<ListenerList const> m_dataListeners;
    // Counts the changes of m_dataListeners, so that a walk notices a
    // removal made while it runs (by a listener's own Signal, say).
    std::atomic<std::uint32_t> m_dataListenersVersion{0};

    PipeWaiter* m_dataWaiters = nullptr;  // readers waiting for a commit
    PipeWaiter* m_spaceWaiters = nullptr;  // writers waiting for a give-back
};

}  // namespace zelk
