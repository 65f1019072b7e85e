// Buffer pipe under load: several writers and readers on one small ring,
// readers coming and going mid-stream, listeners added and removed while
// blocks are committed.  Every block carries its writer, its number and a
// checksum; readers check that nothing is lost, doubled, reordered or
// damaged, and at the end every byte must have been given back.
//
// The counts are small enough for ThreadSanitizer builds, and Wine (where
// every semaphore operation visits the wine server), to finish in seconds;
// nothing here measures time.
#include "buffer_pipe_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

using namespace pipetest;

namespace {

constexpr int kPrefix = 8;
constexpr std::uint32_t kRecordBytes = 12;  // writer, number, checksum

// A stamp at the data byte after the prefix, then bytes that depend on it.
struct Record {
    std::uint32_t writer;
    std::uint32_t number;
    std::uint32_t checksum;
};

unsigned char PayloadByte(std::uint32_t writer, std::uint32_t number, std::uint32_t i) {
    return static_cast<unsigned char>(writer * 131u + number * 7u + i * 31u + (i >> 8));
}

std::uint32_t Checksum(unsigned char const* bytes, std::uint32_t count) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (std::uint32_t i = 0; i < count; ++i) h = (h ^ bytes[i]) * 16777619u;
    return h;
}

// Fills an allocated block and commits it.
void FillAndCommit(CAbstractBufferPipe& pipe, BufferPipeBlock* block, std::uint32_t writer, std::uint32_t number,
                   std::uint32_t payload) {
    unsigned char* data = DataOf(block) + kPrefix;
    for (std::uint32_t i = 0; i < payload; ++i) data[kRecordBytes + i] = PayloadByte(writer, number, i);
    Record const record{writer, number, Checksum(data + kRecordBytes, payload)};
    std::memcpy(data, &record, sizeof record);
    SetLength(block, kPrefix + kRecordBytes + payload);
    pipe.CommitBlock(block);
}

// Collects the first few failures from any thread; the main thread reports.
struct Faults {
    std::atomic<int> count{0};
    std::mutex mutex;
    std::string first;
    void Add(std::string const& what) {
        if (count++ == 0) {
            std::lock_guard<std::mutex> lock(mutex);
            first = what;
        }
    }
};

// Checks one block as a reader sees it; `expectedSequence` is the pipe's own
// number for the block, `nextNumber` the next number expected per writer.
void CheckBlock(BufferPipeBlock* block, std::uint32_t expectedSequence, std::vector<std::uint32_t>* nextNumber,
                Faults& faults) {
    std::uint32_t const sequence = Word(block, kSequence);
    if (sequence != expectedSequence) {
        faults.Add("block " + std::to_string(sequence) + " where " + std::to_string(expectedSequence) + " was due");
        return;
    }
    std::uint32_t const length = Word(block, kLength);
    if (length < kPrefix + kRecordBytes || length > Word(block, kSize)) {
        faults.Add("bad length " + std::to_string(length));
        return;
    }
    unsigned char const* data = DataOf(block) + kPrefix;
    Record record;
    std::memcpy(&record, data, sizeof record);
    std::uint32_t const payload = length - kPrefix - kRecordBytes;
    if (Checksum(data + kRecordBytes, payload) != record.checksum) faults.Add("damaged block " + std::to_string(sequence));
    for (std::uint32_t i = 0; i < payload; ++i)
        if (data[kRecordBytes + i] != PayloadByte(record.writer, record.number, i)) {
            faults.Add("wrong bytes in block " + std::to_string(sequence));
            break;
        }
    if (nextNumber) {
        if (record.writer >= nextNumber->size()) {
            faults.Add("unknown writer " + std::to_string(record.writer));
        } else if (record.number != (*nextNumber)[record.writer]++) {
            faults.Add("writer " + std::to_string(record.writer) + " block " + std::to_string(record.number) +
                       " out of turn");
        }
    }
}

TEST(BufferPipeStress, WritersAndReadersOnASmallRingLoseNothing) {
    constexpr std::uint32_t kWriters = 3;
    constexpr int kReaders = 3;
    constexpr std::uint32_t kBlocksEach = 1500;
    PipePtr pipe = MakePipe(4096, kPrefix, 16);  // small: writers and readers wait often
    ASSERT_NE(pipe, nullptr);
    std::vector<ReaderPtr> readers;
    for (int i = 0; i < kReaders; ++i) readers.push_back(MakeReader(*pipe));
    Faults faults;
    std::vector<std::thread> threads;
    for (int r = 0; r < kReaders; ++r)
        threads.emplace_back([&, r] {
            CAbstractBufferPipeReader& reader = *readers[r];
            std::vector<std::uint32_t> nextNumber(kWriters, 0);
            for (std::uint32_t seen = 0; seen < kWriters * kBlocksEach;) {
                // One reader polls; the others wait.
                if (r == 0) {
                    reader.Next(0);
                    if (!reader.GetBlock()) {
                        std::this_thread::yield();
                        continue;
                    }
                } else {
                    reader.Next(1);
                    if (!reader.GetBlock()) {
                        faults.Add("Next(1) returned between blocks");
                        return;
                    }
                }
                CheckBlock(reader.GetBlock(), seen++, &nextNumber, faults);
            }
        });
    for (std::uint32_t w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            std::minstd_rand random(w + 1);
            for (std::uint32_t n = 0; n < kBlocksEach; ++n) {
                std::uint32_t const size = kPrefix + kRecordBytes + random() % 600;
                BufferPipeBlock* block = pipe->AllocBlock(size, 1, 0);
                if (!block) {
                    faults.Add("AllocBlock(size, 1, 0) returned null");
                    return;
                }
                FillAndCommit(*pipe, block, w, n, static_cast<std::uint32_t>(random() % (size - kPrefix - kRecordBytes + 1)));
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(faults.count, 0) << faults.first;
    readers.clear();
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
}

// Two writers commit out of order; short-lived readers join and leave at any
// point (between blocks, on a block, before a block still being written).
// The resident reader keeps the ring moving.
TEST(BufferPipeStress, ReadersComingAndGoingGiveEveryBlockBack) {
    constexpr std::uint32_t kWriters = 2;
    constexpr std::uint32_t kBlocksEach = 2000;
    PipePtr pipe = MakePipe(8192, kPrefix, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr resident = MakeReader(*pipe);
    Faults faults;
    std::atomic<std::uint32_t> writersDone{0};
    std::atomic<std::uint32_t> visitors{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        std::vector<std::uint32_t> nextNumber(kWriters, 0);
        for (std::uint32_t seen = 0; seen < kWriters * kBlocksEach; ++seen) {
            resident->Next(1);
            CheckBlock(resident->GetBlock(), seen, &nextNumber, faults);
        }
    });
    for (int v = 0; v < 2; ++v)
        threads.emplace_back([&, v] {
            std::minstd_rand random(100 + v);
            while (writersDone < kWriters) {
                ReaderPtr visitor = MakeReader(*pipe);
                ++visitors;
                std::uint32_t const stay = random() % 40;
                std::uint32_t expected = 0;
                bool first = true;
                for (std::uint32_t i = 0; i < stay && writersDone < kWriters; ++i) {
                    visitor->Next(0);
                    BufferPipeBlock* block = visitor->GetBlock();
                    if (!block) {
                        std::this_thread::yield();
                        continue;
                    }
                    // A visitor starts anywhere, then sees every later block in turn.
                    if (first) expected = Word(block, kSequence);
                    first = false;
                    CheckBlock(block, expected++, nullptr, faults);
                }
            }
        });
    for (std::uint32_t w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            std::minstd_rand random(w + 7);
            for (std::uint32_t n = 0; n < kBlocksEach; ++n) {
                std::uint32_t const size = kPrefix + kRecordBytes + random() % 300;
                BufferPipeBlock* block = pipe->AllocBlock(size, 1, 0);
                if (!block) {
                    faults.Add("AllocBlock(size, 1, 0) returned null");
                    break;
                }
                if (random() % 4 == 0) std::this_thread::yield();  // let the other writer commit first
                FillAndCommit(*pipe, block, w, n, random() % (size - kPrefix - kRecordBytes + 1));
            }
            ++writersDone;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(faults.count, 0) << faults.first;
    EXPECT_GT(visitors, 0u);
    resident.reset();
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
    EXPECT_EQ(pipe->GetCommittedBytes(), 0u);
}

// Sets are deleted right after their removal while commits and give-backs
// go on: a commit still walking a removed set would touch freed memory,
// which the sanitizer builds report.
TEST(BufferPipeStress, ListenersAddedAndRemovedDuringCommits) {
    constexpr std::uint32_t kBlocks = 3000;
    PipePtr pipe = MakePipe(4096, 0, 8);
    ASSERT_NE(pipe, nullptr);
    ReaderPtr reader = MakeReader(*pipe);
    SignalsPtr steady(CreateZelkSignals());
    pipe->AddDataListener(steady.get(), 1);
    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> rounds{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (std::uint32_t n = 0; n < kBlocks; ++n) {
            BufferPipeBlock* block = pipe->AllocBlock(16, 1, 0);
            SetLength(block, 16);
            pipe->CommitBlock(block);
        }
    });
    threads.emplace_back([&] {
        for (std::uint32_t n = 0; n < kBlocks; ++n) reader->Next(1);
        stop = true;
    });
    for (int c = 0; c < 2; ++c)
        threads.emplace_back([&, c] {
            while (!stop) {
                SignalsPtr set(CreateZelkSignals());
                if (c == 0) {
                    pipe->AddDataListener(set.get(), 4);
                    pipe->AddDataListener(set.get(), 8);
                    pipe->RemoveDataListener(set.get());
                } else {
                    pipe->AddSpaceListener(set.get(), 4);
                    std::this_thread::yield();
                    pipe->RemoveSpaceListener(set.get());
                }
                set.reset();
                ++rounds;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_GT(rounds, 0u);
    EXPECT_NE(steady->GetSignals() & 1u, 0u);
    pipe->RemoveDataListener(steady.get());
    reader.reset();
    EXPECT_EQ(pipe->GetAllocatedBytes(), 0u);
}

}  // namespace
