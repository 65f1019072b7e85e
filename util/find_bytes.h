// The first occurrence of a run of bytes in a text, in time linear in both
// lengths whatever the input: BinChar::iStr, Translate and the literal runs
// of a wildcard mask all search with it.
//
// A plain scan (memchr to the first byte, then a compare) is fastest on
// everyday text, but a text like "aaaa...a" against "aa...ab" makes it
// compare almost the whole pattern at every position.  So the scan keeps
// count of the bytes it compares; once that passes a few per position it
// has moved on, the prefix-table (Knuth-Morris-Pratt) search takes over
// from where the scan stands, and never looks at a text byte twice.
#pragma once

#include "platform/codepage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zelk {

// Byte maps for FindBytes: as stored, or with A-Z read as a-z.
struct SameByte {
    static constexpr bool kAsStored = true;
    static unsigned char Map(unsigned char c) noexcept { return c; }
};
struct FoldedByte {
    static constexpr bool kAsStored = false;
    static unsigned char Map(unsigned char c) noexcept {
        return static_cast<unsigned char>(zelk::os::AsciiLower(static_cast<char>(c)));
    }
};

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The first index of `text` at which the `count` bytes of `pattern` stand,
// compared through ByteMap; kNotFound when there is none or `count` is 0.
template <typename ByteMap>
std::size_t FindBytes(unsigned char const* text, std::size_t length, unsigned char const* pattern, std::size_t count) {
    if (count == 0 || count > length) return kNotFound;
    std::size_t const last = length - count;  // the last possible start
    unsigned char const first = ByteMap::Map(pattern[0]);
    // What the plain scan may compare before it hands over: a few bytes per
    // position passed, beyond a fixed allowance for short texts.
    constexpr std::size_t kAllowance = 256;
    std::size_t compared = 0;
    std::size_t start = 0;
    while (start <= last) {
        if constexpr (ByteMap::kAsStored) {
            void const* const hit = std::memchr(text + start, first, last - start + 1);
            if (hit == nullptr) return kNotFound;
            start = static_cast<std::size_t>(static_cast<unsigned char const*>(hit) - text);
        } else if (ByteMap::Map(text[start]) != first) {
            ++start;
            continue;
        }
        std::size_t i = 1;
        while (i < count && ByteMap::Map(text[start + i]) == ByteMap::Map(pattern[i])) ++i;
        if (i == count) return start;
        compared += i;
        if (compared > kAllowance + 4 * start) break;
        ++start;
    }
    if (start > last) return kNotFound;

    // border[i]: the length of the longest proper prefix of pattern[0..i]
    // that is also its suffix.
    std::vector<std::uint32_t> border(count);
    for (std::size_t i = 1, k = 0; i < count; ++i) {
        while (k > 0 && ByteMap::Map(pattern[i]) != ByteMap::Map(pattern[k])) k = border[k - 1];
        if (ByteMap::Map(pattern[i]) == ByteMap::Map(pattern[k])) ++k;
        border[i] = static_cast<std::uint32_t>(k);
    }
    for (std::size_t at = start, matched = 0; at < length; ++at) {
        unsigned char const c = ByteMap::Map(text[at]);
        while (matched > 0 && c != ByteMap::Map(pattern[matched])) matched = border[matched - 1];
        if (c == ByteMap::Map(pattern[matched])) ++matched;
        if (matched == count) return at + 1 - count;
    }
    return kNotFound;
}

}  // namespace zelk
