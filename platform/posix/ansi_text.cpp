// The POSIX registry's texts are Windows-1252 bytes: ASCII and Latin-1 where
// they agree, and 32 bytes of their own between 0x80 and 0x9F.
#include "platform/ansi_text.h"

#include "platform/codepage.h"

namespace zelk::os {

unsigned AnsiCodePage() { return 1252; }

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string text;
    text.reserve(ansi.size());
    for (char const c : ansi) {
        auto const byte = static_cast<unsigned char>(c);
        text.push_back(Cp1252ToUnicode(byte));
    }
    return text;
}

bool Utf16ToAnsi(std::u16string_view text, std::string& ansi, std::size_t& bad) {
    ansi.clear();
    ansi.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char byte;
        if (!UnicodeToCp1252(text[i], byte)) {
            bad = i;
            return false;
        }
        ansi.push_back(static_cast<char>(byte));
    }
    return true;
}

}  // namespace zelk::os
