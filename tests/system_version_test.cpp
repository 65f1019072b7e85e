// The Windows version tests, as pure functions of the version word, for
// every case of the thresholds; the same table on every platform.
#include "util/windows_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

namespace {

constexpr std::uint32_t Word(unsigned major, unsigned minor, bool nt, unsigned build = 0) {
    return (nt ? 0u : 0x80000000u) | (build << 16) | (minor << 8) | major;
}

}  // namespace

TEST(WindowsVersion, ThresholdsOfEveryTest) {
    // clang-format off
    struct Case { std::uint32_t word; unsigned long major, minor; int nt, w2k, xp, me; };
    Case const cases[] = {
        {Word(4, 0, true, 1381), 4, 0, 1, 0, 0, 0},   // NT 4
        {Word(5, 0, true, 2195), 5, 0, 1, 1, 0, 0},   // 2000
        {Word(5, 1, true, 2600), 5, 1, 1, 1, 1, 0},   // XP
        {Word(6, 0, true, 6000), 6, 0, 1, 1, 1, 0},   // Vista
        {Word(10, 0, true), 10, 0, 1, 1, 1, 0},       // what POSIX systems report
        {Word(4, 90, false, 3000), 4, 90, 0, 0, 0, 1},  // ME
        {Word(4, 10, false, 2222), 4, 10, 0, 0, 0, 0},  // 98
        {Word(4, 0, false), 4, 0, 0, 0, 0, 0},          // 95
        {Word(5, 1, false), 5, 1, 0, 0, 0, 0},          // not NT: no 2000/XP whatever the number
        {Word(5, 90, false), 5, 90, 0, 0, 0, 0},        // ME needs major 4
        {Word(255, 255, true, 0x7FFF), 255, 255, 1, 1, 1, 0},
    };
    // clang-format on
    for (Case const& c : cases) {
        using namespace zelk;
        EXPECT_EQ(std::tuple(VersionMajor(c.word), VersionMinor(c.word), IsNTFamily(c.word), Is2kOrHigher(c.word),
                             IsXPOrHigher(c.word), IsME(c.word)),
                  std::tuple(c.major, c.minor, c.nt, c.w2k, c.xp, c.me))
            << std::hex << c.word;
    }
}
