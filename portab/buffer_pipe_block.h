// The in-ring layout of a buffer-pipe block: four private 32-bit header
// words, then the two-word descriptor the caller sees, then the data.
//
//   offset  0  next          offset from the ring's base of the block
//                            allocated right after this one, or kNoBlock
//   offset  4  readers left  readers that have yet to move past the block
//   offset  8  busy          1 from allocation until commit, then 0
//   offset 12  sequence      the block's number in allocation order
//   offset 16  size          }  BufferPipeBlock, what writers and
//   offset 20  length        }  readers are handed
//   offset 24  data
//
// "next" is an offset rather than an address so that the header stays 24
// bytes on 64-bit builds, where callers rely on the same layout.
//
// Blocks sit wherever alignment and prefix put them, so a header may start
// on any byte (an alignment below 4 with odd sizes, or a prefix that is not
// a multiple of 4).  The words are therefore read and written through
// memcpy, which compiles to a plain load or store where the platform allows
// it and never relies on the word being aligned.
#pragma once

#include <zelk/portab.h>

#include <cstdint>
#include <cstring>

namespace zelk {

inline constexpr std::uint32_t kBlockHeaderBytes = 24;
inline constexpr std::uint32_t kDescriptorOffset = 16;
static_assert(kBlockHeaderBytes == kDescriptorOffset + sizeof(BufferPipeBlock));

// The "next" value of the newest block.  No block starts at this offset:
// a ring holds fewer than 2^32 bytes.
inline constexpr std::uint32_t kNoBlock = 0xFFFFFFFFu;

enum class BlockWord : std::uint32_t {
    kNext = 0,
    kReadersLeft = 4,
    kBusy = 8,
    kSequence = 12,
    kSize = 16,
    kLength = 20,
};

inline std::uint32_t LoadWord(unsigned char const* block, BlockWord word) noexcept {
    std::uint32_t value;
    std::memcpy(&value, block + static_cast<std::uint32_t>(word), sizeof value);
    return value;
}

inline void StoreWord(unsigned char* block, BlockWord word, std::uint32_t value) noexcept {
    std::memcpy(block + static_cast<std::uint32_t>(word), &value, sizeof value);
}

inline BufferPipeBlock* DescriptorOf(unsigned char* block) noexcept {
    return reinterpret_cast<BufferPipeBlock*>(block + kDescriptorOffset);
}

inline unsigned char* BlockOf(BufferPipeBlock* descriptor) noexcept {
    return reinterpret_cast<unsigned char*>(descriptor) - kDescriptorOffset;
}

}  // namespace zelk
