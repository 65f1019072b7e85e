#include "text.h"

#include "platform/ansi_text.h"

#include <cctype>
#include <cstdio>

namespace zelk::regtool {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

// The character at `index` of UTF-16 text, for messages.
std::string Describe(std::u16string_view text, std::size_t index) {
    char32_t c = text[index];
    if (IsHigh(text[index]) && index + 1 < text.size() && IsLow(text[index + 1])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[index + 1] - 0xDC00);
    }
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || (c >= 0xD800 && c < 0xE000)) {
        return code;
    }
    std::string glyph;
    AppendUtf8(glyph, c);
    return "'" + glyph + "' (" + code + ")";
}

}  // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string& text, std::size_t& bad) {
    text.clear();
    text.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto const lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            text.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length;
        char32_t c;
        char32_t minimum;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07, minimum = 0x10000;
        } else {
            bad = i;
            return false;
        }
        if (i + length > utf8.size()) {
            bad = i;
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            auto const next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                bad = i;
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            bad = i;
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    // ASCII is the same in both, and most registry text is ASCII.
    bool ascii = true;
    for (char const c : ansi) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    return ascii ? std::string(ansi) : Utf16ToUtf8(os::AnsiToUtf16(ansi));
}

bool Utf16ToAnsi(std::u16string_view text, std::string& ansi, std::string& error) {
    std::size_t bad = 0;
    if (os::Utf16ToAnsi(text, ansi, bad)) {
        return true;
    }
    unsigned const page = os::AnsiCodePage();
    error = "the character " + Describe(text, bad) + " has no place in the registry's code page (" +
            (page == 1252 ? std::string("Windows-1252") : "code page " + std::to_string(page)) + ")";
    return false;
}

bool Utf8ToAnsi(std::string_view utf8, std::string& ansi, std::string& error) {
    std::u16string text;
    std::size_t bad = 0;
    if (!Utf8ToUtf16(utf8, text, bad)) {
        error = "the text is not UTF-8 (byte " + std::to_string(bad + 1) + ")";
        return false;
    }
    return Utf16ToAnsi(text, ansi, error);
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace zelk::regtool
