// BinChar hexadecimal conversion: BinToHex covers every stored byte,
// HexToBin reads the visible text up to the first non-hex digit.
#include <zelk/binchar.h>

#include "platform/codepage.h"

namespace {

int HexValue(char c) { return zelk::os::HexDigitValue(c); }

}  // namespace

BinChar BinChar::BinToHex() const {
    static char const digits[] = "0123456789ABCDEF";
    BinChar result(Uninitialised{}, std::int64_t(m_length) * 2);
    char* out = result.m_data;
    for (int i = 0; i < m_length; ++i) {
        unsigned char const byte = static_cast<unsigned char>(m_data[i]);
        *out++ = digits[byte >> 4];
        *out++ = digits[byte & 0x0F];
    }
    return result;
}

BinChar BinChar::HexToBin() const {
    int const pairs = VisibleLength() / 2;  // an odd last digit is ignored
    int valid = 0;
    while (valid < pairs && HexValue(m_data[2 * valid]) >= 0 && HexValue(m_data[2 * valid + 1]) >= 0) ++valid;
    BinChar result(Uninitialised{}, valid);
    for (int i = 0; i < valid; ++i)
        result.m_data[i] = static_cast<char>((HexValue(m_data[2 * i]) << 4) | HexValue(m_data[2 * i + 1]));
    return result;
}
