#include "platform/codepage.h"

#include <algorithm>

namespace zelk::os {

namespace {

// Bytes 0x80..0x9F: the only part of Windows-1252 that is not Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Runs of UTF-16 units whose case differs by the same distance.
struct CaseRun {
    char16_t first;
    char16_t last;
    unsigned char step;
    int distance;
};
#include "platform/unicode_upper.inc"

struct BestFit {
    char16_t character;
    unsigned char byte;
};
#include "platform/cp1252_best_fit.inc"

template <std::size_t n>
char16_t MapCase(CaseRun const (&runs)[n], char16_t unit) noexcept {
    std::size_t low = 0, high = n;
    while (low < high) {  // past the last run that starts at or before `unit`
        std::size_t const middle = (low + high) / 2;
        if (runs[middle].first <= unit) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == 0) return unit;
    CaseRun const& run = runs[low - 1];
    if (unit > run.last || (unit - run.first) % run.step != 0) return unit;
    return static_cast<char16_t>(unit + run.distance);
}

// The byte Windows writes for `character` in its ANSI code page: the page's
// own, else the near one of its best-fit table, else '?'.
char Cp1252OrNear(char32_t character) {
    unsigned char byte;
    if (UnicodeToCp1252(character, byte)) return static_cast<char>(byte);
    BestFit const* const end = kBestFit + sizeof kBestFit / sizeof kBestFit[0];
    BestFit const* const near =
        std::lower_bound(kBestFit, end, character, [](BestFit const& fit, char32_t c) { return fit.character < c; });
    return near != end && near->character == character ? static_cast<char>(near->byte) : '?';
}

}  // namespace

char16_t Cp1252ToUnicode(unsigned char byte) noexcept {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
}

bool UnicodeToCp1252(char32_t character, unsigned char& byte) noexcept {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        byte = static_cast<unsigned char>(character);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] == character) {
            byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

bool EqualAsciiNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

void AppendUtf8(std::string& text, char32_t c) {
    auto const push = [&text](unsigned value) { text.push_back(static_cast<char>(value)); };
    if (c < 0x80) {
        push(c);
    } else if (c < 0x800) {
        push(0xC0 | (c >> 6));
        push(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        push(0xE0 | (c >> 12));
        push(0x80 | ((c >> 6) & 0x3F));
        push(0x80 | (c & 0x3F));
    } else {
        push(0xF0 | (c >> 18));
        push(0x80 | ((c >> 12) & 0x3F));
        push(0x80 | ((c >> 6) & 0x3F));
        push(0x80 | (c & 0x3F));
    }
}

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) noexcept {
    auto const lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) return lead;
    int length;
    char32_t c;
    char32_t smallest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 1, c = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 2, c = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 3, c = lead & 0x07, smallest = 0x10000;
    } else {
        return kNoCharacter;
    }
    std::size_t at = pos;
    for (int i = 0; i < length; ++i, ++at) {
        if (at >= text.size()) return kNoCharacter;
        auto const next = static_cast<unsigned char>(text[at]);
        if ((next & 0xC0) != 0x80) return kNoCharacter;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNoCharacter;
    pos = at;
    return c;
}

bool IsUtf8(std::string_view text, std::size_t* utf16Length) noexcept {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t const c = DecodeUtf8(text, pos);
        if (c == kNoCharacter) return false;
        units += c > 0xFFFF ? 2 : 1;
    }
    if (utf16Length) *utf16Length = units;
    return true;
}

char16_t UpcaseUtf16(char16_t unit) noexcept {
    return unit < 0x80 ? static_cast<char16_t>(AsciiUpper(static_cast<char>(unit))) : MapCase(kUpperRuns, unit);
}

char16_t LowercaseUtf16(char16_t unit) noexcept {
    return unit < 0x80 ? static_cast<char16_t>(AsciiLower(static_cast<char>(unit))) : MapCase(kLowerRuns, unit);
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char const c : text) AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t const c = DecodeUtf8(text, pos);
        if (c > 0xFFFF && c != kNoCharacter) out.push_back('?');  // the high surrogate
        out.push_back(Cp1252OrNear(c));
    }
    return out;
}

std::string Cp1252ToUtf16le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char const c : text) {
        char16_t const unit = Cp1252ToUnicode(static_cast<unsigned char>(c));
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

std::string Utf16leToCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto const unit =
            static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        // A surrogate is no character of the page: '?' for each half.
        out.push_back(unit >= 0xD800 && unit <= 0xDFFF ? '?' : Cp1252OrNear(unit));
    }
    return out;
}

bool Utf8ToUtf16(std::string_view utf8, std::u16string& text, std::size_t& bad) {
    text.clear();
    text.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        std::size_t const start = pos;
        char32_t c = DecodeUtf8(utf8, pos);
        if (c == kNoCharacter) {
            bad = start;
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            c = 0xDC00 + (c & 0x3FF);
        }
        text.push_back(static_cast<char16_t>(c));
    }
    return true;
}

bool Utf16ToUtf8(std::u16string_view text, std::string& utf8) {
    utf8.clear();
    utf8.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            return false;
        }
        AppendUtf8(utf8, c);
    }
    return true;
}

std::u16string Utf16FromLittleEndian(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return text;
}

std::string Utf16ToLittleEndian(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(2 * text.size());
    for (char16_t const c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

int CompareNamesNoCase(std::u16string_view a, std::u16string_view b) noexcept {
    std::size_t const common = a.size() < b.size() ? a.size() : b.size();
    int tie = 0;
    for (std::size_t i = 0; i < common; ++i) {
        if (int const order = CompareNameUnits(UpcaseUtf16(a[i]), UpcaseUtf16(b[i]), tie)) return order;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return tie;
}

}  // namespace zelk::os
