// Buffer pipe under load: writers on one small ring committing out of
// order, resident readers that poll or wait, a visitor reader that comes
// and goes mid-stream, and listeners added and removed meanwhile.  Every block carries its writer and number and bytes derived
// from them; readers check that nothing is lost, doubled, reordered or
// damaged, and at the end every byte must have been given back.
//
// The counts are small enough for ThreadSanitizer builds, and Wine (where
// every semaphore operation visits the wine server), to finish in seconds;
// nothing here measures time.
#include "buffer_pipe_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

using namespace pipetest;

namespace {

constexpr int kPrefix = 8;
constexpr std::uint32_t kStampBytes = 8;  // writer, number

unsigned char PayloadByte(std::uint32_t writer, std::uint32_t number, std::uint32_t i) {
    return static_cast<unsigned char>(writer * 131u + number * 7u + i * 31u + (i >> 8));
}

void FillAndCommit(CAbstractBufferPipe& pipe, BufferPipeBlock* block, std::uint32_t writer, std::uint32_t number,
                   std::uint32_t payload) {
    unsigned char* data = DataOf(block) + kPrefix;
    std::uint32_t const stamp[2] = {writer, number};
    std::memcpy(data, stamp, kStampBytes);
    for (std::uint32_t i = 0; i < payload; ++i) data[kStampBytes + i] = PayloadByte(writer, number, i);
    SetLength(block, kPrefix + kStampBytes + payload);
    pipe.CommitBlock(block);
}

// Keeps the first failure seen by any thread; the main thread reports it.
struct Faults {
    std::mutex mutex;
    std::string first;
    int count = 0;
    void Add(std::string const& what) {
        std::lock_guard<std::mutex> lock(mutex);
        if (count++ == 0) first = what;
    }
};

// Checks a block as a reader sees it: the pipe's number for it, its length
// and bytes and, for a reader that sees every block, each writer's turn.
void Check(BufferPipeBlock* block, std::uint32_t sequence, std::vector<std::uint32_t>* nextNumber, Faults& faults) {
    std::string const where = " in block " + std::to_string(sequence);
    std::uint32_t const length = Word(block, kLength);
    if (Word(block, kSequence) != sequence) return faults.Add("another block" + where);
    if (length < kPrefix + kStampBytes || length > Word(block, kSize)) return faults.Add("bad length" + where);
    unsigned char const* data = DataOf(block) + kPrefix;
    std::uint32_t stamp[2];
    std::memcpy(stamp, data, kStampBytes);
    for (std::uint32_t i = 0; i < length - kPrefix - kStampBytes; ++i)
        if (data[kStampBytes + i] != PayloadByte(stamp[0], stamp[1], i)) return faults.Add("wrong bytes" + where);
    if (nextNumber && (stamp[0] >= nextNumber->size() || stamp[1] != (*nextNumber)[stamp[0]]++))
        faults.Add("out of turn" + where);
}

TEST(BufferPipeStress, WritersAndReadersOnASmallRingLoseNothing) {
    constexpr std::uint32_t kWriters = 3;
    constexpr std::uint32_t kBlocksEach = 1200;
    PipePtr pipe = MakePipe(4096, kPrefix, 16);  // small: writers and readers wait often
    ASSERT_NE(pipe, nullptr);
    std::vector<ReaderPtr> residents;
    for (int i = 0; i < 2; ++i) residents.push_back(MakeReader(*pipe));
    Faults faults;
    std::atomic<std::uint32_t> writersDone{0};
    std::atomic<std::uint32_t> visits{0};
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&, r] {
            CAbstractBufferPipeReader& reader = *residents[r];
            std::vector<std::uint32_t> nextNumber(kWriters, 0);
            for (std::uint32_t seen = 0; seen < kWriters * kBlocksEach;) {
                reader.Next(r);  // the first polls, the second waits
                if (BufferPipeBlock* block = reader.GetBlock()) {
                    Check(block, seen++, &nextNumber, faults);
                } else if (r == 0) {
                    std::this_thread::yield();
                } else {
                    faults.Add("Next(1) returned between blocks");
                }
            }
        });
    // Joins and leaves at any point: between blocks, on a block, before a
    // block still being written; starts anywhere, then sees every block.
    threads.emplace_back([&] {
        std::minstd_rand random(100);
        while (writersDone < kWriters) {
            ReaderPtr visitor = MakeReader(*pipe);
            ++visits;
            std::uint32_t expected = 0;
            bool first = true;
            for (auto stay = random() % 40; stay > 0 && writersDone < kWriters; --stay) {
                visitor->Next(0);
                BufferPipeBlock* block = visitor->GetBlock();
                if (!block) {
                    std::this_thread::yield();
                    continue;
                }
                if (std::exchange(first, false)) expected = Word(block, kSequence);
                Check(block, expected++, nullptr, faults);
            }
        }
    });
    // Sets are deleted right after their removal while commits and
    // give-backs go on: a walk still reaching a removed set would touch freed
    // memory, which the sanitizer builds report.
    SignalsPtr steady(CreateZelkSignals());
    pipe->AddDataListener(steady.get(), 1);
    threads.emplace_back([&] {
        for (bool data = true; writersDone < kWriters; data = !data) {
            SignalsPtr set(CreateZelkSignals());
            if (data) {
                pipe->AddDataListener(set.get(), 4);
                pipe->AddDataListener(set.get(), 8);
                pipe->RemoveDataListener(set.get());
            } else {
                pipe->AddSpaceListener(set.get(), 4);
                std::this_thread::yield();
                pipe->RemoveSpaceListener(set.get());
            }
        }
    });
    for (std::uint32_t w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            std::minstd_rand random(w + 1);
            for (std::uint32_t n = 0; n < kBlocksEach; ++n) {
                std::uint32_t const size = kPrefix + kStampBytes + random() % 400;
                BufferPipeBlock* block = pipe->AllocBlock(size, 1, 0);
                if (!block) {
                    faults.Add("AllocBlock(size, 1, 0) returned null");
                    break;
                }
                if (random() % 4 == 0) std::this_thread::yield();  // let another writer commit first
                FillAndCommit(*pipe, block, w, n, random() % (size - kPrefix - kStampBytes + 1));
            }
            ++writersDone;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(faults.count, 0) << faults.first;
    EXPECT_GT(visits, 0u);
    EXPECT_NE(steady->GetSignals() & 1u, 0u);
    pipe->RemoveDataListener(steady.get());
    residents.clear();
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
}

}  // namespace
