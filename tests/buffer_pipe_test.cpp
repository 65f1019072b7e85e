// Buffer pipe through the exported interface: placement and the 24-byte
// block layout, counts, readers, listeners, bad input, waiting, and a load
// test with writers and readers on one small ring.
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
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

void Skip(CAbstractBufferPipeReader& reader, int times) {
    while (times-- > 0) reader.Next(0);
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

// Each row allocates blocks until one does not fit.  The ring is raised to
// six alignment steps and loses less than one step at its start; each block
// starts at the first place after the previous block's data where the byte
// after its prefix is on the boundary (alignment 1: 24 bytes of header and
// descriptor per block).
TEST(BufferPipeShape, RingSizeAndBlockPlacement) {
    struct Case {
        unsigned long bufferSize;
        int prefix;
        unsigned long alignment;
        std::uint32_t effective;  // what SetAlignment makes of it
    } const cases[] = {
        {100, 0, 4096, 4096}, {100000, 0, 4096, 4096}, {1000, 0, 1, 1},       {1000, 0, 0, 1}, {5000, 3, 16, 16},
        {5000, 40, 256, 256}, {5000, 8, 5000, 4096},   {1, 0, 1048576, 65536}, {0, 0, 8, 8},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.bufferSize << " prefix " << c.prefix << " alignment " << c.alignment);
        PipePtr pipe = MakePipe(c.bufferSize, c.prefix, c.alignment);
        ASSERT_NE(pipe, nullptr);
        unsigned long const a = c.effective, raised = std::max(c.bufferSize, 6 * a);
        EXPECT_LE(pipe->GetBufferSize(), raised);
        EXPECT_GT(pipe->GetBufferSize() + a, raised);
        std::uintptr_t end = 0;  // first byte after the previous block's data
        unsigned long allocated = 0;
        int count = 0;
        for (unsigned long size : {1ul, 0ul, 7ul, 300ul, 17ul, 256ul}) {
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
            EXPECT_EQ(Word(block, kLength), 0u);
            EXPECT_EQ(Word(block, kBusy), 1u);
            EXPECT_EQ(pipe->GetAllocatedBytes(), allocated += s);
            ++count;
        }
        EXPECT_GT(count, 0);  // every ring here has room for at least one block
        EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
    }
}

// The alignment in force shows in the largest block that fits an empty
// ring, capacity - A - 25, so each row pins the exact value set.
TEST(BufferPipeShape, SetAlignmentRoundsDownAndRefusesFromOneMebibyte) {
    struct Row {
        unsigned long request;
        int result;
        std::uint32_t alignment;
    } const rows[] = {
        {5000, 1, 4096},         {0, 1, 1},     {1, 1, 1},     {2, 1, 2},     {3, 1, 2}, {4096, 1, 4096},
        {1048575, 1, 524288},    {1048576, 0, 65536},         {0xFFFFFFFFul, 0, 65536}, {ULONG_MAX, 0, 65536},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(testing::Message() << "SetAlignment(" << row.request << ")");
        PipePtr pipe = MakePipe(1ul << 22, 0, 1);  // alignment 1: no slack, capacity = size
        ASSERT_EQ(pipe->GetBufferSize(), 1ul << 22);
        EXPECT_EQ(pipe->SetAlignment(row.request), row.result);
        unsigned long const limit = pipe->GetBufferSize() - row.alignment - 25;
        EXPECT_EQ(pipe->AllocBlock(limit + 1, 1, 0), nullptr);  // can never fit: no wait
        BufferPipeBlock* block = pipe->AllocBlock(limit, 1, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ((Address(block) + 8) % row.alignment, 0u);
        EXPECT_EQ(Word(block, kSize), limit);
    }
}

TEST(BufferPipeBadInput, RefusedPipesAndRequestsThatCanNeverFit) {
    for (int const prefix : {-1, -24, INT_MIN}) EXPECT_EQ(CreateZelkBufferPipe(4096, prefix, 16), nullptr) << prefix;
    if constexpr (sizeof(unsigned long) > 4) {  // offsets in the ring are 32-bit words
        EXPECT_EQ(CreateZelkBufferPipe(static_cast<unsigned long>(1ull << 32), 0, 16), nullptr);
        EXPECT_EQ(CreateZelkBufferPipe(ULONG_MAX, 0, 16), nullptr);
    }
    PipePtr tiny = MakePipe(0, 0, 1);                 // raised to 6 bytes: not even a header fits
    PipePtr hugePrefix = MakePipe(4096, INT_MAX, 1);  // every block would be 2^31 - 1 bytes
    ASSERT_TRUE(tiny && hugePrefix);
    EXPECT_EQ(tiny->GetBufferSize(), 6u);
    EXPECT_EQ(tiny->AllocBlock(0, 1, 0), nullptr);
    EXPECT_EQ(hugePrefix->AllocBlock(0, 1, 0), nullptr);
    PipePtr pipe = MakePipe(4096, 0, 16);
    for (unsigned long size : {pipe->GetBufferSize(), 0x7FFFFFFFul, 0x80000000ul, 0xFFFFFFFFul, ULONG_MAX}) {
        EXPECT_EQ(pipe->AllocBlock(size, 1, 0), nullptr) << size;
        EXPECT_EQ(pipe->AllocBlock(size, 0, 0), nullptr) << size;
    }
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_NE(pipe->AllocBlock(16, 0, 0), nullptr);  // the refusals left the ring as it was
}

TEST(BufferPipeBadInput, CommitOfNullForeignOrCommittedBlocksChangesNothing) {
    PipePtr pipe = MakePipe(4096, 0, 4), other = MakePipe(4096, 0, 4);
    ReaderPtr reader = MakeReader(*pipe);
    BufferPipeBlock* block = pipe->AllocBlock(8, 0, 0);
    BufferPipeBlock* foreign = other->AllocBlock(8, 0, 0);
    ASSERT_TRUE(block && foreign);
    SetLength(block, 5);
    SetLength(foreign, 8);
    BufferPipeBlock onStack{8, 8};
    for (BufferPipeBlock* bad : {static_cast<BufferPipeBlock*>(nullptr), &onStack, foreign}) pipe->CommitBlock(bad);
    EXPECT_EQ(Word(foreign, kBusy), 1u);
    ExpectBytes(*other, 8, 0);
    ExpectBytes(*pipe, 8, 0);
    ExpectWalk(*reader, {nullptr});  // still busy
    pipe->CommitBlock(block);
    pipe->CommitBlock(block);  // a second commit must not count it twice
    EXPECT_EQ(pipe->GetCommittedBytes(), 5u);
    EXPECT_EQ(Word(block, kReadersLeft), 1u);
    ExpectWalk(*reader, {block, nullptr});
    pipe->CommitBlock(block);  // given back by now
    ExpectBytes(*pipe, 0, 0);
}

// Readers stop before a block still being written, even with a later one
// already committed, and a reader made mid-stream starts at the oldest
// block still there and counts in every block, the busy one too.
TEST(BufferPipeFlow, ReadersStopBeforeBusyBlocksAndJoinAtTheOldest) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ReaderPtr early = MakeReader(*pipe);
    ExpectWalk(*early, {nullptr});  // empty pipe
    BufferPipeBlock* blocks[4];
    for (BufferPipeBlock*& block : blocks) block = Write(*pipe, 16, 16);
    ExpectWalk(*early, {blocks[0], blocks[1], blocks[2]});  // blocks 0 and 1 given back
    ExpectBytes(*pipe, 32, 32);
    BufferPipeBlock* busy = pipe->AllocBlock(16, 0, 0);
    BufferPipeBlock* after = Write(*pipe, 16, 16);
    ASSERT_TRUE(busy && after);
    ReaderPtr late = MakeReader(*pipe);
    for (BufferPipeBlock* b : {blocks[2], blocks[3], busy}) EXPECT_EQ(Word(b, kReadersLeft), 2u);
    ExpectWalk(*late, {blocks[2], blocks[3], nullptr, nullptr});
    ExpectWalk(*early, {blocks[3], nullptr});
    ExpectBytes(*pipe, 32, 16);  // busy and after
    pipe->CommitBlock(busy);
    ExpectWalk(*late, {busy, after, nullptr});
    ExpectWalk(*early, {busy, after, nullptr});
    ExpectBytes(*pipe, 0, 0);
}

// Alignment 1: a block of 100 takes 124 bytes and needs 125 free.  Without
// a reader the full ring refuses; a reader made then frees the front, new
// blocks wrap to the start, and an emptied ring places at the front again.
TEST(BufferPipeFlow, FullRingWrapsAndAnEmptiedRingStartsAtTheFront) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_EQ(pipe->GetBufferSize(), 1000u);
    std::vector<BufferPipeBlock*> blocks;
    for (int i = 0; i < 8; ++i) {
        blocks.push_back(Write(*pipe, 100, 100, static_cast<unsigned char>(i)));
        ASSERT_NE(blocks.back(), nullptr) << i;
        EXPECT_EQ(Address(blocks.back()), Address(blocks[0]) + 124u * i);
    }
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 992 + 125 passes the end; no room before block 0
    ReaderPtr reader = MakeReader(*pipe);
    Skip(*reader, 3);  // blocks 0 and 1 given back: the oldest now starts at 248
    blocks.push_back(Write(*pipe, 100, 100, 8));
    EXPECT_EQ(blocks.back(), blocks[0]);
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 124 + 125 is not below 248
    EXPECT_EQ(pipe->AllocBlock(99, 0, 0), nullptr);   // nor 124 + 124
    blocks.push_back(Write(*pipe, 98, 98, 9));        // 124 + 123 is
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

// The reader that goes stands on a block with another committed one ahead,
// then a block still being written and, behind it, one another writer has
// already committed: it must give up its claim on all of them.
TEST(BufferPipeFlow, DestroyedReaderGivesBackItsClaimOnEveryBlockAhead) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ReaderPtr stays = MakeReader(*pipe), goes = MakeReader(*pipe);
    BufferPipeBlock* a = Write(*pipe, 16, 16);
    BufferPipeBlock* b = Write(*pipe, 16, 16);
    BufferPipeBlock* slow = pipe->AllocBlock(16, 0, 0);
    BufferPipeBlock* quick = pipe->AllocBlock(32, 0, 0);
    ASSERT_TRUE(a && b && slow && quick);
    pipe->CommitBlock(quick);
    ExpectWalk(*goes, {a});
    goes.reset();
    for (BufferPipeBlock* block : {a, b, quick}) EXPECT_EQ(Word(block, kReadersLeft), 1u);
    pipe->CommitBlock(slow);
    ExpectWalk(*stays, {a, b, slow, quick, nullptr});
    ExpectBytes(*pipe, 0, 0);
}

TEST(BufferPipeFlow, ReaderProgressFollowsItsPlaceAmongTheBlocksInThePipe) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8), other = MakePipe(4096, 0, 4);
    ReaderPtr slow = MakeReader(*pipe);  // holds block 0 and so the first sequence at 0
    ReaderPtr fast = MakeReader(*pipe);
    CAbstractBufferPipeReader* raw = fast.get();
    CAbstractBufferPipeReader* none = nullptr;
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);  // a reader that has not moved
    for (int i = 0; i < 4; ++i) Write(*pipe, 16, 16);
    // Not moved; on block 0; left block 1 of 0..3; left block 3, the newest.
    for (auto const& [moves, progress] : std::initializer_list<std::pair<int, unsigned long>>{{0, 0}, {1, 0}, {2, 25}, {2, 75}}) {
        Skip(*fast, moves);
        EXPECT_EQ(pipe->GetReaderProgress(&raw), progress) << moves;
    }
    EXPECT_EQ(pipe->GetReaderProgress(nullptr), 0u);
    EXPECT_EQ(pipe->GetReaderProgress(&none), 0u);
    EXPECT_EQ(other->GetReaderProgress(&raw), 0u) << "a reader of another pipe";
    Write(*pipe, 16, 16);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 60u);  // 3 of 0..4
    Skip(*slow, 3);                                   // gives back 0 and 1: blocks 2..4 remain
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
    pipe->RemoveDataListener(&one);  // never added: harmless
    pipe->RemoveSpaceListener(nullptr);
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
    Write(*pipe, 8, 8);
    take();
    Skip(*first, 2);
    second->Next(0);
    EXPECT_TRUE(take().empty());  // the second reader still has to pass block 0
    second->Next(0);
    EXPECT_EQ(take(), (Calls{{1, 2}, {2, 16}}));
    pipe->RemoveDataListener(&one);  // removes both of its entries
    pipe->RemoveSpaceListener(&one);
    pipe->RemoveSpaceListener(&one);
    Write(*pipe, 8, 8);
    EXPECT_EQ(take(), (Calls{{2, 4}}));
    Skip(*first, 1);
    Skip(*second, 1);  // block 1 given back
    EXPECT_EQ(take(), (Calls{{2, 16}}));
}

// Starts `count` threads running `body` and checks that none returns early;
// `release(done)` may check that a first step wakes nobody, then must let
// them all go with one event.  Should some stay asleep, `more` is called
// until they have all ended, so that the test fails instead of hanging.
template <typename Body, typename Release, typename More>
void ExpectAllWake(int count, Body body, Release release, More more) {
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back([&, i] { body(i), ++done; });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done, 0) << "woke before the event";
    release(done);
    auto const limit = std::chrono::steady_clock::now() + 20s;
    while (done != count && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(done, count) << "waiters woken by one event";
    for (; done != count; std::this_thread::sleep_for(10ms)) more();
    for (std::thread& t : threads) t.join();
}

// Every reader waiting in Next wakes at the commit (not the allocation), and
// so does a host-made set added as a data listener.
TEST(BufferPipeWait, EveryReaderWaitingInNextResumesWhenABlockIsCommitted) {
    constexpr int kReaders = 3;
    PipePtr pipe = MakePipe(4096, 0, 8);
    SignalsPtr set(CreateZelkSignals());
    pipe->AddDataListener(set.get(), 2);
    std::vector<ReaderPtr> readers;
    for (int i = 0; i < kReaders; ++i) readers.push_back(MakeReader(*pipe));
    std::vector<BufferPipeBlock*> seen(kReaders, nullptr);
    BufferPipeBlock* block = nullptr;
    unsigned long got = 0;
    ExpectAllWake(
        kReaders + 1,
        [&](int i) {
            if (i == kReaders) return void(got = set->Wait(2));
            readers[i]->Next(1);
            seen[i] = readers[i]->GetBlock();
        },
        [&](std::atomic<int> const& done) {
            block = pipe->AllocBlock(16, 0, 0);
            std::this_thread::sleep_for(20ms);
            EXPECT_EQ(done, 0) << "woke at allocation";
            pipe->CommitBlock(block);
        },
        [&] { Write(*pipe, 16, 16); });
    for (BufferPipeBlock* b : seen) EXPECT_EQ(b, block);
    EXPECT_EQ(got, 2u);
    pipe->RemoveDataListener(set.get());
}

// Alignment 1: a 400-byte block takes 424 bytes, a 100-byte one 124 and
// needs 125 free.  Giving back the 400-byte block makes room for all three
// writers; moving the reader onto it gives nothing back yet.
TEST(BufferPipeWait, EveryWriterWaitingForSpaceResumesWhenAReaderGivesABlockBack) {
    constexpr int kWriters = 3;
    PipePtr pipe = MakePipe(1000, 0, 1);
    ReaderPtr reader = MakeReader(*pipe);
    ASSERT_NE(Write(*pipe, 400, 400), nullptr);
    for (int i = 0; i < 4; ++i) ASSERT_NE(Write(*pipe, 100, 100), nullptr);
    ASSERT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);
    ExpectAllWake(
        kWriters,
        [&](int) {
            if (BufferPipeBlock* block = pipe->AllocBlock(100, 1, 0)) {
                SetLength(block, 1);
                pipe->CommitBlock(block);
            }
        },
        [&](std::atomic<int> const& done) {
            reader->Next(0);
            std::this_thread::sleep_for(20ms);
            EXPECT_EQ(done, 0) << "woke before a give-back";
            reader->Next(0);
        },
        [&] { reader->Next(0); });
    EXPECT_EQ(pipe->GetCommittedBytes(), 400u + kWriters);  // blocks 1 to 4 and the three new ones
}

// ---- load ----------------------------------------------------------------

constexpr int kPrefix = 8;
constexpr std::uint32_t kStamp = 8;  // writer, number

unsigned char PayloadByte(std::uint32_t writer, std::uint32_t number, std::uint32_t i) {
    return static_cast<unsigned char>(writer * 131u + number * 7u + i * 31u + (i >> 8));
}

// What is wrong with a block as a reader sees it (null: nothing): the pipe's
// number for it, its length and bytes and, for a reader that sees every
// block (`next` given), each writer's turn.
char const* Fault(BufferPipeBlock* block, std::uint32_t sequence, std::vector<std::uint32_t>* next) {
    std::uint32_t const length = Word(block, kLength);
    if (Word(block, kSequence) != sequence) return "another block";
    if (length < kPrefix + kStamp || length > Word(block, kSize)) return "bad length";
    unsigned char const* data = DataOf(block) + kPrefix;
    std::uint32_t stamp[2];
    std::memcpy(stamp, data, kStamp);
    for (std::uint32_t i = 0; i < length - kPrefix - kStamp; ++i)
        if (data[kStamp + i] != PayloadByte(stamp[0], stamp[1], i)) return "wrong bytes";
    if (next && (stamp[0] >= next->size() || stamp[1] != (*next)[stamp[0]]++)) return "out of turn";
    return nullptr;
}

// Writers commit out of order on a small ring; one resident reader polls,
// one waits, a visitor comes and goes mid-stream, and listener sets are
// added, removed and deleted meanwhile (a walk still reaching a deleted set
// shows in the sanitizer builds).  Nothing may be lost, doubled, reordered
// or damaged, and at the end every byte must have been given back.  Counts
// are kept small for ThreadSanitizer and Wine.
TEST(BufferPipeStress, WritersAndReadersOnASmallRingLoseNothing) {
    constexpr std::uint32_t kWriters = 3, kBlocksEach = 1200;
    PipePtr pipe = MakePipe(4096, kPrefix, 16);
    ReaderPtr residents[2] = {MakeReader(*pipe), MakeReader(*pipe)};
    std::atomic<int> faults{0};
    auto check = [&](BufferPipeBlock* block, std::uint32_t sequence, std::vector<std::uint32_t>* next) {
        char const* what = Fault(block, sequence, next);
        if (what && faults++ < 5) ADD_FAILURE() << what << " in block " << sequence;
    };
    std::atomic<std::uint32_t> writersDone{0}, visits{0};
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&, r] {
            std::vector<std::uint32_t> next(kWriters, 0);
            for (std::uint32_t seen = 0; seen < kWriters * kBlocksEach;) {
                residents[r]->Next(r);  // the first polls, the second waits
                if (BufferPipeBlock* block = residents[r]->GetBlock()) {
                    check(block, seen++, &next);
                } else if (r == 0) {
                    std::this_thread::yield();
                } else if (faults++ < 5) {
                    ADD_FAILURE() << "Next(1) returned between blocks";
                }
            }
        });
    threads.emplace_back([&] {  // joins and leaves anywhere, then sees every block
        std::minstd_rand random(100);
        while (writersDone < kWriters) {
            ReaderPtr visitor = MakeReader(*pipe);
            ++visits;
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
        }
    });
    SignalsPtr steady(CreateZelkSignals());
    pipe->AddDataListener(steady.get(), 1);
    threads.emplace_back([&] {
        while (writersDone < kWriters) {
            SignalsPtr set(CreateZelkSignals());
            pipe->AddDataListener(set.get(), 4);
            pipe->AddSpaceListener(set.get(), 8);
            std::this_thread::yield();
            pipe->RemoveDataListener(set.get());
            pipe->RemoveSpaceListener(set.get());
        }
    });
    for (std::uint32_t w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            std::minstd_rand random(w + 1);
            for (std::uint32_t n = 0; n < kBlocksEach; ++n) {
                std::uint32_t const size = kPrefix + kStamp + random() % 400;
                BufferPipeBlock* block = pipe->AllocBlock(size, 1, 0);
                if (!block) {
                    ADD_FAILURE() << "AllocBlock(size, 1, 0) returned null";
                    break;
                }
                if (random() % 4 == 0) std::this_thread::yield();  // let another writer commit first
                unsigned char* data = DataOf(block) + kPrefix;
                std::uint32_t const stamp[2] = {w, n}, payload = random() % (size - kPrefix - kStamp + 1);
                std::memcpy(data, stamp, kStamp);
                for (std::uint32_t i = 0; i < payload; ++i) data[kStamp + i] = PayloadByte(w, n, i);
                SetLength(block, kPrefix + kStamp + payload);
                pipe->CommitBlock(block);
            }
            ++writersDone;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(faults, 0);
    EXPECT_GT(visits, 0u);
    EXPECT_NE(steady->GetSignals() & 1u, 0u);
    pipe->RemoveDataListener(steady.get());
    for (ReaderPtr& reader : residents) reader.reset();
    ExpectBytes(*pipe, 0, 0);
}

}  // namespace
