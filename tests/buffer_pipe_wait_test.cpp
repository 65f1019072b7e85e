// Buffer pipe: writers waiting for space and readers waiting for data wake
// when they should, all of them, and not before.
//
// "Not before" is checked by letting a waiter run for a while first: a
// waiter that returned without cause would be seen; one that correctly
// blocks is never reported wrongly, however slow the machine.
#include "buffer_pipe_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace pipetest;

namespace {

using namespace std::chrono_literals;

// Polls `done` until it holds or a generous limit passes.
bool WaitUntil(std::function<bool()> const& done, std::chrono::seconds limit = 20s) {
    auto const end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(BufferPipeWait, ReaderWaitingInNextResumesWhenABlockIsCommitted) {
    PipePtr pipe = MakePipe(4096, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    std::atomic<bool> done{false};
    BufferPipeBlock* seen = nullptr;
    std::thread waiter([&] {
        reader->Next(1);
        seen = reader->GetBlock();
        done = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(done);  // nothing committed yet
    BufferPipeBlock* block = pipe->AllocBlock(16, 0, 0);
    ASSERT_NE(block, nullptr);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(done);  // allocated is not enough
    pipe->CommitBlock(block);
    waiter.join();
    EXPECT_EQ(seen, block);
}

TEST(BufferPipeWait, EveryWaitingReaderWakesOnOneCommit) {
    constexpr int kReaders = 3;
    PipePtr pipe = MakePipe(4096, 0, 8);
    ASSERT_NE(pipe, nullptr);
    std::vector<ReaderPtr> readers;
    for (int i = 0; i < kReaders; ++i) readers.push_back(MakeReader(*pipe));
    std::atomic<int> done{0};
    std::vector<BufferPipeBlock*> seen(kReaders, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kReaders; ++i)
        threads.emplace_back([&, i] {
            readers[i]->Next(1);
            seen[i] = readers[i]->GetBlock();
            ++done;
        });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done, 0);
    BufferPipeBlock* block = Write(*pipe, 16, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return done == kReaders; })) << done << " of " << kReaders << " readers woke";
    // Should some stay asleep, further commits let them go so the test ends.
    while (done != kReaders) {
        Write(*pipe, 16, 16);
        WaitUntil([&] { return done == kReaders; }, 1s);
    }
    for (std::thread& t : threads) t.join();
    for (BufferPipeBlock* b : seen) EXPECT_EQ(b, block);
}

TEST(BufferPipeWait, WriterWaitingForSpaceResumesWhenAReaderGivesABlockBack) {
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    while (Write(*pipe, 100, 100)) {}
    std::atomic<bool> done{false};
    std::thread writer([&] {
        BufferPipeBlock* block = pipe->AllocBlock(100, 1, 0);
        if (block) pipe->CommitBlock(block);
        done = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(done);
    reader->Next(0);  // onto block 0: nothing given back yet
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(done);
    reader->Next(0);  // block 0 given back: 124 bytes free, 125 needed
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(done);
    reader->Next(0);  // block 1 given back
    writer.join();
    EXPECT_EQ(pipe->GetAllocatedBytes(), 700u);
}

// With alignment 1: a 400-byte block takes 424 bytes, a 100-byte one 124 and
// needs 125 free.  Giving back the 400-byte block makes room for three.
TEST(BufferPipeWait, EveryWaitingWriterWakesOnOneGiveBack) {
    constexpr int kWriters = 3;
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    ASSERT_NE(Write(*pipe, 400, 400), nullptr);
    for (int i = 0; i < 4; ++i) ASSERT_NE(Write(*pipe, 100, 100), nullptr);
    ASSERT_EQ(pipe->AllocBlock(100, 0, 0), nullptr);
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kWriters; ++i)
        threads.emplace_back([&] {
            BufferPipeBlock* block = pipe->AllocBlock(100, 1, 0);
            if (block) {
                SetLength(block, 1);
                pipe->CommitBlock(block);
            }
            ++done;
        });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done, 0);
    reader->Next(0);
    reader->Next(0);  // gives back the 400-byte block
    EXPECT_TRUE(WaitUntil([&] { return done == kWriters; })) << done << " of " << kWriters << " writers woke";
    while (done != kWriters) {  // free more room so the test ends either way
        reader->Next(0);
        WaitUntil([&] { return done == kWriters; }, 1s);
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(pipe->GetCommittedBytes(), 400u + kWriters);  // blocks 1 to 4 and the three new ones
}

TEST(BufferPipeWait, ThreadWaitingOnADataListenerWakesAtCommit) {
    SignalsPtr set(CreateZelkSignals());
    PipePtr pipe = MakePipe(4096, 0, 8);
    ASSERT_NE(pipe, nullptr);
    pipe->AddDataListener(set.get(), 2);
    std::atomic<unsigned long> got{0};
    std::thread waiter([&] { got = set->Wait(2); });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(got, 0u);
    Write(*pipe, 8, 8);
    waiter.join();
    EXPECT_EQ(got, 2u);
    pipe->RemoveDataListener(set.get());
}

}  // namespace
