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
#include <thread>

using namespace pipetest;

namespace {

using namespace std::chrono_literals;

// Starts `count` threads running `body`, each counting itself done, and
// checks that none finishes early.  `release(done)` may check that a first
// step wakes nobody, then must let them all go: one event wakes every
// waiter.  Should some stay asleep, `more` is called until they all ended,
// so that the test fails instead of hanging.
template <typename Body, typename Release, typename More>
void ExpectAllWake(int count, Body body, Release release, More more) {
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back([&, i] {
            body(i);
            ++done;
        });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done, 0) << "woke before the event";
    release(done);
    auto const limit = std::chrono::steady_clock::now() + 20s;
    while (done != count && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(done, count) << "waiters woken by one event";
    while (done != count) {
        more();
        std::this_thread::sleep_for(10ms);
    }
    for (std::thread& t : threads) t.join();
}

// One more thread waits on a host-made signal set added as a data listener.
TEST(BufferPipeWait, EveryReaderWaitingInNextResumesWhenABlockIsCommitted) {
    constexpr int kReaders = 3;
    PipePtr pipe = MakePipe(4096, 0, 8);
    ASSERT_NE(pipe, nullptr);
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
            if (i == kReaders) {
                got = set->Wait(2);
                return;
            }
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
// needs 125 free.  Giving back the 400-byte block makes room for three;
// moving the reader onto it gives nothing back yet.
TEST(BufferPipeWait, EveryWriterWaitingForSpaceResumesWhenAReaderGivesABlockBack) {
    constexpr int kWriters = 3;
    PipePtr pipe = MakePipe(1000, 0, 1);
    ASSERT_NE(pipe, nullptr);
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

}  // namespace
