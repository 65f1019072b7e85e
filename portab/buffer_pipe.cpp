// CZelkBufferPipe and CreateZelkBufferPipe.
//
// All changes of the ring, the counts, the lists and the block headers
// happen under the pipe lock; waiting never does.  Writers wait for a
// give-back, readers for a commit, each on its own PipeWaiter, so that one
// event wakes every thread that waits for it.  Every lock is held through
// SemaphoreLock, so an allocation that throws under it (a listener entry)
// leaves it given back.
#include "portab/buffer_pipe.h"

#include "platform/fatal.h"
#include "portab/buffer_pipe_block.h"
#include "portab/buffer_pipe_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <utility>

namespace zelk {

namespace {

constexpr unsigned long kLargestAlignmentRequest = 0x100000;  // from here on: refused
constexpr std::uint32_t kRefusedAlignment = 0x10000;
// Sizes and counts are 32-bit words and sizes are compared as signed values.
constexpr unsigned long kLargestBlockSize = 0x7FFFFFFF;
constexpr unsigned long long kLargestRing = 0xFFFFFFFFull;

// The lowest address at or after `from` at which address + `offset` is a
// multiple of `alignment` (a power of two).
std::uintptr_t AlignFrom(std::uintptr_t from, std::uint64_t offset, std::uint32_t alignment) {
    std::uintptr_t const mask = alignment - 1;
    std::uintptr_t const target = from + static_cast<std::uintptr_t>(offset);
    return from + ((alignment - (target & mask)) & mask);
}

}  // namespace

CZelkBufferPipe::CZelkBufferPipe(unsigned long bufferSize, int blockPrefix, unsigned long alignment)
    : m_lock(1, kMaximumSemaphoreCount),
      m_prefix(blockPrefix),
      m_prefixPlusHeader(static_cast<std::uint64_t>(std::max(blockPrefix, 0)) + kBlockHeaderBytes) {
    SetAlignment(alignment);
    std::uint32_t const a = m_alignment.load(std::memory_order_relaxed);
    unsigned long long size = bufferSize;
    if (size <= 6ull * a) size = 6ull * a;
    // A negative prefix has no meaning (blocks would reach before their own
    // header), and a ring is addressed by 32-bit offsets: both get no ring,
    // which the factory reports as null.
    if (blockPrefix >= 0 && size <= kLargestRing) m_memory = std::malloc(static_cast<std::size_t>(size));
    if (m_memory) {
        auto const memory = reinterpret_cast<std::uintptr_t>(m_memory);
        std::uintptr_t const base = AlignFrom(memory, m_prefixPlusHeader, a);
        m_base = reinterpret_cast<unsigned char*>(base);
        m_capacity = static_cast<std::uint32_t>(size - (base - memory));
    }
}

CZelkBufferPipe::~CZelkBufferPipe() {
    if (m_readerCount != 0 || m_spaceWaiters) {
        Fatal("buffer pipe destroyed while %u of its readers exist%s", static_cast<unsigned>(m_readerCount),
              m_spaceWaiters ? " and writers wait on it" : "");
    }
    std::free(m_memory);
}

unsigned long CZelkBufferPipe::GetBufferSize() { return m_capacity; }

unsigned long CZelkBufferPipe::GetAllocatedBytes() { return m_allocatedBytes.load(std::memory_order_relaxed); }

unsigned long CZelkBufferPipe::GetCommittedBytes() { return m_committedBytes.load(std::memory_order_relaxed); }

unsigned long CZelkBufferPipe::GetReaderProgress(CAbstractBufferPipeReader** reader) {
    if (!reader || !*reader) return 0;
    // A reader of another pipe (or of another kind) is not ours to read.
    auto const* own = dynamic_cast<CZelkBufferPipeReader const*>(*reader);
    if (!own || own->m_pipe != this) return 0;
    SemaphoreLock guard(m_lock);
    std::uint32_t const p = own->m_previousSequence;
    std::uint32_t const f = m_firstSequence;
    std::uint32_t const n = m_nextSequence;
    if (static_cast<std::int32_t>(p - f) < 0) return 0;
    if (static_cast<std::int32_t>(p - n) >= 0 || f == n) return 100;
    // In 64 bits: (p - f) * 100 can pass 2^32 in a ring of many tiny blocks,
    // and the result must stay a percentage.
    return static_cast<unsigned long>(std::uint64_t{p - f} * 100 / (n - f));
}

void CZelkBufferPipe::AddSpaceListener(CAbstractSignals* set, unsigned long mask) {
    SemaphoreLock guard(m_lock);
    m_spaceListeners.push_back({set, mask});  // unchanged if this throws
}

void CZelkBufferPipe::RemoveSpaceListener(CAbstractSignals* set) {
    SemaphoreLock guard(m_lock);
    std::erase_if(m_spaceListeners, [set](Listener const& l) { return l.set == set; });
}

// A new list replaces the present one, which walks still under way keep
// alive and read unchanged.  It is built before anything changes, so an
// allocation that throws leaves the listeners as they were.
void CZelkBufferPipe::AddDataListener(CAbstractSignals* set, unsigned long mask) {
    SemaphoreLock guard(m_lock);
    auto list = m_dataListeners ? std::make_shared<ListenerList>(*m_dataListeners) : std::make_shared<ListenerList>();
    list->push_back({set, mask});
    m_dataListeners = std::move(list);
    m_dataListenersVersion.fetch_add(1, std::memory_order_relaxed);
}

void CZelkBufferPipe::RemoveDataListener(CAbstractSignals* set) {
    SemaphoreLock guard(m_lock);
    auto const same = [set](Listener const& l) { return l.set == set; };
    if (!m_dataListeners || std::ranges::none_of(*m_dataListeners, same)) return;
    auto list = std::make_shared<ListenerList>();
    std::ranges::remove_copy_if(*m_dataListeners, std::back_inserter(*list), same);
    if (list->empty()) list.reset();
    m_dataListeners = std::move(list);
    m_dataListenersVersion.fetch_add(1, std::memory_order_relaxed);
}

int CZelkBufferPipe::SetAlignment(unsigned long alignment) {
    if (alignment >= kLargestAlignmentRequest) {
        m_alignment.store(kRefusedAlignment, std::memory_order_relaxed);
        return 0;
    }
    m_alignment.store(std::bit_floor(static_cast<std::uint32_t>(std::max(alignment, 1ul))), std::memory_order_relaxed);
    return 1;
}

BufferPipeBlock* CZelkBufferPipe::Place_NoLock(std::uint32_t size, bool& never) {
    std::uint32_t const a = m_alignment.load(std::memory_order_relaxed);
    std::uint32_t const s = std::max(size, static_cast<std::uint32_t>(m_prefix));
    // Room for the header, the data and the worst alignment slack.
    std::uint64_t const need = std::uint64_t{a} + s + kBlockHeaderBytes;
    never = need >= m_capacity;
    if (never) return nullptr;

    std::uint32_t candidate;
    if (m_readOffset > m_writeOffset) {
        // The free space is the gap between the newest block and the oldest.
        if (m_writeOffset + need >= m_readOffset) return nullptr;
        candidate = m_writeOffset;
    } else if (m_writeOffset + need < m_capacity) {
        candidate = m_writeOffset;
    } else if (need < m_readOffset) {
        candidate = 0;  // wrap: the rest of the ring after the newest block is skipped
    } else {
        return nullptr;
    }

    auto const base = reinterpret_cast<std::uintptr_t>(m_base);
    auto* const block = reinterpret_cast<unsigned char*>(AlignFrom(base + candidate, m_prefixPlusHeader, a));
    auto const offset = static_cast<std::uint32_t>(block - m_base);
    m_writeOffset = offset + kBlockHeaderBytes + s;

    if (m_newest) StoreWord(m_newest, BlockWord::kNext, offset);
    m_newest = block;

    StoreWord(block, BlockWord::kNext, kNoBlock);
    StoreWord(block, BlockWord::kReadersLeft, m_readerCount);
    StoreWord(block, BlockWord::kBusy, 1);
    StoreWord(block, BlockWord::kSequence, m_nextSequence++);
    StoreWord(block, BlockWord::kSize, s);
    StoreWord(block, BlockWord::kLength, 0);
    m_allocatedBytes.store(m_allocatedBytes.load(std::memory_order_relaxed) + s, std::memory_order_relaxed);
    return DescriptorOf(block);
}

BufferPipeBlock* CZelkBufferPipe::AllocBlock(unsigned long size, int wait, unsigned long /*reserved*/) {
    // Sizes from 2^31 on cannot be placed and must not be taken for small
    // ones when compared as signed 32-bit values.
    if (size > kLargestBlockSize) return nullptr;
    // Made only once this writer has to wait: the first try needs none.  It
    // lives on this stack: a give-back releases it under the pipe lock,
    // which this thread takes again before it leaves.
    std::optional<PipeWaiter> waiter;
    for (;;) {
        {
            SemaphoreLock guard(m_lock);
            bool never;
            BufferPipeBlock* block = Place_NoLock(static_cast<std::uint32_t>(size), never);
            // A block that cannot be placed even in an empty ring fails at
            // once: waiting for it would never end.
            if (block || !wait || never) return block;
            if (waiter) {
                waiter->next = m_spaceWaiters;
                m_spaceWaiters = &*waiter;
            }
        }
        if (!waiter) {
            waiter.emplace();
            continue;  // try again before waiting: space may have come meanwhile
        }
        waiter->wake.Lock();
    }
}

bool CZelkBufferPipe::InPipe_NoLock(std::uint32_t sequence) const {
    return static_cast<std::int32_t>(sequence - m_firstSequence) >= 0 &&
           static_cast<std::int32_t>(sequence - m_nextSequence) < 0;
}

// CommitBlock takes any pointer; only a block of this ring that is still in
// the pipe and not yet committed counts.  A second commit would count the
// block's readers and length twice and could keep it in the ring for ever.
bool CZelkBufferPipe::IsLiveBlock_NoLock(unsigned char const* block) const {
    auto const address = reinterpret_cast<std::uintptr_t>(block);
    auto const base = reinterpret_cast<std::uintptr_t>(m_base);
    if (!m_newest || address < base || std::uint64_t{address - base} + kBlockHeaderBytes > m_capacity) return false;
    return InPipe_NoLock(LoadWord(block, BlockWord::kSequence));
}

void CZelkBufferPipe::CommitBlock(BufferPipeBlock* descriptor) {
    if (!descriptor) return;
    std::array<Listener, kCopiedListeners> copied;
    std::shared_ptr<ListenerList const> shared;
    std::span<Listener const> listeners;
    std::uint32_t version = 0;
    {
        SemaphoreLock guard(m_lock);
        unsigned char* const block = BlockOf(descriptor);
        if (!IsLiveBlock_NoLock(block) || LoadWord(block, BlockWord::kBusy) != 1) return;
        StoreWord(block, BlockWord::kBusy, 0);
        // Readers made or destroyed since the allocation are so counted right.
        StoreWord(block, BlockWord::kReadersLeft, m_readerCount);
        m_committedBytes.store(m_committedBytes.load(std::memory_order_relaxed) + LoadWord(block, BlockWord::kLength),
                               std::memory_order_relaxed);
        ReleaseAll_NoLock(m_dataWaiters);
        // A short list is copied onto this stack, a longer one shared by
        // reference: either way nothing is allocated per commit.
        if (m_dataListeners) {
            version = m_dataListenersVersion.load(std::memory_order_relaxed);
            if (m_dataListeners->size() <= copied.size()) {
                listeners = {copied.begin(), std::ranges::copy(*m_dataListeners, copied.begin()).out};
            } else {
                shared = m_dataListeners;
                listeners = *shared;
            }
        }
    }
    if (!listeners.empty()) SignalDataListeners(listeners, version);
}

// No pipe lock is held while a listener runs, so its Signal may add or
// remove listeners, commit blocks or take locks of its own that other
// threads hold while they call the pipe.  When the list has changed since
// it was taken, an entry whose set is no longer a listener is passed over:
// a set that removes itself in its Signal (and may then be deleted) hears
// nothing more from this commit, even if it was added more than once.  A
// removal on another thread can still cross a Signal already under way.
void CZelkBufferPipe::SignalDataListeners(std::span<Listener const> list, std::uint32_t version) {
    std::uint32_t const taken = version;
    std::shared_ptr<ListenerList const> present;
    for (Listener const& listener : list) {
        if (m_dataListenersVersion.load(std::memory_order_relaxed) != version) {
            SemaphoreLock guard(m_lock);
            present = m_dataListeners;
            version = m_dataListenersVersion.load(std::memory_order_relaxed);
        }
        if (version != taken &&
            !(present && std::ranges::any_of(*present, [&](Listener const& l) { return l.set == listener.set; })))
            continue;
        listener.set->Signal(listener.mask);
    }
}

CAbstractBufferPipeReader* CZelkBufferPipe::CreateReader() {
    // Made before the lock is taken: if the allocation throws, no count has
    // changed and the lock was never held.
    auto reader = std::make_unique<CZelkBufferPipeReader>(*this);
    SemaphoreLock guard(m_lock);
    reader->m_previousSequence = m_firstSequence - 1;
    ++m_readerCount;
    for (unsigned char* block = Oldest_NoLock(); block; block = NextOf(block))
        StoreWord(block, BlockWord::kReadersLeft, LoadWord(block, BlockWord::kReadersLeft) + 1);
    return reader.release();
}

unsigned char* CZelkBufferPipe::Oldest_NoLock() const { return m_newest ? m_base + m_readOffset : nullptr; }

unsigned char* CZelkBufferPipe::NextOf(unsigned char const* block) const {
    std::uint32_t const next = LoadWord(block, BlockWord::kNext);
    return next == kNoBlock ? nullptr : m_base + next;
}

unsigned char* CZelkBufferPipe::Candidate_NoLock(CZelkBufferPipeReader const& reader) const {
    if (reader.m_current) return NextOf(reader.m_current);
    // The previous block's address is only trusted while its number says it
    // is still in the pipe: once given back, its space may hold another block.
    if (reader.m_previous && InPipe_NoLock(reader.m_previousSequence)) return NextOf(reader.m_previous);
    return Oldest_NoLock();
}

void CZelkBufferPipe::GiveBack_NoLock(unsigned char* block, unsigned char* candidate) {
    ++m_firstSequence;
    m_allocatedBytes.store(m_allocatedBytes.load(std::memory_order_relaxed) - LoadWord(block, BlockWord::kSize),
                           std::memory_order_relaxed);
    m_committedBytes.store(m_committedBytes.load(std::memory_order_relaxed) - LoadWord(block, BlockWord::kLength),
                           std::memory_order_relaxed);
    if (block == m_newest) m_newest = nullptr;
    if (!candidate) {
        m_readOffset = 0;  // the ring is empty: start again at the front
        m_writeOffset = 0;
    } else {
        m_readOffset = static_cast<std::uint32_t>(candidate - m_base);
    }
    for (Listener const& listener : m_spaceListeners) listener.set->Signal(listener.mask);
    ReleaseAll_NoLock(m_spaceWaiters);
}

void CZelkBufferPipe::ReleaseAll_NoLock(PipeWaiter*& list) {
    PipeWaiter* waiter = std::exchange(list, nullptr);
    while (waiter) {
        PipeWaiter* const next = waiter->next;
        waiter->wake.Unlock();
        waiter = next;
    }
}

void CZelkBufferPipe::MoveOn_NoLock(CZelkBufferPipeReader& reader) {
    unsigned char* candidate = Candidate_NoLock(reader);
    unsigned char* const current = reader.m_current;
    if (current) {
        std::uint32_t const left = LoadWord(current, BlockWord::kReadersLeft);
        // Every reader that has yet to pass a block is counted in it, so the
        // count is never 0 here; the test keeps a broken count from wrapping.
        if (left != 0) {
            StoreWord(current, BlockWord::kReadersLeft, left - 1);
            if (left == 1) GiveBack_NoLock(current, candidate);
        }
    }
    if (candidate && LoadWord(candidate, BlockWord::kBusy) != 0) candidate = nullptr;
    if (current) {
        reader.m_previous = current;
        reader.m_previousSequence = LoadWord(current, BlockWord::kSequence);
    }
    reader.m_current = candidate;
}

void CZelkBufferPipe::ReaderNext(CZelkBufferPipeReader& reader, int wait) {
    for (;;) {
        {
            SemaphoreLock guard(m_lock);
            MoveOn_NoLock(reader);
            if (reader.m_current || !wait) return;
            // Registered under the lock that commits take: a commit after
            // this point releases the waiter even if it has not begun to wait.
            reader.m_waiter.next = m_dataWaiters;
            m_dataWaiters = &reader.m_waiter;
        }
        reader.m_waiter.wake.Lock();
    }
}

void CZelkBufferPipe::ReaderGone(CZelkBufferPipeReader& reader) {
    SemaphoreLock guard(m_lock);
    do {
        MoveOn_NoLock(reader);
    } while (reader.m_current);
    // The reader stopped at the end of the pipe or before a block still
    // being written.  Blocks committed behind such a block (by another
    // writer) count this reader as well; without this walk they would wait
    // for it for ever and never be given back.
    for (unsigned char* block = Candidate_NoLock(reader); block; block = NextOf(block)) {
        if (LoadWord(block, BlockWord::kBusy) != 0) continue;  // its commit counts the readers afresh
        std::uint32_t const left = LoadWord(block, BlockWord::kReadersLeft);
        if (left != 0) StoreWord(block, BlockWord::kReadersLeft, left - 1);
    }
    --m_readerCount;
}

}  // namespace zelk

CAbstractBufferPipe* CreateZelkBufferPipe(unsigned long bufferSize, int blockPrefix, unsigned long alignment) {
    auto* pipe = new zelk::CZelkBufferPipe(bufferSize, blockPrefix, alignment);
    if (pipe->GetBufferSize() == 0) {
        delete pipe;
        return nullptr;
    }
    return pipe;
}
