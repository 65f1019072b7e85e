// Buffer pipe: placement, alignment, counts, readers, listeners and bad
// input, through the exported interface only.
#include "buffer_pipe_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <utility>

using namespace pipetest;

namespace {

using Calls = RecordingSignals::Log;

Calls Take(Calls& log) { return std::exchange(log, {}); }

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

// ---- construction, layout and alignment -------------------------------

// Each row allocates blocks until one does not fit.  The ring is raised to
// six alignment steps and loses less than one step at its start; each block
// starts at the first place after the previous block's data where the byte
// after its prefix is on the boundary (with alignment 1: right after it, so
// 24 bytes of header and descriptor per block).
TEST(BufferPipeShape, RingSizeAndBlockPlacement) {
    struct Case {
        unsigned long bufferSize;
        int prefix;
        unsigned long alignment;
        std::uint32_t effective;  // what SetAlignment makes of it
    } const cases[] = {
        {100, 0, 4096, 4096}, {100000, 0, 4096, 4096}, {1000, 0, 1, 1},        {1000, 0, 0, 1},
        {5000, 3, 16, 16},    {5000, 40, 256, 256},    {5000, 8, 5000, 4096},  {1, 0, 1048576, 65536},
        {0, 0, 8, 8},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.bufferSize << " prefix " << c.prefix << " alignment "
                                        << c.alignment);
        PipePtr pipe = MakePipe(c.bufferSize, c.prefix, c.alignment);
        ASSERT_NE(pipe, nullptr);
        unsigned long const a = c.effective;
        unsigned long const raised = std::max(c.bufferSize, 6 * a);
        EXPECT_LE(pipe->GetBufferSize(), raised);
        EXPECT_GT(pipe->GetBufferSize() + a, raised);
        std::uintptr_t end = 0;  // first byte after the previous block's data
        unsigned long allocated = 0;
        std::uint32_t count = 0;
        for (unsigned long size : {1ul, 0ul, 7ul, 300ul, 17ul, 256ul}) {
            BufferPipeBlock* block = pipe->AllocBlock(size, 0, 0);
            if (!block) break;
            auto const s = std::max(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(c.prefix));
            EXPECT_EQ(AlignedByte(block, c.prefix) % a, 0u);
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
        EXPECT_GT(count, 0u);  // every ring here has room for at least one block
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
        {5000, 1, 4096},    {0, 1, 1},           {1, 1, 1},          {2, 1, 2},
        {3, 1, 2},          {4096, 1, 4096},     {1048575, 1, 524288}, {1048576, 0, 65536},
        {0xFFFFFFFFul, 0, 65536}, {ULONG_MAX, 0, 65536},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(testing::Message() << "SetAlignment(" << row.request << ")");
        PipePtr pipe = MakePipe(1ul << 22, 0, 1);  // alignment 1: no slack, capacity = size
        ASSERT_NE(pipe, nullptr);
        ASSERT_EQ(pipe->GetBufferSize(), 1ul << 22);
        EXPECT_EQ(pipe->SetAlignment(row.request), row.result);
        unsigned long const limit = pipe->GetBufferSize() - row.alignment - 25;
        // Waiting for a block that can never fit must fail at once.
        EXPECT_EQ(pipe->AllocBlock(limit + 1, 1, 0), nullptr);
        BufferPipeBlock* block = pipe->AllocBlock(limit, 1, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(AlignedByte(block, 0) % row.alignment, 0u);
        EXPECT_EQ(Word(block, kSize), limit);
    }
}

// ---- bad input -----------------------------------------------------------

TEST(BufferPipeBadInput, RefusedPipesAndRequestsThatCanNeverFit) {
    for (int const prefix : {-1, -24, INT_MIN}) {
        EXPECT_EQ(CreateZelkBufferPipe(4096, prefix, 16), nullptr) << prefix;
    }
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
    ASSERT_NE(pipe, nullptr);
    for (unsigned long size : {pipe->GetBufferSize(), 0x7FFFFFFFul, 0x80000000ul, 0xFFFFFFFFul, ULONG_MAX}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(pipe->AllocBlock(size, 1, 0), nullptr);
        EXPECT_EQ(pipe->AllocBlock(size, 0, 0), nullptr);
    }
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_NE(pipe->AllocBlock(16, 0, 0), nullptr);  // the refusals left the ring as it was
}

TEST(BufferPipeBadInput, CommitOfNullForeignOrCommittedBlocksChangesNothing) {
    PipePtr pipe = MakePipe(4096, 0, 4);
    PipePtr other = MakePipe(4096, 0, 4);
    ASSERT_TRUE(pipe && other);
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
    ExpectBytes(*pipe, 0, 0);
    pipe->CommitBlock(block);  // given back by now
    ExpectBytes(*pipe, 0, 0);
}

// ---- counts, sequence and readers -------------------------------------

// Blocks written before any reader wait for one; two readers made then both
// see every block, and each block's bytes return only after both passed it.
TEST(BufferPipeFlow, TwoReadersSeeEveryBlockAndSpaceReturnsAfterBoth) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    struct Step {
        unsigned long size;
        std::uint32_t length;
    } const steps[] = {{100, 60}, {7, 7}, {300, 0}};
    std::vector<BufferPipeBlock*> blocks;
    unsigned long allocated = 0, committed = 0;
    for (std::uint32_t i = 0; i < 3; ++i) {
        BufferPipeBlock* block = pipe->AllocBlock(steps[i].size, 0, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(Word(block, kSequence), i);
        ExpectBytes(*pipe, allocated += steps[i].size, committed);
        SetLength(block, steps[i].length);
        pipe->CommitBlock(block);
        ExpectBytes(*pipe, allocated, committed += steps[i].length);
        EXPECT_EQ(Word(block, kReadersLeft), 0u);
        blocks.push_back(block);
    }
    ReaderPtr first = MakeReader(*pipe);
    ReaderPtr second = MakeReader(*pipe);
    for (BufferPipeBlock* block : blocks) EXPECT_EQ(Word(block, kReadersLeft), 2u);
    ExpectWalk(*first, {blocks[0], blocks[1], blocks[2], nullptr});
    ExpectBytes(*pipe, allocated, committed);  // the second reader holds them all
    for (std::uint32_t i = 0; i < 3; ++i) {
        second->Next(0);
        ASSERT_EQ(second->GetBlock(), blocks[i]);
        if (i > 0) ExpectBytes(*pipe, allocated -= steps[i - 1].size, committed -= steps[i - 1].length);
    }
    ExpectWalk(*second, {nullptr});
    ExpectBytes(*pipe, 0, 0);
}

// Readers stop before a block still being written, even with a later one
// already committed, and a reader made mid-stream starts at the oldest
// block still there and counts in every block, the busy one too.
TEST(BufferPipeFlow, ReadersStopBeforeBusyBlocksAndJoinAtTheOldest) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr early = MakeReader(*pipe);
    ExpectWalk(*early, {nullptr});  // empty pipe
    std::vector<BufferPipeBlock*> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back(Write(*pipe, 16, 16));
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
// a reader the blocks stay and the full ring refuses; a reader made then
// frees the front, new blocks wrap to the start, and once the ring is empty
// placement starts at the front again.
TEST(BufferPipeFlow, FullRingWrapsAndAnEmptiedRingStartsAtTheFront) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_NE(pipe, nullptr);
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
    BufferPipeBlock* wrapped = Write(*pipe, 100, 100, 8);
    EXPECT_EQ(wrapped, blocks[0]);
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 124 + 125 is not below 248
    EXPECT_EQ(pipe->AllocBlock(99, 0, 0), nullptr);   // nor 124 + 124
    BufferPipeBlock* last = Write(*pipe, 98, 98, 9);  // 124 + 123 is
    ASSERT_NE(last, nullptr);
    // The reader follows the chain across the wrap.
    blocks.push_back(wrapped);
    blocks.push_back(last);
    for (std::size_t i = 3; i < blocks.size(); ++i) {
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
    ASSERT_NE(pipe, nullptr);
    ReaderPtr stays = MakeReader(*pipe);
    ReaderPtr goes = MakeReader(*pipe);
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
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    PipePtr other = MakePipe(4096, 0, 4);
    ASSERT_TRUE(pipe && other);
    ReaderPtr slow = MakeReader(*pipe);  // holds block 0 and so the first sequence at 0
    ReaderPtr fast = MakeReader(*pipe);
    CAbstractBufferPipeReader* raw = fast.get();
    CAbstractBufferPipeReader* none = nullptr;
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);  // a reader that has not moved
    for (int i = 0; i < 4; ++i) Write(*pipe, 16, 16);
    // Not moved; on block 0; left block 1 of 0..3; left block 3, the newest.
    std::pair<int, unsigned long> const steps[] = {{0, 0}, {1, 0}, {2, 25}, {2, 75}};
    for (auto const& [moves, progress] : steps) {
        Skip(*fast, moves);
        EXPECT_EQ(pipe->GetReaderProgress(&raw), progress) << moves;
    }
    // Bad arguments and a reader of another pipe give 0.
    EXPECT_EQ(pipe->GetReaderProgress(nullptr), 0u);
    EXPECT_EQ(pipe->GetReaderProgress(&none), 0u);
    EXPECT_EQ(other->GetReaderProgress(&raw), 0u);
    Write(*pipe, 16, 16);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 60u);  // 3 of 0..4
    Skip(*slow, 3);                                   // gives back 0 and 1: blocks 2..4 remain
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 33u);  // (3 - 2) * 100 / 3
    slow.reset();  // gives back 2 and 3: only block 4 remains, behind the fast reader
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);
}

// ---- listeners ---------------------------------------------------------

// Data listeners hear each commit, space listeners each give-back, in the
// order added and once per entry; a removal drops every entry of its set.
TEST(BufferPipeListeners, SignalledInOrderOncePerEntryForTheirOwnEvent) {
    RecordingSignals::Log log;
    RecordingSignals one(log, 1), two(log, 2);
    PipePtr pipe = MakePipe(4096, 0, 4);
    ASSERT_NE(pipe, nullptr);
    pipe->RemoveDataListener(&one);  // never added: harmless
    pipe->RemoveSpaceListener(nullptr);
    pipe->AddDataListener(&one, 1);
    pipe->AddDataListener(&two, 4);
    pipe->AddDataListener(&one, 8);  // the same set twice: both entries count
    pipe->AddSpaceListener(&one, 2);
    pipe->AddSpaceListener(&two, 16);
    ReaderPtr first = MakeReader(*pipe);
    ReaderPtr second = MakeReader(*pipe);
    BufferPipeBlock* block = pipe->AllocBlock(8, 0, 0);
    EXPECT_TRUE(Take(log).empty());  // nothing at allocation
    pipe->CommitBlock(block);
    EXPECT_EQ(Take(log), (Calls{{1, 1}, {2, 4}, {1, 8}}));
    Write(*pipe, 8, 8);
    log.clear();
    Skip(*first, 2);
    second->Next(0);
    EXPECT_TRUE(Take(log).empty());  // the second reader still has to pass block 0
    second->Next(0);
    EXPECT_EQ(Take(log), (Calls{{1, 2}, {2, 16}}));
    pipe->RemoveDataListener(&one);  // removes both of its entries
    pipe->RemoveSpaceListener(&one);
    pipe->RemoveSpaceListener(&one);
    Write(*pipe, 8, 8);
    EXPECT_EQ(Take(log), (Calls{{2, 4}}));
    Skip(*first, 1);
    Skip(*second, 1);  // block 1 given back
    EXPECT_EQ(Take(log), (Calls{{2, 16}}));
}

}  // namespace
