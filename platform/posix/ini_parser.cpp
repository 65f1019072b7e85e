#include "platform/posix/ini_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zelk::os {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Names and values are C texts to the Win32 lookup: a zero byte ends them.
std::string_view CutAtZero(std::string_view text) {
    std::size_t const zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

// Only A-Z fold: the Win32 lookup under Wine matches "\xC4" and "\xE4" as
// different names, and so do we.
std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

// Windows-1252 bytes 0x80..0x9F and the characters they stand for; the five
// holes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the
// same value, so every byte survives a round trip.
constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char ToAnsi(std::uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (int i = 0; i < 32; ++i) {
        if (kHighHalf[i] == codePoint) return static_cast<char>(0x80 + i);
    }
    return '?';
}

// UTF-8 after a byte-order mark.  A byte that does not start or continue a
// well-formed sequence (overlong forms and surrogates included) becomes one '?'.
std::string FromUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto const lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        int extra = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, codePoint = lead & 0x1Fu, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, codePoint = lead & 0x0Fu, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, codePoint = lead & 0x07u, minimum = 0x10000;
        }
        bool ok = extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= bytes.size()) {
                ok = false;
                break;
            }
            auto const next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0u) != 0x80u) {
                ok = false;
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        if (ok && (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) {
            ok = false;
        }
        if (!ok) {
            text.push_back('?');
            ++i;
            continue;
        }
        text.push_back(ToAnsi(codePoint));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return text;
}

// UTF-16 after a byte-order mark; an odd last byte is dropped.  Surrogate
// pairs stand for characters outside the code page and become one '?'.
std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::string text;
    text.reserve(bytes.size() / 2);
    std::size_t const units = bytes.size() / 2;
    for (std::size_t u = 0; u < units; ++u) {
        auto const first = static_cast<unsigned char>(bytes[2 * u]);
        auto const second = static_cast<unsigned char>(bytes[2 * u + 1]);
        std::uint32_t const unit = bigEndian ? (first << 8u) | second : (second << 8u) | first;
        if (unit >= 0xD800 && unit <= 0xDBFF && u + 1 < units) {
            auto const f2 = static_cast<unsigned char>(bytes[2 * u + 2]);
            auto const s2 = static_cast<unsigned char>(bytes[2 * u + 3]);
            std::uint32_t const low = bigEndian ? (f2 << 8u) | s2 : (s2 << 8u) | f2;
            if (low >= 0xDC00 && low <= 0xDFFF) ++u;
            text.push_back('?');
            continue;
        }
        text.push_back(ToAnsi(unit));
    }
    return text;
}

}  // namespace

std::string ProfileText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return FromUtf8(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return FromUtf16(bytes.substr(2), false);
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return FromUtf16(bytes.substr(2), true);
    return std::string(bytes);
}

ParsedProfile::ParsedProfile(std::string_view bytes) {
    m_sections.emplace_back();
    m_index.emplace(std::string(), 0);
    std::string const text = ProfileText(bytes);
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t const end = rest.find_first_of("\r\n");
        AddLine(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
}

void ParsedProfile::AddLine(std::string_view line) {
    constexpr std::size_t kDead = static_cast<std::size_t>(-1);
    line = Trim(line);
    if (line.empty()) return;
    if (line.front() == '[') {
        std::size_t const close = line.rfind(']');
        if (close != std::string_view::npos) {
            std::string name = Fold(CutAtZero(Trim(line.substr(1, close - 1))));
            // A second section of a name is never found: drop its keys
            // instead of keeping them.
            if (m_index.find(name) != m_index.end()) {
                m_current = kDead;
                return;
            }
            m_sections.emplace_back();
            m_current = m_sections.size() - 1;
            m_index.emplace(std::move(name), m_current);
            return;
        }
    }
    if (m_current == kDead) return;
    Value value;
    std::string_view key = line;
    std::size_t const equals = line.find('=');
    if (equals != std::string_view::npos) {
        key = Trim(line.substr(0, equals));
        value.text = std::string(CutAtZero(Trim(line.substr(equals + 1))));
        value.present = true;
    }
    m_sections[m_current].keys.emplace(Fold(CutAtZero(key)), std::move(value));
}

unsigned long ParsedProfile::Lookup(char const* section, char const* key, char const* defaultText, char* buffer,
                                    unsigned long size) const {
    if (buffer == nullptr || size == 0) return 0;
    if (section == nullptr || key == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    auto const found = m_index.find(Fold(Trim(section)));
    if (found != m_index.end()) {
        auto const& keys = m_sections[found->second].keys;
        auto const entry = keys.find(Fold(Trim(key)));
        if (entry != keys.end() && entry->second.present) {
            return CopyProfileValue(entry->second.text.c_str(), buffer, size);
        }
    }
    return CopyProfileDefault(defaultText, buffer, size);
}

// A quoted value loses its quotes.  When the buffer is exactly one byte
// longer than the value without its opening quote, the Win32 lookup cuts one
// character more than the buffer needs (a 7-byte buffer gets "abcde" of
// "\"abcdef\""): we give the same.
unsigned long CopyProfileValue(char const* value, char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) return 0;
    std::size_t length = std::strlen(value);
    bool quoted = false;
    if (length >= 2 && (value[0] == '"' || value[0] == '\'') && value[length - 1] == value[0]) {
        quoted = true;
        ++value;
        --length;
    }
    std::size_t copied = std::min<std::size_t>(length, size - 1);
    std::memcpy(buffer, value, copied);
    buffer[copied] = '\0';
    if (quoted && size >= length && copied > 0) buffer[--copied] = '\0';
    return static_cast<unsigned long>(copied);
}

// The default loses trailing spaces (spaces only: a trailing tab stays).
unsigned long CopyProfileDefault(char const* defaultText, char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) return 0;
    if (defaultText == nullptr) defaultText = "";
    std::size_t length = std::strlen(defaultText);
    while (length > 0 && defaultText[length - 1] == ' ') --length;
    std::size_t const copied = std::min<std::size_t>(length, size - 1);
    std::memcpy(buffer, defaultText, copied);
    buffer[copied] = '\0';
    return static_cast<unsigned long>(copied);
}

}  // namespace zelk::os
