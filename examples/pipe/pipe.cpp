// A producer and two consumers on a buffer pipe.  The producer asks the pipe
// for a block, fills it in place and commits it; every consumer reads every
// block, in order, in place; a block's space returns to the ring once both
// have moved past it.  A committed block of length 0 ends the stream.
#include <zelk/zelkerr.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

int const kRecords = 500;

class Producer : public CAbstractRunnable {
public:
    explicit Producer(CAbstractBufferPipe& pipe) : m_pipe(pipe) {}
    unsigned long Run() override {
        for (int i = 1; i <= kRecords + 1; ++i) {
            // Waits while the ring is full, until the consumers give space back.
            BufferPipeBlock* block = m_pipe.AllocBlock(64, 1, 0);
            if (block == nullptr) return 1;  // 64 bytes can never fit: the ring is too small
            block->length = 0;  // the last block, empty, ends the stream
            if (i <= kRecords) {
                int const n = std::snprintf(reinterpret_cast<char*>(block->Data()), block->size, "record %d", i);
                block->length = static_cast<std::uint32_t>(n);
            }
            m_pipe.CommitBlock(block);  // now the readers can reach it
        }
        return 0;
    }
    char const* GetName() override { return "producer"; }

private:
    CAbstractBufferPipe& m_pipe;
};

class Consumer : public CAbstractRunnable {
public:
    Consumer(char const* name, CAbstractBufferPipeReader* reader) : m_name(name), m_reader(reader) {}
    unsigned long Run() override {
        for (;;) {
            m_reader->Next(1);  // gives the last block back and waits for the next one
            BufferPipeBlock const* block = m_reader->GetBlock();
            if (block->length == 0) break;
            // The block stays in place and unchanged until this reader moves on.
            char const* text = reinterpret_cast<char const*>(block->Data());
            if (std::strncmp(text, "record ", 7) != 0) ++bad;
            if ((reinterpret_cast<std::uintptr_t>(block->Data()) % 16) != 0) ++bad;
            bytes += block->length;
            ++records;
        }
        // Destroying the reader gives back its claim on the end block; a
        // pipe's readers must all be gone before the pipe.
        m_reader.reset();
        return 0;
    }
    char const* GetName() override { return m_name; }

    unsigned long records = 0, bytes = 0, bad = 0;  // read by the main thread after the join

private:
    char const* m_name;
    std::unique_ptr<CAbstractBufferPipeReader> m_reader;
};

int main() {
    // A 4 KiB ring, no prefix, every block's data on a 16-byte boundary.
    std::unique_ptr<CAbstractBufferPipe> pipe(CreateZelkBufferPipe(4096, 0, 16));
    if (!pipe) return 1;
    // Readers made now see every block committed from here on.
    Consumer consumers[2] = {{"consumer 1", pipe->CreateReader()}, {"consumer 2", pipe->CreateReader()}};
    Producer producer(*pipe);

    std::unique_ptr<CAbstractThread> threads[3];
    CAbstractRunnable* runnables[3] = {&consumers[0], &consumers[1], &producer};
    for (int i = 0; i < 3; ++i) {
        threads[i].reset(CreateZelkThread());
        if (!threads[i]->Start(runnables[i])) return 1;
    }
    unsigned long results[3];
    for (int i = 0; i < 3; ++i) results[i] = threads[i]->Join();

    std::printf("producer: %d records through a ring of 4 KiB, exit code %lu\n", kRecords, results[2]);
    for (Consumer& c : consumers)
        std::printf("%s: %lu records, %lu bytes, %lu bad\n", c.GetName(), c.records, c.bytes, c.bad);
    std::printf("still allocated: %lu bytes\n", pipe->GetAllocatedBytes());
    return 0;
}
