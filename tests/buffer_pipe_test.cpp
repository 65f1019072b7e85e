// Buffer pipe: placement, alignment, counts, readers, listeners and bad
// input, through the exported interface only.
#include "buffer_pipe_test_util.h"

#include <gtest/gtest.h>

#include <climits>

using namespace pipetest;

namespace {

// ---- construction, layout and alignment -------------------------------

struct ShapeCase {
    unsigned long bufferSize;
    int prefix;
    unsigned long alignment;
    unsigned long effectiveAlignment;  // what SetAlignment makes of it
};

TEST(BufferPipeShape, RingIsRaisedAlignedAndFirstBlockDataSitsOnTheBoundary) {
    ShapeCase const cases[] = {
        {100, 0, 4096, 4096},            // raised to 6 * 4096
        {100000, 0, 4096, 4096},
        {1000, 0, 1, 1},
        {1000, 0, 0, 1},                 // 0 counts as 1
        {5000, 3, 16, 16},               // odd prefix: the header starts on any byte
        {5000, 100, 64, 64},
        {5000, 8, 5000, 4096},           // rounded down to a power of two
        {1, 0, 1048576, 65536},          // refused, 65536 instead: raised to 6 * 65536
        {0, 0, 8, 8},
    };
    for (ShapeCase const& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.bufferSize << " prefix " << c.prefix << " alignment "
                                        << c.alignment);
        PipePtr pipe = MakePipe(c.bufferSize, c.prefix, c.alignment);
        ASSERT_NE(pipe, nullptr);
        unsigned long const a = c.effectiveAlignment;
        unsigned long const raised = c.bufferSize <= 6 * a ? 6 * a : c.bufferSize;
        // The ring loses less than one alignment step at its start.
        EXPECT_LE(pipe->GetBufferSize(), raised);
        EXPECT_GT(pipe->GetBufferSize() + a, raised);
        EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
        EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
        if (pipe->GetBufferSize() <= a + 25 + static_cast<unsigned long>(c.prefix)) continue;  // too small for a block
        BufferPipeBlock* block = pipe->AllocBlock(1, 0, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(AlignedByte(block, c.prefix) % a, 0u);
        EXPECT_EQ(Word(block, kSize), std::max<std::uint32_t>(1, static_cast<std::uint32_t>(c.prefix)));
        EXPECT_EQ(Word(block, kLength), 0u);
        EXPECT_EQ(Word(block, kBusy), 1u);
        EXPECT_EQ(Word(block, kSequence), 0u);
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
        {5000, 1, 4096},  {0, 1, 1},           {1, 1, 1},     {2, 1, 2},         {3, 1, 2},
        {4096, 1, 4096},  {1048575, 1, 524288}, {1048576, 0, 65536}, {0xFFFFFFFFul, 0, 65536},
        {ULONG_MAX, 0, 65536},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(testing::Message() << "SetAlignment(" << row.request << ")");
        for (int const tooBig : {0, 1}) {
            PipePtr pipe = MakePipe(1ul << 22, 0, 1);  // alignment 1: no slack, capacity = size
            ASSERT_NE(pipe, nullptr);
            ASSERT_EQ(pipe->GetBufferSize(), 1ul << 22);
            EXPECT_EQ(pipe->SetAlignment(row.request), row.result);
            unsigned long const limit = pipe->GetBufferSize() - row.alignment - 25;
            // Waiting for a block that can never fit must fail at once.
            BufferPipeBlock* block = pipe->AllocBlock(limit + tooBig, 1, 0);
            if (tooBig) {
                EXPECT_EQ(block, nullptr);
            } else {
                ASSERT_NE(block, nullptr);
                EXPECT_EQ(AlignedByte(block, 0) % row.alignment, 0u);
                EXPECT_EQ(Word(block, kSize), limit);
                EXPECT_EQ(pipe->GetAllocatedBytes(), limit);
            }
        }
    }
}

TEST(BufferPipeShape, BlocksFollowEachOtherWithTwentyFourBytesOfHeader) {
    PipePtr pipe = MakePipe(4096, 0, 1);
    ASSERT_NE(pipe, nullptr);
    BufferPipeBlock* a = pipe->AllocBlock(10, 0, 0);
    BufferPipeBlock* b = pipe->AllocBlock(7, 0, 0);
    BufferPipeBlock* c = pipe->AllocBlock(0, 0, 0);
    BufferPipeBlock* d = pipe->AllocBlock(1, 0, 0);
    ASSERT_TRUE(a && b && c && d);
    // Alignment 1 leaves no slack: each block starts where the last one's data ends.
    EXPECT_EQ(Address(b), Address(a) + 8 + 10 + 16);
    EXPECT_EQ(Address(c), Address(b) + 8 + 7 + 16);
    EXPECT_EQ(Address(d), Address(c) + 8 + 0 + 16);
    EXPECT_EQ(Word(c, kSize), 0u);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 18u);
}

TEST(BufferPipeShape, AlignedBlocksKeepPrefixAndDataOnTheBoundary) {
    int const prefix = 40;
    PipePtr pipe = MakePipe(1 << 16, prefix, 256);
    ASSERT_NE(pipe, nullptr);
    std::uintptr_t last = 0;
    for (unsigned long size : {1ul, 300ul, 17ul, 0ul, 255ul, 256ul, 1000ul}) {
        BufferPipeBlock* block = pipe->AllocBlock(size, 0, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(AlignedByte(block, prefix) % 256, 0u);
        EXPECT_EQ(Word(block, kSize), std::max<std::uint32_t>(static_cast<std::uint32_t>(size), prefix));
        // Each block is the first such boundary after the previous one's data.
        if (last) {
            EXPECT_GE(Address(block) - 16, last);
            EXPECT_LT(Address(block) - 16, last + 256);
        }
        last = Address(block) + 8 + Word(block, kSize);
        // Data() of an aligned descriptor is the byte after the length.
        EXPECT_EQ(Address(block->Data()), Address(block) + 8);
    }
}

// ---- bad input -----------------------------------------------------------

TEST(BufferPipeBadInput, FactoryRefusesNegativePrefixAndUnaddressableSizes) {
    EXPECT_EQ(CreateZelkBufferPipe(4096, -1, 16), nullptr);
    EXPECT_EQ(CreateZelkBufferPipe(4096, -24, 16), nullptr);
    EXPECT_EQ(CreateZelkBufferPipe(4096, INT_MIN, 16), nullptr);
    if constexpr (sizeof(unsigned long) > 4) {
        // Offsets in the ring are 32-bit words.
        EXPECT_EQ(CreateZelkBufferPipe(static_cast<unsigned long>(1ull << 32), 0, 16), nullptr);
        EXPECT_EQ(CreateZelkBufferPipe(ULONG_MAX, 0, 16), nullptr);
    }
}

TEST(BufferPipeBadInput, RequestsThatCanNeverFitFailAtOnceEvenWhenWaiting) {
    PipePtr tiny = MakePipe(0, 0, 1);  // raised to 6 bytes: not even a header fits
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->GetBufferSize(), 6u);
    EXPECT_EQ(tiny->AllocBlock(0, 1, 0), nullptr);

    PipePtr hugePrefix = MakePipe(4096, INT_MAX, 1);  // every block would be 2^31 - 1 bytes
    ASSERT_NE(hugePrefix, nullptr);
    EXPECT_EQ(hugePrefix->AllocBlock(0, 1, 0), nullptr);
    EXPECT_EQ(hugePrefix->GetAllocatedBytes(), 0u);

    PipePtr pipe = MakePipe(4096, 0, 16);
    ASSERT_NE(pipe, nullptr);
    for (unsigned long size : {pipe->GetBufferSize(), 0x7FFFFFFFul, 0x80000000ul, 0xFFFFFFFFul, ULONG_MAX}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(pipe->AllocBlock(size, 1, 0), nullptr);
        EXPECT_EQ(pipe->AllocBlock(size, 0, 0), nullptr);
    }
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    // The pipe is untouched by the refusals.
    EXPECT_NE(pipe->AllocBlock(16, 0, 0), nullptr);
}

TEST(BufferPipeBadInput, SizeZeroGivesAPrefixSizedBlockThatTravelsLikeAnyOther) {
    for (int const prefix : {0, 12}) {
        SCOPED_TRACE(prefix);
        PipePtr pipe = MakePipe(4096, prefix, 4);
        ASSERT_NE(pipe, nullptr);
        ReaderPtr reader = MakeReader(*pipe);
        BufferPipeBlock* block = pipe->AllocBlock(0, 0, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(Word(block, kSize), static_cast<std::uint32_t>(prefix));
        pipe->CommitBlock(block);
        reader->Next(0);
        EXPECT_EQ(reader->GetBlock(), block);
        reader->Next(0);
        EXPECT_EQ(reader->GetBlock(), nullptr);
        EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    }
}

TEST(BufferPipeBadInput, CommitOfNullForeignOrCommittedBlocksChangesNothing) {
    PipePtr pipe = MakePipe(4096, 0, 4);
    PipePtr other = MakePipe(4096, 0, 4);
    ASSERT_TRUE(pipe && other);
    ReaderPtr reader = MakeReader(*pipe);
    BufferPipeBlock* block = pipe->AllocBlock(8, 0, 0);
    ASSERT_NE(block, nullptr);
    SetLength(block, 5);

    pipe->CommitBlock(nullptr);
    BufferPipeBlock onStack{8, 8};
    pipe->CommitBlock(&onStack);
    BufferPipeBlock* foreign = other->AllocBlock(8, 0, 0);
    ASSERT_NE(foreign, nullptr);
    SetLength(foreign, 8);
    pipe->CommitBlock(foreign);
    EXPECT_EQ(Word(foreign, kBusy), 1u);
    EXPECT_EQ(other->GetCommittedBytes(), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), nullptr);  // still busy

    pipe->CommitBlock(block);
    pipe->CommitBlock(block);  // a second commit must not count it twice
    EXPECT_EQ(pipe->GetCommittedBytes(), 5u);
    EXPECT_EQ(Word(block, kReadersLeft), 1u);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), block);
    reader->Next(0);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
    pipe->CommitBlock(block);  // given back by now
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
}

TEST(BufferPipeBadInput, ProgressOfMissingOrForeignReadersIsZero) {
    PipePtr pipe = MakePipe(4096, 0, 4);
    PipePtr other = MakePipe(4096, 0, 4);
    ASSERT_TRUE(pipe && other);
    ASSERT_NE(Write(*pipe, 8, 8), nullptr);
    ReaderPtr holder = MakeReader(*other);  // keeps both blocks of the other pipe in place
    ReaderPtr foreign = MakeReader(*other);
    Write(*other, 8, 8);
    Write(*other, 8, 8);
    foreign->Next(0);
    foreign->Next(0);
    foreign->Next(0);  // left block 1 of 0..1: 50 in its own pipe
    CAbstractBufferPipeReader* none = nullptr;
    CAbstractBufferPipeReader* raw = foreign.get();
    EXPECT_EQ(pipe->GetReaderProgress(nullptr), 0u);
    EXPECT_EQ(pipe->GetReaderProgress(&none), 0u);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);
    EXPECT_EQ(other->GetReaderProgress(&raw), 50u);
}

TEST(BufferPipeBadInput, RemovingListenersTwiceOrNeverAddedIsHarmless) {
    RecordingSignals::Log log;
    RecordingSignals set(log, 1);
    PipePtr pipe = MakePipe(4096, 0, 4);
    ASSERT_NE(pipe, nullptr);
    pipe->RemoveDataListener(&set);
    pipe->RemoveSpaceListener(&set);
    pipe->RemoveDataListener(nullptr);
    pipe->AddDataListener(&set, 1);
    pipe->AddSpaceListener(&set, 2);
    pipe->RemoveDataListener(&set);
    pipe->RemoveDataListener(&set);
    pipe->RemoveSpaceListener(&set);
    pipe->RemoveSpaceListener(&set);
    ReaderPtr reader = MakeReader(*pipe);
    ASSERT_NE(Write(*pipe, 8, 8), nullptr);
    reader->Next(0);
    reader->Next(0);
    EXPECT_TRUE(log.Take().empty());
}

// ---- counts, sequence and readers -------------------------------------

TEST(BufferPipeFlow, CountsRiseAtAllocationAndCommitAndFallAtGiveBack) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    struct Step {
        unsigned long size;
        std::uint32_t length;
    } const steps[] = {{100, 60}, {7, 7}, {300, 0}, {64, 64}};
    std::vector<BufferPipeBlock*> blocks;
    unsigned long allocated = 0, committed = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        BufferPipeBlock* block = pipe->AllocBlock(steps[i].size, 0, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(Word(block, kSequence), i);
        allocated += steps[i].size;
        EXPECT_EQ(pipe->GetAllocatedBytes(), allocated);
        EXPECT_EQ(pipe->GetCommittedBytes(), committed);
        SetLength(block, steps[i].length);
        pipe->CommitBlock(block);
        committed += steps[i].length;
        EXPECT_EQ(pipe->GetCommittedBytes(), committed);
        EXPECT_EQ(Word(block, kBusy), 0u);
        EXPECT_EQ(Word(block, kReadersLeft), 1u);
        blocks.push_back(block);
    }
    for (std::uint32_t i = 0; i < 4; ++i) {
        reader->Next(0);
        ASSERT_EQ(reader->GetBlock(), blocks[i]);
        if (i > 0) {  // the block before has been given back
            allocated -= steps[i - 1].size;
            committed -= steps[i - 1].length;
        }
        EXPECT_EQ(pipe->GetAllocatedBytes(), allocated);
        EXPECT_EQ(pipe->GetCommittedBytes(), committed);
    }
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), nullptr);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
}

TEST(BufferPipeFlow, TwoReadersSeeEveryBlockAndSpaceReturnsAfterBoth) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    std::vector<BufferPipeBlock*> blocks;
    for (unsigned char i = 0; i < 3; ++i) blocks.push_back(Write(*pipe, 32, 32, i));
    ASSERT_EQ(pipe->GetAllocatedBytes(), 96u);
    ReaderPtr first = MakeReader(*pipe);
    ReaderPtr second = MakeReader(*pipe);
    EXPECT_EQ(Word(blocks[0], kReadersLeft), 2u);
    for (int i = 0; i < 3; ++i) {
        first->Next(0);
        ASSERT_EQ(first->GetBlock(), blocks[i]);
        EXPECT_EQ(DataOf(first->GetBlock())[31], i);
    }
    first->Next(0);
    EXPECT_EQ(first->GetBlock(), nullptr);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 96u);  // the second reader holds them all
    for (int i = 0; i < 3; ++i) {
        second->Next(0);
        ASSERT_EQ(second->GetBlock(), blocks[i]);
        EXPECT_EQ(pipe->GetAllocatedBytes(), 96u - 32u * i);
    }
    second->Next(0);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
}

TEST(BufferPipeFlow, ReaderDoesNotMoveOntoABlockStillBeingWritten) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), nullptr);  // empty pipe
    BufferPipeBlock* block = pipe->AllocBlock(16, 0, 0);
    ASSERT_NE(block, nullptr);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), nullptr);
    pipe->CommitBlock(block);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), block);
    // The same between two blocks: the reader leaves the first and waits before the second.
    BufferPipeBlock* next = pipe->AllocBlock(16, 0, 0);
    ASSERT_NE(next, nullptr);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), nullptr);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 16u);  // the first has been given back
    pipe->CommitBlock(next);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), next);
}

TEST(BufferPipeFlow, BlocksCommittedOutOfOrderAreReadInAllocationOrder) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    BufferPipeBlock* first = pipe->AllocBlock(16, 0, 0);
    BufferPipeBlock* second = pipe->AllocBlock(16, 0, 0);
    ASSERT_TRUE(first && second);
    pipe->CommitBlock(second);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), nullptr);
    pipe->CommitBlock(first);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), first);
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), second);
}

// Sizes with alignment 1: a block of 100 takes 124 bytes and needs 125 free.
TEST(BufferPipeFlow, PlacementWrapsToTheStartAndRefusesWhenTheGapIsTooSmall) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_NE(pipe, nullptr);
    ASSERT_EQ(pipe->GetBufferSize(), 1000u);
    ReaderPtr reader = MakeReader(*pipe);
    std::vector<BufferPipeBlock*> blocks;
    for (int i = 0; i < 8; ++i) {
        blocks.push_back(Write(*pipe, 100, 100));
        ASSERT_NE(blocks.back(), nullptr) << i;
        EXPECT_EQ(Address(blocks.back()), Address(blocks[0]) + 124u * i);
    }
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 992 + 125 passes the end; no room before block 0
    EXPECT_EQ(pipe->GetAllocatedBytes(), 800u);
    reader->Next(0);
    reader->Next(0);
    reader->Next(0);  // blocks 0 and 1 given back: the oldest now starts at 248
    ASSERT_EQ(reader->GetBlock(), blocks[2]);
    BufferPipeBlock* wrapped = Write(*pipe, 100, 100);
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(wrapped, blocks[0]);                     // placed at the start again
    EXPECT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);  // 124 + 125 is not below 248
    EXPECT_EQ(pipe->AllocBlock(99, 0, 0), nullptr);   // nor 124 + 124
    EXPECT_NE(pipe->AllocBlock(98, 0, 0), nullptr);   // 124 + 123 is
    EXPECT_EQ(Word(wrapped, kSequence), 8u);
    // The reader follows the chain across the wrap.
    for (int i = 3; i < 8; ++i) {
        reader->Next(0);
        ASSERT_EQ(reader->GetBlock(), blocks[i]);
    }
    reader->Next(0);
    EXPECT_EQ(reader->GetBlock(), wrapped);
}

TEST(BufferPipeFlow, AnEmptiedRingPlacesTheNextBlockAtTheStart) {
    PipePtr pipe = MakePipe(4096, 4, 64);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    BufferPipeBlock* first = Write(*pipe, 100, 10);
    BufferPipeBlock* second = Write(*pipe, 100, 10);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    reader->Next(0);
    reader->Next(0);
    reader->Next(0);
    ASSERT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_EQ(Write(*pipe, 100, 10), first);
}

TEST(BufferPipeFlow, WithoutReadersBlocksStayUntilAReaderPassesThem) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_NE(pipe, nullptr);
    std::vector<BufferPipeBlock*> blocks;
    for (BufferPipeBlock* b; (b = Write(*pipe, 100, 100, static_cast<unsigned char>(blocks.size()))) != nullptr;)
        blocks.push_back(b);
    ASSERT_EQ(blocks.size(), 8u);
    EXPECT_EQ(Word(blocks[0], kReadersLeft), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 800u);
    ReaderPtr reader = MakeReader(*pipe);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(Word(blocks[i], kReadersLeft), 1u);
        reader->Next(0);
        ASSERT_EQ(reader->GetBlock(), blocks[i]);
        EXPECT_EQ(DataOf(reader->GetBlock())[0], i);
    }
    reader->Next(0);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
}

TEST(BufferPipeFlow, ReaderMadeMidStreamStartsAtTheOldestBlockStillThere) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr early = MakeReader(*pipe);
    std::vector<BufferPipeBlock*> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back(Write(*pipe, 16, 16));
    early->Next(0);
    early->Next(0);
    early->Next(0);  // blocks 0 and 1 given back
    BufferPipeBlock* busy = pipe->AllocBlock(16, 0, 0);
    ASSERT_NE(busy, nullptr);
    ReaderPtr late = MakeReader(*pipe);
    // Counted in every block still in the pipe, the busy one too.
    EXPECT_EQ(Word(blocks[2], kReadersLeft), 2u);
    EXPECT_EQ(Word(blocks[3], kReadersLeft), 2u);
    EXPECT_EQ(Word(busy, kReadersLeft), 2u);
    late->Next(0);
    EXPECT_EQ(late->GetBlock(), blocks[2]);
    late->Next(0);
    EXPECT_EQ(late->GetBlock(), blocks[3]);
    late->Next(0);
    EXPECT_EQ(late->GetBlock(), nullptr);
    pipe->CommitBlock(busy);
    late->Next(0);
    EXPECT_EQ(late->GetBlock(), busy);
}

TEST(BufferPipeFlow, DestroyedReaderGivesBackItsClaimOnBlocksAhead) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr stays = MakeReader(*pipe);
    ReaderPtr goes = MakeReader(*pipe);
    for (int i = 0; i < 3; ++i) Write(*pipe, 16, 16);
    goes->Next(0);  // on block 0
    goes.reset();
    EXPECT_EQ(pipe->GetAllocatedBytes(), 48u);
    for (int i = 0; i < 3; ++i) {
        stays->Next(0);
        ASSERT_NE(stays->GetBlock(), nullptr);
    }
    stays->Next(0);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
}

// Two writers: the reader stops before the first writer's block while the
// second writer's later block is already committed and counts the reader.
TEST(BufferPipeFlow, ReaderDestroyedBeforeABusyBlockReleasesTheCommittedBlocksBehindIt) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr goes = MakeReader(*pipe);
    BufferPipeBlock* slow = pipe->AllocBlock(16, 0, 0);
    BufferPipeBlock* quick = pipe->AllocBlock(32, 0, 0);
    ASSERT_TRUE(slow && quick);
    pipe->CommitBlock(quick);
    EXPECT_EQ(Word(quick, kReadersLeft), 1u);
    goes.reset();
    EXPECT_EQ(Word(quick, kReadersLeft), 0u);
    pipe->CommitBlock(slow);
    ReaderPtr comes = MakeReader(*pipe);
    comes->Next(0);
    EXPECT_EQ(comes->GetBlock(), slow);
    comes->Next(0);
    EXPECT_EQ(comes->GetBlock(), quick);
    comes->Next(0);
    EXPECT_EQ(comes->GetBlock(), nullptr);
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
}

TEST(BufferPipeFlow, ReaderProgressFollowsItsPlaceAmongTheBlocksInThePipe) {
    PipePtr pipe = MakePipe(1 << 14, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr slow = MakeReader(*pipe);  // holds block 0 and so the first sequence at 0
    ReaderPtr fast = MakeReader(*pipe);
    CAbstractBufferPipeReader* raw = fast.get();
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);  // a reader that has not moved
    for (int i = 0; i < 4; ++i) Write(*pipe, 16, 16);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);  // not yet moved
    fast->Next(0);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);  // on block 0, left none
    fast->Next(0);
    fast->Next(0);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 25u);  // left block 1 of 0..3
    fast->Next(0);
    fast->Next(0);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 75u);  // left block 3, the newest
    Write(*pipe, 16, 16);
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 60u);  // 3 of 0..4
    slow->Next(0);
    slow->Next(0);
    slow->Next(0);  // gives back 0 and 1: blocks 2..4 remain
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 33u);  // (3 - 2) * 100 / 3
    slow.reset();  // gives back 2 and 3: only block 4 remains, behind the fast reader
    EXPECT_EQ(pipe->GetReaderProgress(&raw), 0u);
}

// ---- listeners ---------------------------------------------------------

TEST(BufferPipeListeners, DataListenersAreSignalledInOrderOncePerEntryAtEachCommit) {
    RecordingSignals::Log log;
    RecordingSignals one(log, 1), two(log, 2);
    PipePtr pipe = MakePipe(4096, 0, 4);
    ASSERT_NE(pipe, nullptr);
    pipe->AddDataListener(&one, 1);
    pipe->AddDataListener(&two, 4);
    pipe->AddDataListener(&one, 8);  // the same set twice: both entries count
    ReaderPtr reader = MakeReader(*pipe);
    BufferPipeBlock* block = pipe->AllocBlock(8, 0, 0);
    EXPECT_TRUE(log.Take().empty());  // nothing at allocation
    pipe->CommitBlock(block);
    using Calls = std::vector<std::pair<int, unsigned long>>;
    EXPECT_EQ(log.Take(), (Calls{{1, 1}, {2, 4}, {1, 8}}));
    reader->Next(0);
    reader->Next(0);  // give-back: not a data event
    EXPECT_TRUE(log.Take().empty());
    pipe->RemoveDataListener(&one);  // removes both of its entries
    Write(*pipe, 8, 8);
    EXPECT_EQ(log.Take(), (Calls{{2, 4}}));
}

TEST(BufferPipeListeners, SpaceListenersAreSignalledAtEachGiveBackOnly) {
    RecordingSignals::Log log;
    RecordingSignals one(log, 1), two(log, 2);
    PipePtr pipe = MakePipe(4096, 0, 4);
    ASSERT_NE(pipe, nullptr);
    pipe->AddSpaceListener(&one, 2);
    pipe->AddSpaceListener(&two, 16);
    ReaderPtr first = MakeReader(*pipe);
    ReaderPtr second = MakeReader(*pipe);
    Write(*pipe, 8, 8);
    Write(*pipe, 8, 8);
    EXPECT_TRUE(log.Take().empty());
    first->Next(0);
    first->Next(0);
    second->Next(0);
    EXPECT_TRUE(log.Take().empty());  // the second reader still has to pass block 0
    second->Next(0);
    using Calls = std::vector<std::pair<int, unsigned long>>;
    EXPECT_EQ(log.Take(), (Calls{{1, 2}, {2, 16}}));
    pipe->RemoveSpaceListener(&one);
    first->Next(0);
    second->Next(0);  // block 1 given back
    EXPECT_EQ(log.Take(), (Calls{{2, 16}}));
}

TEST(BufferPipeListeners, RealSignalSetsReceiveTheirMasks) {
    SignalsPtr data(CreateZelkSignals());
    SignalsPtr space(CreateZelkSignals());
    PipePtr pipe = MakePipe(4096, 0, 4);
    ASSERT_NE(pipe, nullptr);
    pipe->AddDataListener(data.get(), 0x10);
    pipe->AddSpaceListener(space.get(), 0x80000000ul);
    ReaderPtr reader = MakeReader(*pipe);
    Write(*pipe, 8, 8);
    EXPECT_EQ(data->GetSignals(), 0x10u);
    EXPECT_EQ(space->GetSignals(), 0u);
    reader->Next(0);
    reader->Next(0);
    EXPECT_EQ(space->GetSignals(), 0x80000000ul);
    pipe->RemoveDataListener(data.get());
    pipe->RemoveSpaceListener(space.get());
}

}  // namespace
