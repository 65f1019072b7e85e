// Buffer pipe through the exported interface: placement and the 24-byte
// block layout, counts, readers, listeners that call the pipe back, bad
// input, waiting, and a load test with writers and readers on one small ring.
#include "recording_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace {

using zelk::test::RecordingSignals;
using PipePtr = std::unique_ptr<CAbstractBufferPipe>;
using ReaderPtr = std::unique_ptr<CAbstractBufferPipeReader>;
using SignalsPtr = std::unique_ptr<CAbstractSignals>;

PipePtr MakePipe(unsigned long size, int prefix, unsigned long alignment) {
    return PipePtr(CreateZelkBufferPipe(size, prefix, alignment));
}
ReaderPtr MakeReader(CAbstractBufferPipe& pipe) { return ReaderPtr(pipe.CreateReader()); }

// Header words by their offset from the block's start (the descriptor starts
// 16 bytes in), read through memcpy: a block may start on any byte.
enum HeaderWord : int { kReadersLeft = 4, kBusy = 8, kSequence = 12, kSize = 16, kLength = 20 };

std::uint32_t Word(BufferPipeBlock const* block, HeaderWord word) {
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<unsigned char const*>(block) - 16 + word, sizeof value);
    return value;
}
void SetLength(BufferPipeBlock* block, std::uint32_t length) {
    std::memcpy(reinterpret_cast<unsigned char*>(block) + 4, &length, 4);
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
    for (int step = 0; auto* block : expected) {
        reader.Next(0);
        EXPECT_EQ(reader.GetBlock(), block) << "step " << step++;
    }
}

void ExpectBytes(CAbstractBufferPipe& pipe, unsigned long allocated, unsigned long committed) {
    EXPECT_EQ(pipe.GetAllocatedBytes(), allocated);
    EXPECT_EQ(pipe.GetCommittedBytes(), committed);
}

// Per alignment request A: SetAlignment's answer; a ring raised to 6 A,
// less under A of start slack; capacity - A - 25 as the largest block (which
// pins A); no size from 2^31 on; each block at the first place after the
// last one's data where the byte after its prefix is aligned, and no smaller
// than the prefix.  Then pipes refused, and pipes with no room for a block.
TEST(BufferPipeShape, AlignmentRingSizeAndBlockPlacement) {
    struct Case {
        unsigned long bufferSize;
        int prefix;
        unsigned long alignment;
        int result;  // of SetAlignment(alignment)
        std::uint32_t effective;  // the alignment it sets
    } const cases[] = {{100, 0, 4096, 1, 4096},  {1000, 0, 1, 1, 1},         {5000, 40, 256, 1, 256},
                       {5000, 8, 5000, 1, 4096}, {1, 0, 1048576, 0, 65536},  {64, 3, 0, 1, 1},
                       {64, 0, 3, 1, 2},         {1, 0, 1048575, 1, 524288}, {1, 0, ULONG_MAX, 0, 65536}};
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.bufferSize << " prefix " << c.prefix << " alignment "
                                        << c.alignment);
        PipePtr pipe = MakePipe(c.bufferSize, c.prefix, c.alignment);
        ASSERT_NE(pipe, nullptr);
        EXPECT_EQ(pipe->SetAlignment(c.alignment), c.result);
        unsigned long const a = c.effective, raised = std::max(c.bufferSize, 6 * a);
        EXPECT_LE(pipe->GetBufferSize(), raised);
        EXPECT_GT(pipe->GetBufferSize() + a, raised);
        unsigned long const limit = pipe->GetBufferSize() - a - 25;
        for (unsigned long size : {limit + 1, 0x80000000ul, ULONG_MAX})  // can never fit: no wait
            EXPECT_EQ(pipe->AllocBlock(size, 1, 0), nullptr) << size;
        ReaderPtr reader = MakeReader(*pipe);
        BufferPipeBlock* whole = Write(*pipe, limit, 0);
        ASSERT_NE(whole, nullptr);
        ExpectWalk(*reader, {whole, nullptr});  // gives it back: the ring is empty again
        std::uintptr_t end = 0;  // first byte after the previous block's data
        unsigned long allocated = 0;
        for (unsigned long size : {1ul, 0ul, 300ul, 17ul}) {
            BufferPipeBlock* block = pipe->AllocBlock(size, 0, 0);
            if (!block) break;
            auto const s = std::max(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(c.prefix));
            EXPECT_EQ((Address(block) + 8 + c.prefix) % a, 0u);
            EXPECT_TRUE(!end || (Address(block) - 16 >= end && Address(block) - 16 < end + a)) << size;
            end = Address(block) + 8 + s;
            EXPECT_EQ(Word(block, kSize), s);
            EXPECT_EQ(Word(block, kBusy), 1u);
            EXPECT_EQ(pipe->GetAllocatedBytes(), allocated += s);
        }
        EXPECT_GT(allocated, 0u) << "every ring here has room for a block";
    }
    // No ring for a negative prefix or past 32-bit offsets; no room in a ring
    // raised to 6 bytes or for a prefix of 2^31 - 1 bytes.
    EXPECT_EQ(CreateZelkBufferPipe(4096, -1, 16), nullptr);
    EXPECT_TRUE(sizeof(unsigned long) == 4 || !CreateZelkBufferPipe(static_cast<unsigned long>(1ull << 32), 0, 16));
    for (auto const& [size, prefix] : {std::pair{0ul, 0}, std::pair{4096ul, INT_MAX}})
        EXPECT_EQ(MakePipe(size, prefix, 1)->AllocBlock(0, 1, 0), nullptr) << size;
}

// Readers stop before a block still being written, even with a later one
// committed; a reader made mid-stream starts at the oldest block and counts
// in every block, busy or not; a reader that goes gives up its claim on
// every block ahead.  Only the first commit of a block of this pipe counts.
TEST(BufferPipeFlow, ReadersStopBeforeBusyBlocksJoinAtTheOldestAndLeaveCleanly) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ReaderPtr early = MakeReader(*pipe);
    ExpectWalk(*early, {nullptr});  // empty pipe
    BufferPipeBlock* blocks[4];
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(Word(blocks[i] = Write(*pipe, 16, 16), kSequence), i);
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
    // Commits of null, foreign or already committed blocks change nothing.
    PipePtr other = MakePipe(4096, 0, 4);
    BufferPipeBlock* foreign = other->AllocBlock(8, 0, 0);
    SetLength(foreign, 8);
    std::uint32_t fake[6] = {0, 1, 1, Word(busy, kSequence), 8, 8};  // a busy block's header, outside the ring
    for (BufferPipeBlock* bad :
         {static_cast<BufferPipeBlock*>(nullptr), reinterpret_cast<BufferPipeBlock*>(fake + 4), foreign, after})
        pipe->CommitBlock(bad);
    SetLength(busy, 5);
    pipe->CommitBlock(busy);
    pipe->CommitBlock(busy);
    ExpectBytes(*pipe, 32, 21);
    ExpectWalk(*late, {busy, after, nullptr});
    pipe->CommitBlock(busy);  // given back by now
    ExpectBytes(*pipe, 0, 0);
}

// Alignment 1: a block of 100 takes 124 bytes and needs 125 free.  Without
// a reader the full ring refuses; a reader made then frees the front, new
// blocks wrap to the start, and an emptied ring places at the front again.
TEST(BufferPipeFlow, FullRingWrapsAndAnEmptiedRingStartsAtTheFront) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    std::vector<BufferPipeBlock*> blocks;
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(i != 7 || !pipe->AllocBlock(107, 0, 0)) << "868 + 132 reaches the end";
        blocks.push_back(Write(*pipe, 100, 100, static_cast<unsigned char>(i)));
        ASSERT_EQ(Address(blocks.back()), Address(blocks[0]) + 124u * i);
    }
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 992 + 125 passes the end; no room before block 0
    ReaderPtr reader = MakeReader(*pipe);
    ExpectWalk(*reader, {blocks[0], blocks[1], blocks[2]});  // 0 and 1 given back: the oldest starts at 248
    EXPECT_EQ(pipe->AllocBlock(223, 0, 0), nullptr);  // a wrap needs more than 248 free before it
    blocks.push_back(Write(*pipe, 100, 100, 8));
    EXPECT_EQ(blocks.back(), blocks[0]);
    EXPECT_EQ(pipe->AllocBlock(99, 0, 0), nullptr);  // 124 + 124 is not below 248
    blocks.push_back(Write(*pipe, 98, 98, 9));  // 124 + 123 is
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
    ReaderPtr slow = MakeReader(*pipe), fast = MakeReader(*pipe);  // slow holds the first sequence at 0
    CAbstractBufferPipeReader* raw = fast.get();
    for (int i = 0; i < 4; ++i) Write(*pipe, 16, 16);
    // Not moved; on block 0; left block 1 of 0..3; left block 3, the newest.
    for (auto const& [moves, progress] :
         std::initializer_list<std::pair<int, unsigned long>>{{0, 0}, {1, 0}, {2, 25}, {2, 75}}) {
        for (int i = 0; i < moves; ++i) fast->Next(0);
        EXPECT_EQ(pipe->GetReaderProgress(&raw), progress) << moves;
    }
    EXPECT_TRUE(pipe->GetReaderProgress(nullptr) == 0 && other->GetReaderProgress(&raw) == 0)
        << "null, or of another pipe";
    Write(*pipe, 16, 16);
    for (int i = 0; i < 3; ++i) slow->Next(0);  // gives back 0 and 1: blocks 2..4 remain
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
    pipe->RemoveDataListener(&one);  // not a listener yet: nothing happens
    for (auto const& [set, mask] : {std::pair{&one, 1ul}, std::pair{&two, 4ul}, std::pair{&one, 8ul}})
        pipe->AddDataListener(set, mask);
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
    for (ReaderPtr* reader : {&first, &second}) ExpectWalk(**reader, {block, nullptr});
    EXPECT_EQ(take(), (Calls{{2, 4}, {2, 16}}));
}

// A data listener's Signal calls the pipe back, or waits for a host mutex
// that a thread calling the pipe holds; the test commits twice.  A pipe lock
// held during Signal hangs the threads, and the timeout fails the test.
TEST(BufferPipeListeners, DataListenerMayCallThePipeBack) {
    using Call = void (*)(CAbstractBufferPipe&, RecordingSignals&, RecordingSignals&);  // (pipe, self, other)
    // clang-format off
    struct Case {
        char const* name;
        Call call;
        std::size_t selfSignals, otherSignals;  // `self` is added twice, around a bystander's three entries
        unsigned long committed;
    } const cases[] = {
        {"removes itself (a one-shot listener)", [](auto& pipe, auto& self, auto&) { pipe.RemoveDataListener(&self); }, 1, 0, 2},
        {"adds another, which hears the next commit", [](auto& pipe, auto&, auto& other) { pipe.AddDataListener(&other, 2); }, 4, 1, 2},
        {"commits a block: both entries hear it first", [](auto& pipe, auto&, auto&) { Write(pipe, 8, 1); }, 6, 0, 3},
        {"waits for a host mutex held by a thread changing listeners",
         [](auto& pipe, auto&, auto& other) {
             std::mutex host;
             std::atomic<int> step{0};
             std::thread changer([&] {
                 std::lock_guard<std::mutex> hold(host);
                 for (step = 1; step != 2;) std::this_thread::yield();
                 pipe.AddDataListener(&other, 2);  // while the listener waits for `host`
                 pipe.RemoveDataListener(&other);
             });
             while (step != 1) std::this_thread::yield();
             step = 2;
             std::lock_guard<std::mutex> wait(host);
             changer.join();
         },
         4, 0, 2},
    };
    // clang-format on
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        PipePtr pipe = MakePipe(4096, 0, 4);
        RecordingSignals self, other, bystander;
        bool called = false;
        self.onSignal = [&](unsigned long) {
            if (!std::exchange(called, true)) c.call(*pipe, self, other);
        };
        for (RecordingSignals* set : {&self, &bystander, &bystander, &bystander, &self}) pipe->AddDataListener(set, 1);
        Write(*pipe, 8, 1);
        Write(*pipe, 8, 1);
        EXPECT_EQ(self.Count(), c.selfSignals);
        EXPECT_EQ(other.Count(), c.otherSignals);
        EXPECT_EQ(pipe->GetCommittedBytes(), c.committed);
    }
}

// ---- load ----------------------------------------------------------------

constexpr int kPrefix = 8;
constexpr std::uint32_t kStamp = 8;  // writer, number

unsigned char Fill(std::uint32_t const stamp[2]) {
    return static_cast<unsigned char>(stamp[0] * 131u + stamp[1] * 7u + 1);
}

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
    if (std::any_of(data + kStamp, data + length - kPrefix, [&](unsigned char c) { return c != Fill(stamp); }))
        return "wrong bytes";
    if (next && (stamp[0] >= next->size() || stamp[1] != (*next)[stamp[0]]++)) return "out of turn";
    return nullptr;
}

// Writers commit out of order on a small ring; one resident reader polls,
// one waits, and visitors come and go mid-stream, each adding and removing a
// listener set while commits signal the listeners (a list freed under a walk
// shows in the sanitizer builds).  Nothing may be lost, doubled, reordered
// or damaged, and at the end every byte must have been given back.
TEST(BufferPipeStress, WritersAndReadersOnASmallRingLoseNothing) {
    constexpr std::uint32_t kWriters = 3, kBlocksEach = 1000;
    PipePtr pipe = MakePipe(4096, kPrefix, 16);
    ReaderPtr residents[2] = {MakeReader(*pipe), MakeReader(*pipe)};
    SignalsPtr sets[2] = {SignalsPtr(CreateZelkSignals()), SignalsPtr(CreateZelkSignals())};
    std::atomic<int> faults{0};
    std::atomic<std::uint32_t> writersDone{0};
    // Reads `count` blocks: a resident (`next` given) every one from 0 on, a
    // visitor (until the writers are done) those after the first it meets.
    auto read = [&](CAbstractBufferPipeReader& reader, int wait, std::uint32_t count,
                    std::vector<std::uint32_t>* next) {
        std::uint32_t expected = 0;
        for (std::uint32_t seen = 0; seen < count && (next || writersDone < kWriters);) {
            reader.Next(wait);
            BufferPipeBlock* block = reader.GetBlock();
            if (!block && !wait && (std::this_thread::yield(), true)) continue;
            if (seen++ == 0 && !next) expected = Word(block, kSequence);
            char const* what = Fault(block, expected++, next);
            if (what && faults++ < 5) ADD_FAILURE() << what << " at block " << expected - 1;
        }
    };
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&, r] {
            std::vector<std::uint32_t> next(kWriters, 0);
            read(*residents[r], r, kWriters * kBlocksEach, &next);  // the first polls, the second waits
        });
    threads.emplace_back([&] {
        for (std::minstd_rand random(100); writersDone < kWriters;) {
            CAbstractSignals* set = sets[random() % 2].get();
            pipe->AddDataListener(set, 4);
            pipe->AddSpaceListener(set, 8);
            read(*MakeReader(*pipe), 0, random() % 40, nullptr);
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
                ASSERT_NE(block, nullptr) << "AllocBlock(size, 1, 0)";
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
