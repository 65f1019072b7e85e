#include "text.h"

#include "platform/codepage.h"

namespace zelk::regtool {

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string utf8;
    if (os::Utf16ToUtf8(text, utf8)) {
        return utf8;
    }
    std::u16string mended(text);
    for (std::size_t i = 0; i < mended.size(); ++i) {
        bool const high = mended[i] >= 0xD800 && mended[i] < 0xDC00;
        bool const pair = high && i + 1 < mended.size() && mended[i + 1] >= 0xDC00 && mended[i + 1] < 0xE000;
        if (pair) {
            ++i;
        } else if (mended[i] >= 0xD800 && mended[i] < 0xE000) {
            mended[i] = 0xFFFD;
        }
    }
    os::Utf16ToUtf8(mended, utf8);
    return utf8;
}

bool Utf8ToTextData(std::string_view utf8, std::string& data, std::string& error) {
    std::u16string text;
    std::size_t bad = 0;
    if (!os::Utf8ToUtf16(utf8, text, bad)) {
        error = "the text is not UTF-8 (byte " + std::to_string(bad + 1) + ")";
        return false;
    }
    text.push_back(u'\0');
    data = os::Utf16ToLittleEndian(text);
    return true;
}

std::string TextDataToUtf8(std::string_view data) {
    std::u16string const text = os::Utf16FromLittleEndian(data);
    return Utf16ToUtf8(std::u16string_view(text).substr(0, text.find(u'\0')));
}

bool SameLetters(std::string_view a, std::string_view b) { return os::EqualAsciiNoCase(a, b); }

}  // namespace zelk::regtool
