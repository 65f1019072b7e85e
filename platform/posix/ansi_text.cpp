// The POSIX registry's texts are Windows-1252 bytes: ASCII and Latin-1 where
// they agree, and 32 bytes of their own between 0x80 and 0x9F.
#include "platform/ansi_text.h"

namespace zelk::os {

namespace {

// The characters of bytes 0x80..0x9F.  Windows maps the five unassigned ones
// to the C1 control of the same number, which makes the page a one-to-one
// map of all 256 bytes.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool ByteOf(char16_t c, unsigned char& byte) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        byte = static_cast<unsigned char>(c);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] == c) {
            byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

}  // namespace

unsigned AnsiCodePage() { return 1252; }

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string text;
    text.reserve(ansi.size());
    for (char const c : ansi) {
        auto const byte = static_cast<unsigned char>(c);
        text.push_back(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte});
    }
    return text;
}

bool Utf16ToAnsi(std::u16string_view text, std::string& ansi, std::size_t& bad) {
    ansi.clear();
    ansi.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char byte;
        if (!ByteOf(text[i], byte)) {
            bad = i;
            return false;
        }
        ansi.push_back(static_cast<char>(byte));
    }
    return true;
}

}  // namespace zelk::os
