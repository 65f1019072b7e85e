// Buffer pipe through the exported interface: placement and the 24-byte
// block layout, counts, readers, listeners that call the pipe back, bad
// input, waiting, and a load test with writers and readers on one small ring.
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using zelk::test::RecordingSignals;
using PipePtr = std::unique_ptr<CAbstractBufferPipe>;
using ReaderPtr = std::unique_ptr<CAbstractBufferPipeReader>;
using SignalsPtr = std::unique_ptr<CAbstractSignals>;

PipePtr MakePipe(unsigned long size, int prefix, unsigned long alignment) {
    return PipePtr(CreateZelkBufferPipe(size, prefix, alignment));
}
ReaderPtr MakeReader(CAbstractBufferPipe& pipe) { return ReaderPtr(pipe.CreateReader()); }

// Header words by their offset from the block's start; the descriptor the
// pipe hands out starts 16 bytes in.  Read through memcpy: a block may start
// on any byte.
enum HeaderWord : int { kReadersLeft = 4, kBusy = 8, kSequence = 12, kSize = 16, kLength = 20 };

std::uint32_t Word(BufferPipeBlock const* block, HeaderWord word) {
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<unsigned char const*>(block) - 16 + word, sizeof value);
    return value;
}
void SetLength(BufferPipeBlock* block, std::uint32_t length) {
    std::memcpy(reinterpret_cast<unsigned char*>(block) + 4, &length, sizeof length);
}
unsigned char* DataOf(BufferPipeBlock* block) { return reinterpret_cast<unsigned char*>(block) + 8; }
std::uintptr_t Address(void const* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Allocates without waiting, fills `length` bytes with `fill` and commits.
BufferPipeBlock* Write(CAbstractBufferPipe& pipe, unsigned long size, std::uint32_t length, unsigned char fill = 0xA5) {
    BufferPipeBlock* block = pipe.AllocBlock(size, 0, 0);
    if (!block) return nullptr;
    std::memset(DataOf(block), fill, length);
    SetLength(block, length);
    pipe.CommitBlock(block);
    return block;
}

// Moves the reader on once per entry, expecting to land on it (null: between blocks).
void ExpectWalk(CAbstractBufferPipeReader& reader, std::initializer_list<BufferPipeBlock*> expected) {
    int step = 0;
    for (BufferPipeBlock* block : expected) {
        reader.Next(0);
        EXPECT_EQ(reader.GetBlock(), block) << "step " << step++;
    }
}

void ExpectBytes(CAbstractBufferPipe& pipe, unsigned long allocated, unsigned long committed) {
    EXPECT_EQ(pipe.GetAllocatedBytes(), allocated);
    EXPECT_EQ(pipe.GetCommittedBytes(), committed);
}

// Per alignment request: what SetAlignment answers and sets.  The ring is
// raised to six alignment steps and loses less than one step at its start;
// the largest block an empty ring takes is capacity - A - 25 (which pins
// the alignment in force); each block starts at the first place after the
// previous block's data where the byte after its prefix is on the boundary,
// and a block smaller than the prefix is given the prefix's size.
TEST(BufferPipeShape, AlignmentRingSizeAndBlockPlacement) {
    struct Case {
        unsigned long bufferSize;
        int prefix;
        unsigned long alignment;
        int result;
        std::uint32_t effective;  // what SetAlignment makes of the request
    } const cases[] = {{100, 0, 4096, 1, 4096},   {1000, 0, 1, 1, 1},         {5000, 40, 256, 1, 256},
                       {5000, 8, 5000, 1, 4096},  {1, 0, 1048576, 0, 65536},  {64, 3, 0, 1, 1},
                       {64, 0, 3, 1, 2},          {1, 0, 1048575, 1, 524288}, {1, 0, ULONG_MAX, 0, 65536}};
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.bufferSize << " prefix " << c.prefix << " alignment " << c.alignment);
        PipePtr pipe = MakePipe(c.bufferSize, c.prefix, c.alignment);
        ASSERT_NE(pipe, nullptr);
        EXPECT_EQ(pipe->SetAlignment(c.alignment), c.result);
        unsigned long const a = c.effective, raised = std::max(c.bufferSize, 6 * a);
        EXPECT_LE(pipe->GetBufferSize(), raised);
        EXPECT_GT(pipe->GetBufferSize() + a, raised);
        unsigned long const limit = pipe->GetBufferSize() - a - 25;
        EXPECT_EQ(pipe->AllocBlock(limit + 1, 1, 0), nullptr);  // can never fit: no wait
        ReaderPtr reader = MakeReader(*pipe);
        BufferPipeBlock* whole = Write(*pipe, limit, 0);
        ASSERT_NE(whole, nullptr);
        ExpectWalk(*reader, {whole, nullptr});  // gives it back: the ring is empty again
        std::uintptr_t end = 0;          // first byte after the previous block's data
        unsigned long allocated = 0;
        for (unsigned long size : {1ul, 0ul, 300ul, 17ul}) {
            BufferPipeBlock* block = pipe->AllocBlock(size, 0, 0);
            if (!block) break;
            auto const s = std::max(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(c.prefix));
            EXPECT_EQ((Address(block) + 8 + c.prefix) % a, 0u);
            if (end) {
                EXPECT_GE(Address(block) - 16, end);
                EXPECT_LT(Address(block) - 16, end + a);
            }
            end = Address(block) + 8 + s;
            EXPECT_EQ(Word(block, kSize), s);
            EXPECT_EQ(Word(block, kBusy), 1u);
            EXPECT_EQ(pipe->GetAllocatedBytes(), allocated += s);
        }
        EXPECT_GT(allocated, 0u) << "every ring here has room for a block";
    }
}

TEST(BufferPipeBadInput, RefusedPipesRequestsAndCommits) {
    EXPECT_EQ(CreateZelkBufferPipe(4096, -1, 16), nullptr);
    if constexpr (sizeof(unsigned long) > 4) {  // offsets in the ring are 32-bit words
        EXPECT_EQ(CreateZelkBufferPipe(static_cast<unsigned long>(1ull << 32), 0, 16), nullptr);
    }
    PipePtr tiny = MakePipe(0, 0, 1);                 // raised to 6 bytes: not even a header fits
    PipePtr hugePrefix = MakePipe(4096, INT_MAX, 1);  // every block would be 2^31 - 1 bytes
    ASSERT_TRUE(tiny && hugePrefix);
    EXPECT_EQ(tiny->AllocBlock(0, 1, 0), nullptr);
    EXPECT_EQ(hugePrefix->AllocBlock(0, 1, 0), nullptr);
    PipePtr pipe = MakePipe(4096, 0, 16);
    for (unsigned long size : {pipe->GetBufferSize(), 0x80000000ul, ULONG_MAX}) {
        EXPECT_EQ(pipe->AllocBlock(size, 1, 0), nullptr) << size;
        EXPECT_EQ(pipe->AllocBlock(size, 0, 0), nullptr) << size;
    }
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);

    // Commits of null, foreign or already committed blocks change nothing.
    PipePtr other = MakePipe(4096, 0, 4);
    ReaderPtr reader = MakeReader(*pipe);
    BufferPipeBlock* block = pipe->AllocBlock(8, 0, 0);
    BufferPipeBlock* foreign = other->AllocBlock(8, 0, 0);
    ASSERT_TRUE(block && foreign);
    SetLength(block, 5);
    SetLength(foreign, 8);
    BufferPipeBlock onStack{8, 8};
    for (BufferPipeBlock* bad : {static_cast<BufferPipeBlock*>(nullptr), &onStack, foreign}) pipe->CommitBlock(bad);
    ExpectBytes(*other, 8, 0);
    ExpectBytes(*pipe, 8, 0);
    pipe->CommitBlock(block);
    pipe->CommitBlock(block);  // a second commit must not count it twice
    EXPECT_EQ(pipe->GetCommittedBytes(), 5u);
    ExpectWalk(*reader, {block, nullptr});
    pipe->CommitBlock(block);  // given back by now
    ExpectBytes(*pipe, 0, 0);
}

// Readers stop before a block still being written, even with a later one
// already committed; a reader made mid-stream starts at the oldest block
// still there and counts in every block, the busy one too; a reader that
// goes gives up its claim on every block ahead, busy or not.
TEST(BufferPipeFlow, ReadersStopBeforeBusyBlocksJoinAtTheOldestAndLeaveCleanly) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ReaderPtr early = MakeReader(*pipe);
    ExpectWalk(*early, {nullptr});  // empty pipe
    BufferPipeBlock* blocks[4];
    for (BufferPipeBlock*& block : blocks) block = Write(*pipe, 16, 16);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(Word(blocks[i], kSequence), i);
    ExpectWalk(*early, {blocks[0], blocks[1], blocks[2]});  // blocks 0 and 1 given back
    ExpectBytes(*pipe, 32, 32);
    BufferPipeBlock* busy = pipe->AllocBlock(16, 0, 0);
    BufferPipeBlock* after = Write(*pipe, 16, 16);
    ASSERT_TRUE(busy && after);
    ReaderPtr late = MakeReader(*pipe);
    for (BufferPipeBlock* b : {blocks[2], blocks[3], busy}) EXPECT_EQ(Word(b, kReadersLeft), 2u);
    ExpectWalk(*late, {blocks[2], blocks[3], nullptr, nullptr});
    ExpectWalk(*early, {blocks[3]});
    early.reset();
    ExpectBytes(*pipe, 32, 16);  // busy and after
    EXPECT_EQ(Word(after, kReadersLeft), 1u);
    pipe->CommitBlock(busy);
    ExpectWalk(*late, {busy, after, nullptr});
    ExpectBytes(*pipe, 0, 0);
}

// Alignment 1: a block of 100 takes 124 bytes and needs 125 free.  Without
// a reader the full ring refuses; a reader made then frees the front, new
// blocks wrap to the start, and an emptied ring places at the front again.
TEST(BufferPipeFlow, FullRingWrapsAndAnEmptiedRingStartsAtTheFront) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    std::vector<BufferPipeBlock*> blocks;
    for (int i = 0; i < 8; ++i) {
        blocks.push_back(Write(*pipe, 100, 100, static_cast<unsigned char>(i)));
        ASSERT_EQ(Address(blocks.back()), Address(blocks[0]) + 124u * i);
    }
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 992 + 125 passes the end; no room before block 0
    ReaderPtr reader = MakeReader(*pipe);
    ExpectWalk(*reader, {blocks[0], blocks[1], blocks[2]});  // 0 and 1 given back: the oldest starts at 248
    blocks.push_back(Write(*pipe, 100, 100, 8));
    EXPECT_EQ(blocks.back(), blocks[0]);
    EXPECT_EQ(pipe->AllocBlock(99, 0, 0), nullptr);  // 124 + 124 is not below 248
    blocks.push_back(Write(*pipe, 98, 98, 9));       // 124 + 123 is
    ASSERT_NE(blocks.back(), nullptr);
    for (std::size_t i = 3; i < blocks.size(); ++i) {  // the chain across the wrap
        reader->Next(0);
        ASSERT_EQ(reader->GetBlock(), blocks[i]);
        EXPECT_EQ(DataOf(reader->GetBlock())[0], i);
    }
    reader->Next(0);
    ExpectBytes(*pipe, 0, 0);
    EXPECT_EQ(Write(*pipe, 100, 10), blocks[0]);
}

// Progress is the reader's place among the blocks still in the pipe; a
// reader that has not moved, a null or foreign reader read 0.
TEST(BufferPipeFlow, ReaderProgressFollowsItsPlaceAmongTheBlocksInThePipe) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8), other = MakePipe(4096, 0, 4);
    ReaderPtr slow = MakeReader(*pipe);  // holds block 0 and so the first sequence at 0
    ReaderPtr fast = MakeReader(*pipe);
    CAbstractBufferPipeReader* raw = fast.get();
    for (int i = 0; i < 4; ++i) Write(*pipe, 16, 16);
    // Not moved; on block 0; left block 1 of 0..3; left block 3, the newest.
    for (auto const& [moves, progress] : std::initializer_list<std::pair<int, unsigned long>>{{0, 0}, {1, 0}, {2, 25}, {2, 75}}) {
        for (int i = 0; i < moves; ++i) fast->Next(0);
        EXPECT_EQ(pipe->GetReaderProgress(&raw), progress) << moves;
    }
    EXPECT_EQ(pipe->GetReaderProgress(nullptr), 0u);
    EXPECT_EQ(other->GetReaderProgress(&raw), 0u) << "a reader of another pipe";
    Write(*pipe, 16, 16);
    for (int i = 0; i < 3; ++i) slow->Next(0);     // gives back 0 and 1: blocks 2..4 remain
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 33u);  // (3 - 2) * 100 / 3
    slow.reset();  // gives back 2 and 3: only block 4 remains, behind the fast reader
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);
}

// Data listeners hear each commit, space listeners each give-back, in the
// order added and once per entry; a removal drops every entry of its set.
TEST(BufferPipeListeners, SignalledInOrderOncePerEntryForTheirOwnEvent) {
    using Calls = std::vector<std::pair<int, unsigned long>>;  // (set, mask)
    Calls log;
    RecordingSignals one, two;
    one.onSignal = [&](unsigned long mask) { log.emplace_back(1, mask); };
    two.onSignal = [&](unsigned long mask) { log.emplace_back(2, mask); };
    auto take = [&] { return std::exchange(log, {}); };
    PipePtr pipe = MakePipe(4096, 0, 4);
    pipe->AddDataListener(&one, 1);
    pipe->AddDataListener(&two, 4);
    pipe->AddDataListener(&one, 8);  // the same set twice: both entries count
    pipe->AddSpaceListener(&one, 2);
    pipe->AddSpaceListener(&two, 16);
    ReaderPtr first = MakeReader(*pipe), second = MakeReader(*pipe);
    BufferPipeBlock* block = pipe->AllocBlock(8, 0, 0);
    EXPECT_TRUE(take().empty());  // nothing at allocation
    pipe->CommitBlock(block);
    EXPECT_EQ(take(), (Calls{{1, 1}, {2, 4}, {1, 8}}));
    ExpectWalk(*first, {block, nullptr});
    EXPECT_TRUE(take().empty());  // the second reader still has to pass block 0
    ExpectWalk(*second, {block, nullptr});
    EXPECT_EQ(take(), (Calls{{1, 2}, {2, 16}}));
    pipe->RemoveDataListener(&one);  // removes both of its entries
    pipe->RemoveSpaceListener(&one);
    block = Write(*pipe, 8, 8);
    ExpectWalk(*first, {block, nullptr});
    ExpectWalk(*second, {block, nullptr});
    EXPECT_EQ(take(), (Calls{{2, 4}, {2, 16}}));
}

// A data listener's Signal calls the pipe back on the committing thread: a
// one-shot listener (added twice) removes itself, another adds a listener,
// a third commits a block of its own.  The test commits twice.  A pipe lock
// held during Signal hangs the thread, and the ctest timeout fails it.
TEST(BufferPipeListeners, DataListenerMayCallThePipeBack) {
    struct Case {
        char const* name;
        std::function<void(CAbstractBufferPipe&, RecordingSignals& self, RecordingSignals& other)> call;
        std::size_t selfSignals, otherSignals;
        unsigned long committed;
    } const cases[] = {
        {"removes itself", [](CAbstractBufferPipe& pipe, RecordingSignals& self, RecordingSignals&) { pipe.RemoveDataListener(&self); },
         1, 0, 2},
        {"adds another", [](CAbstractBufferPipe& pipe, RecordingSignals&, RecordingSignals& other) { pipe.AddDataListener(&other, 2); },
         4, 1, 2},  // the other set hears only the second commit
        {"commits a block", [](CAbstractBufferPipe& pipe, RecordingSignals&, RecordingSignals&) { Write(pipe, 8, 1); },
         6, 0, 3},  // its own commit signals both entries before the second entry of the first
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        PipePtr pipe = MakePipe(4096, 0, 4);
        RecordingSignals self, other;
        bool called = false;
        self.onSignal = [&](unsigned long) {
            if (!std::exchange(called, true)) c.call(*pipe, self, other);
        };
        pipe->AddDataListener(&self, 1);
        pipe->AddDataListener(&self, 1);
        Write(*pipe, 8, 1);
        Write(*pipe, 8, 1);
        EXPECT_EQ(self.Count(), c.selfSignals);
        EXPECT_EQ(other.Count(), c.otherSignals);
        EXPECT_EQ(pipe->GetCommittedBytes(), c.committed);
    }
}

// Thread A commits and its listener takes a host mutex; thread B holds that
// mutex and adds and removes listeners meanwhile.  Neither may wait for the other.
TEST(BufferPipeListeners, ListenerTakingAHostLockMeetsAThreadChangingListenersUnderIt) {
    PipePtr pipe = MakePipe(4096, 0, 4);
    std::mutex host;
    std::atomic<bool> inSignal{false};
    RecordingSignals listener, other;
    listener.onSignal = [&](unsigned long) {
        inSignal = true;
        std::lock_guard<std::mutex> wait(host);
    };
    pipe->AddDataListener(&listener, 1);
    std::unique_lock<std::mutex> hold(host);
    std::thread committer([&] { Write(*pipe, 8, 8); });
    while (!inSignal) std::this_thread::yield();
    pipe->AddDataListener(&other, 2);  // the committer waits for `host` inside Signal
    pipe->RemoveDataListener(&other);
    pipe->RemoveDataListener(&listener);
    hold.unlock();
    committer.join();
    EXPECT_EQ(listener.Count(), 1u);
    EXPECT_EQ(other.Count(), 0u);
}

// Two readers waiting in Next(1) and a host set listening for data all wake
// at the commit, not at the allocation; then two writers waiting for space
// (alignment 1: a 100-byte block needs 125 free) all wake when a reader
// gives the 400-byte block back, not when it only moves onto it.  A waiter
// left asleep hangs the test and the timeout fails it.
TEST(BufferPipeWait, EveryWaiterResumesAtItsEvent) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    SignalsPtr set(CreateZelkSignals());
    pipe->AddDataListener(set.get(), 2);
    ReaderPtr readers[2] = {MakeReader(*pipe), MakeReader(*pipe)};
    std::atomic<int> done{0};
    BufferPipeBlock* seen[2] = {nullptr, nullptr};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) threads.emplace_back([&, i] { readers[i]->Next(1), seen[i] = readers[i]->GetBlock(), ++done; });
    threads.emplace_back([&] { EXPECT_EQ(set->Wait(2), 2u), ++done; });
    std::this_thread::sleep_for(50ms);
    BufferPipeBlock* big = pipe->AllocBlock(400, 0, 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done, 0) << "woke before the commit";
    SetLength(big, 400);
    pipe->CommitBlock(big);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(seen[0], big);
    EXPECT_EQ(seen[1], big);
    pipe->RemoveDataListener(set.get());
    for (int i = 0; i < 4; ++i) ASSERT_NE(Write(*pipe, 100, 100), nullptr);
    ASSERT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);
    threads.clear();
    done = 0;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&] {
            if (BufferPipeBlock* block = pipe->AllocBlock(100, 1, 0)) SetLength(block, 1), pipe->CommitBlock(block);
            ++done;
        });
    std::this_thread::sleep_for(50ms);
    readers[1]->Next(0);  // readers[0] still stands on the big block
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done, 0) << "woke before a give-back";
    readers[0]->Next(0);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(pipe->GetCommittedBytes(), 402u);  // blocks 1 to 4 and the two new ones
}

// ---- load ----------------------------------------------------------------

constexpr int kPrefix = 8;
constexpr std::uint32_t kStamp = 8;  // writer, number

unsigned char Fill(std::uint32_t const stamp[2]) { return static_cast<unsigned char>(stamp[0] * 131u + stamp[1] * 7u + 1); }

// What is wrong with a block as a reader sees it (null: nothing): the pipe's
// number for it, its length and bytes and, for a reader that sees every
// block (`next` given), each writer's turn.
char const* Fault(BufferPipeBlock* block, std::uint32_t sequence, std::vector<std::uint32_t>* next) {
    if (!block) return "Next(1) returned between blocks";
    std::uint32_t const length = Word(block, kLength);
    if (Word(block, kSequence) != sequence) return "another block";
    if (length < kPrefix + kStamp || length > Word(block, kSize)) return "bad length";
    unsigned char const* data = DataOf(block) + kPrefix;
    std::uint32_t stamp[2];
    std::memcpy(stamp, data, kStamp);
    if (std::any_of(data + kStamp, data + length - kPrefix, [&](unsigned char c) { return c != Fill(stamp); })) return "wrong bytes";
    if (next && (stamp[0] >= next->size() || stamp[1] != (*next)[stamp[0]]++)) return "out of turn";
    return nullptr;
}

// Writers commit out of order on a small ring; one resident reader polls,
// one waits, and a visitor comes and goes mid-stream, adding and removing a
// listener set each time while the writers' commits signal the listeners
// (a list freed under a walk shows in the sanitizer builds; the sets live
// until the writers stop, as a host keeps them).  Nothing may be lost,
// doubled, reordered or damaged, and at the end every byte must have been
// given back.
TEST(BufferPipeStress, WritersAndReadersOnASmallRingLoseNothing) {
    constexpr std::uint32_t kWriters = 3, kBlocksEach = 1000;
    PipePtr pipe = MakePipe(4096, kPrefix, 16);
    ReaderPtr residents[2] = {MakeReader(*pipe), MakeReader(*pipe)};
    std::atomic<int> faults{0};
    auto check = [&](BufferPipeBlock* block, std::uint32_t sequence, std::vector<std::uint32_t>* next) {
        char const* what = Fault(block, sequence, next);
        if (what && faults++ < 5) ADD_FAILURE() << what << " at block " << sequence;
    };
    std::atomic<std::uint32_t> writersDone{0};
    std::vector<SignalsPtr> sets;  // every listener the visitor used
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&, r] {
            std::vector<std::uint32_t> next(kWriters, 0);
            for (std::uint32_t seen = 0; seen < kWriters * kBlocksEach;) {
                residents[r]->Next(r);  // the first polls, the second waits
                BufferPipeBlock* block = residents[r]->GetBlock();
                if (block || r == 1) check(block, seen++, &next);
                else std::this_thread::yield();
            }
        });
    threads.emplace_back([&] {  // joins and leaves anywhere, then sees every block in turn
        for (std::minstd_rand random(100); writersDone < kWriters;) {
            CAbstractSignals* set = sets.emplace_back(CreateZelkSignals()).get();
            pipe->AddDataListener(set, 4);
            pipe->AddSpaceListener(set, 8);
            ReaderPtr visitor = MakeReader(*pipe);
            std::uint32_t expected = 0;
            bool first = true;
            for (auto stay = random() % 40; stay > 0 && writersDone < kWriters; --stay) {
                visitor->Next(0);
                if (BufferPipeBlock* block = visitor->GetBlock()) {
                    if (std::exchange(first, false)) expected = Word(block, kSequence);
                    check(block, expected++, nullptr);
                } else {
                    std::this_thread::yield();
                }
            }
            pipe->RemoveDataListener(set);
            pipe->RemoveSpaceListener(set);
        }
    });
    for (std::uint32_t w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            std::minstd_rand random(w + 1);
            for (std::uint32_t n = 0; n < kBlocksEach; ++n) {
                std::uint32_t const size = kPrefix + kStamp + random() % 400, stamp[2] = {w, n};
                BufferPipeBlock* block = pipe->AllocBlock(size, 1, 0);
                if (!block) {
                    ADD_FAILURE() << "AllocBlock(size, 1, 0) returned null";
                    return;
                }
                if (random() % 4 == 0) std::this_thread::yield();  // let another writer commit first
                std::uint32_t const length = kPrefix + kStamp + random() % (size - kPrefix - kStamp + 1);
                std::memcpy(DataOf(block) + kPrefix, stamp, kStamp);
                std::memset(DataOf(block) + kPrefix + kStamp, Fill(stamp), length - kPrefix - kStamp);
                SetLength(block, length);
                pipe->CommitBlock(block);
            }
            ++writersDone;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(faults, 0);
    for (ReaderPtr& reader : residents) reader.reset();
    ExpectBytes(*pipe, 0, 0);
}

}  // namespace
