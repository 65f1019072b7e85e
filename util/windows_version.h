// The Windows version tests as pure functions of the version word that
// GetVersion returns (major in bits 0..7, minor in 8..15, bit 31 set outside
// the NT family), so every case can be checked on any system.
#pragma once

#include <cstdint>

namespace zelk {

constexpr unsigned long VersionMajor(std::uint32_t word) noexcept { return word & 0xFFu; }
constexpr unsigned long VersionMinor(std::uint32_t word) noexcept { return (word >> 8) & 0xFFu; }

constexpr int IsNTFamily(std::uint32_t word) noexcept { return (word & 0x80000000u) == 0 ? 1 : 0; }

constexpr int Is2kOrHigher(std::uint32_t word) noexcept {
    if (!IsNTFamily(word)) {
        return 0;
    }
    return VersionMajor(word) >= 5 ? 1 : 0;
}

constexpr int IsXPOrHigher(std::uint32_t word) noexcept {
    if (!IsNTFamily(word)) {
        return 0;
    }
    unsigned long const major = VersionMajor(word);
    unsigned long const minor = VersionMinor(word);
    return (major >= 6 || (major == 5 && minor >= 1)) ? 1 : 0;
}

constexpr int IsME(std::uint32_t word) noexcept {
    if (IsNTFamily(word)) {
        return 0;
    }
    return (VersionMajor(word) == 4 && VersionMinor(word) >= 90) ? 1 : 0;
}

}  // namespace zelk
