// Helpers shared by the buffer-pipe tests: owning pointers, block fields
// read through memcpy (a block may start on any byte), the private header
// words that callers may rely on (the 24-byte layout), and a signal set that
// records what it is sent.
#pragma once

#include <zelk/portab.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace pipetest {

using PipePtr = std::unique_ptr<CAbstractBufferPipe>;
using ReaderPtr = std::unique_ptr<CAbstractBufferPipeReader>;
using SignalsPtr = std::unique_ptr<CAbstractSignals>;

inline PipePtr MakePipe(unsigned long size, int prefix, unsigned long alignment) {
    return PipePtr(CreateZelkBufferPipe(size, prefix, alignment));
}

inline ReaderPtr MakeReader(CAbstractBufferPipe& pipe) { return ReaderPtr(pipe.CreateReader()); }

// Header words by their offset from the block's start; the descriptor (what
// the pipe hands out) starts 16 bytes in.
enum HeaderWord : int { kReadersLeft = 4, kBusy = 8, kSequence = 12, kSize = 16, kLength = 20 };

inline std::uint32_t Word(BufferPipeBlock const* block, HeaderWord word) {
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<unsigned char const*>(block) - 16 + word, sizeof value);
    return value;
}

inline void SetLength(BufferPipeBlock* block, std::uint32_t length) {
    std::memcpy(reinterpret_cast<unsigned char*>(block) + 4, &length, sizeof length);
}

// The data bytes, without a member call through a possibly unaligned pointer.
inline unsigned char* DataOf(BufferPipeBlock* block) { return reinterpret_cast<unsigned char*>(block) + 8; }

inline std::uintptr_t Address(void const* p) { return reinterpret_cast<std::uintptr_t>(p); }

// The byte after the prefix: it has to lie on the alignment boundary.
inline std::uintptr_t AlignedByte(BufferPipeBlock const* block, int prefix) {
    return Address(block) + 8 + static_cast<std::uintptr_t>(prefix);
}

// Allocates (without waiting), fills `length` bytes with `fill` and commits.
inline BufferPipeBlock* Write(CAbstractBufferPipe& pipe, unsigned long size, std::uint32_t length,
                              unsigned char fill = 0xA5) {
    BufferPipeBlock* block = pipe.AllocBlock(size, 0, 0);
    if (!block) return nullptr;
    std::memset(DataOf(block), fill, length);
    SetLength(block, length);
    pipe.CommitBlock(block);
    return block;
}

// A host-made signal set that records every Signal into a shared log, so
// tests can check which set was signalled, how often and in what order.
// Used from one thread only.
class RecordingSignals final : public CAbstractSignals {
public:
    using Log = std::vector<std::pair<int, unsigned long>>;  // (set id, mask)
    RecordingSignals(Log& log, int id) : m_log(log), m_id(id) {}
    int AllocSignal() override { return 32; }
    void FreeSignals(unsigned long) override {}
    int AllocSignals(unsigned long) override { return 0; }
    unsigned long GetSignals() override { return 0; }
    unsigned long GetAllocated() override { return 0; }
    void ClearSignals(unsigned long) override {}
    unsigned long Wait(unsigned long) override { return 0; }
    void Signal(unsigned long mask) override { m_log.emplace_back(m_id, mask); }

private:
    Log& m_log;
    int m_id;
};

}  // namespace pipetest
