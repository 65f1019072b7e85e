// Hexadecimal text: the round trip bytes -> hex -> bytes holds for every
// input, in either case of the digits, and HexToBin on arbitrary text stops
// cleanly at the first bad digit.
#include <zelk/binchar.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool SameBytes(BinChar const& a, BinChar const& b) {
    return a.len() == b.len() && std::memcmp(a, b, static_cast<std::size_t>(a.len())) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    BinChar const bytes(data, static_cast<int>(size));
    BinChar const hex = bytes.BinToHex();
    Check(hex.len() == 2 * bytes.len());
    Check(static_cast<char const*>(hex)[hex.len()] == 0);
    Check(SameBytes(hex.HexToBin(), bytes));
    Check(SameBytes(hex.Lower().HexToBin(), bytes));

    // Arbitrary text: the bytes made are those of the longest valid prefix.
    BinChar const decoded = bytes.HexToBin();
    Check(2 * decoded.len() <= bytes.len());
    BinChar const again = decoded.BinToHex();
    Check(std::memcmp(again, bytes.Upper(), static_cast<std::size_t>(again.len())) == 0);
    return 0;
}
