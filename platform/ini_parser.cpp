#include "platform/ini_parser.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zelk::os {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

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

// Characters of a marked file that became '?': offset in the text, character.
using LostList = std::vector<std::pair<std::size_t, std::uint32_t>>;

// A character outside the code page becomes '?', one for each UTF-16 unit
// it takes (two for one beyond U+FFFF), as the system's conversion through
// UTF-16 gives.
void PushAnsi(std::string& text, std::uint32_t codePoint, LostList* lost) {
    unsigned char byte;
    if (UnicodeToCp1252(codePoint, byte)) {
        text.push_back(static_cast<char>(byte));
        return;
    }
    if (lost != nullptr) lost->emplace_back(text.size(), codePoint);
    text.append(codePoint > 0xFFFF ? "??" : "?");
}

void PushMalformed(std::string& text, LostList* lost) {
    if (lost != nullptr) lost->emplace_back(text.size(), kMalformed);
    text.push_back('?');
}

// UTF-8 after a byte-order mark, decoded the way the system does: a lead
// byte and the continuation bytes that still fit a character before one
// fails (an overlong form, a surrogate or a value past U+10FFFF fails where
// it shows) become one '?'; a sequence cut off by the end of the file takes
// the rest of the file with it into one '?'.
std::string FromUtf8(std::string_view bytes, LostList* lost) {
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
        std::size_t const length = lead >= 0xC2 && lead <= 0xDF   ? 1
                                   : lead >= 0xE0 && lead <= 0xEF ? 2
                                   : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                                  : 0;
        if (i + length >= bytes.size()) {
            PushMalformed(text, lost);
            break;
        }
        std::uint32_t codePoint = lead & (length == 1 ? 0x1Fu : length == 2 ? 0x0Fu : 0x07u);
        std::size_t next = i + 1;  // the next continuation byte
        auto const take = [&bytes, &next, &codePoint]() {
            std::uint32_t const bits = static_cast<unsigned char>(bytes[next]) ^ 0x80u;
            if (bits >= 0x40) return false;
            codePoint = (codePoint << 6) | bits;
            return true;
        };
        bool ok = false;
        switch (length) {
            case 3:
                if (!take()) break;
                ++next;
                if (codePoint < 0x10) break;  // overlong
                [[fallthrough]];
            case 2:
                if (!take() || codePoint >= (0x110000 >> 6)) break;
                ++next;
                if (codePoint < 0x20 || (codePoint >= (0xD800 >> 6) && codePoint <= (0xDFFF >> 6))) break;
                [[fallthrough]];
            case 1:
                if (!take()) break;
                ++next;
                ok = codePoint >= 0x80;
                break;
            default: break;
        }
        if (ok) {
            PushAnsi(text, codePoint, lost);
        } else {
            PushMalformed(text, lost);
        }
        i = next;
    }
    return text;
}

// UTF-16 after a byte-order mark; an odd last byte is dropped.  A surrogate
// pair stands for a character outside the code page: two '?'.
std::string FromUtf16(std::string_view bytes, bool bigEndian, LostList* lost) {
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
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++u;
                PushAnsi(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), lost);
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {  // half of a pair
            PushMalformed(text, lost);
            continue;
        }
        PushAnsi(text, unit, lost);
    }
    return text;
}

std::string Decode(std::string_view bytes, ProfileEncoding& encoding, LostList* lost) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding = ProfileEncoding::kUtf8;
        return FromUtf8(bytes.substr(3), lost);
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        encoding = ProfileEncoding::kUtf16LE;
        return FromUtf16(bytes.substr(2), false, lost);
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
        encoding = ProfileEncoding::kUtf16BE;
        return FromUtf16(bytes.substr(2), true, lost);
    }
    encoding = ProfileEncoding::kAnsi;
    return std::string(bytes);
}

}  // namespace

std::size_t ProfileNameHash::operator()(std::string_view name) const {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    // Only A-Z fold: the Win32 lookup under Wine matches "\xC4" and "\xE4" as
    // different names, and so do we.
    for (char const c : name) hash = (hash ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211ull;
    return static_cast<std::size_t>(hash ^ (hash >> 32));
}

bool ProfileNameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualAsciiNoCase(a, b);
}

std::string ProfileText(std::string_view bytes) {
    ProfileEncoding encoding;
    return Decode(bytes, encoding, nullptr);
}

ParsedProfile::ParsedProfile(std::string_view bytes, ProfileLines* lines) {
    m_sections.emplace_back();
    m_index.emplace(std::string(), 0);
    LostList lost;
    ProfileEncoding encoding;
    std::string const text = Decode(bytes, encoding, lines != nullptr ? &lost : nullptr);
    if (lines != nullptr) lines->encoding = encoding;
    auto nextLost = lost.begin();
    std::size_t start = 0;
    for (std::size_t number = 1; start < text.size(); ++number) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string_view const line = std::string_view(text).substr(start, end - start);
        if (lines == nullptr) {
            AddLine(line, number, nullptr);
        } else {
            ProfileLine& view = lines->lines.emplace_back();
            view.text = std::string(line);
            for (; nextLost != lost.end() && nextLost->first < end; ++nextLost) view.lost.push_back(nextLost->second);
            AddLine(line, number, &view);
        }
        // "\r\n" ends one line: the empty piece between them would be blank.
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

void ParsedProfile::AddLine(std::string_view line, std::size_t number, ProfileLine* view) {
    constexpr std::size_t kDead = static_cast<std::size_t>(-1);
    if (view != nullptr) {
        view->number = number;
        view->section = m_current == kDead ? m_sections.size() - 1 : m_current;
        view->dead = m_current == kDead;
    }
    line = Trim(line);
    if (line.empty()) return;
    if (line.front() == '[') {
        std::size_t const close = line.rfind(']');
        if (close != std::string_view::npos) {
            std::string_view const spelled = CutAtZero(Trim(line.substr(1, close - 1)));
            auto const first = m_index.find(spelled);
            m_sections.push_back(Section{std::string(spelled), first != m_index.end(), number, {}, {}});
            // A second section of a name is listed but never searched: its
            // keys are dropped instead of kept.
            m_current = first != m_index.end() ? kDead : m_sections.size() - 1;
            if (first == m_index.end()) m_index.emplace(std::string(spelled), m_current);
            if (view != nullptr) {
                view->kind = ProfileLine::Kind::kSection;
                view->name = spelled;
                view->cutAtZero = spelled.size() < Trim(line.substr(1, close - 1)).size();
                view->trailing = line.substr(close + 1);
                view->section = m_sections.size() - 1;
                view->dead = first != m_index.end();
                if (view->dead) view->firstLine = m_sections[first->second].line;
            }
            return;
        }
    }
    Value value;
    value.line = number;
    std::string_view name = line;
    std::size_t const equals = line.find('=');
    if (equals != std::string_view::npos) {
        name = Trim(line.substr(0, equals));
        value.text = std::string(CutAtZero(Trim(line.substr(equals + 1))));
        value.present = true;
    }
    name = CutAtZero(name);
    if (view != nullptr) {
        view->kind = ProfileLine::Kind::kKey;
        view->name = name;
        view->value = value.text;
        view->hasValue = value.present;
        view->cutAtZero = line.find('\0') != std::string_view::npos;
    }
    if (m_current == kDead) return;
    Section& section = m_sections[m_current];
    section.keys.push_back(Listed{std::string(name), value.present});
    // A later key of a name is never found, but listed.
    auto const [found, added] = section.index.try_emplace(std::string(name), std::move(value));
    if (!added && view != nullptr) {
        view->dead = true;
        view->firstLine = found->second.line;
    }
}

unsigned long ParsedProfile::Lookup(char const* section, char const* key, char const* defaultText, char* buffer,
                                    unsigned long size) const {
    if (buffer == nullptr || size == 0) return 0;
    if (section == nullptr) return ListSections(buffer, size);
    if (key == nullptr) {
        // The asked name is not trimmed here, unlike in a lookup of one key.
        auto const found = m_index.find(std::string_view(section));
        if (found != m_index.end()) {
            unsigned long const copied = ListKeys(m_sections[found->second], buffer, size);
            if (buffer[0] != '\0') return copied;
        }
        return CopyProfileDefault(defaultText, buffer, size);  // no keys, or an empty first name
    }
    auto const found = m_index.find(Trim(section));
    if (found != m_index.end()) {
        Section const& keys = m_sections[found->second];
        auto const entry = keys.index.find(Trim(key));
        if (entry != keys.index.end() && entry->second.present) {
            return CopyProfileValue(entry->second.text.c_str(), buffer, size);
        }
    }
    return CopyProfileDefault(defaultText, buffer, size);
}

// Every section name but the empty ones, each with its zero.  A list that
// reaches size - 1 bytes is cut to size - 2 bytes and a zero.
unsigned long ParsedProfile::ListSections(char* buffer, unsigned long size) const {
    std::size_t length = 0;  // of the whole list
    for (std::size_t i = 1; i < m_sections.size(); ++i) {
        if (!m_sections[i].name.empty()) length += m_sections[i].name.size() + 1;
    }
    std::size_t const kept = (length > 0 && length + 1 >= size) ? (size >= 2 ? size - 2 : 0) : length;
    std::size_t at = 0;
    for (std::size_t i = 1; i < m_sections.size() && at < kept; ++i) {
        std::string const& name = m_sections[i].name;
        if (name.empty()) continue;
        std::size_t const part = std::min(name.size() + 1, kept - at);  // the name's zero included
        std::memcpy(buffer + at, name.c_str(), part);
        at += part;
    }
    buffer[kept] = '\0';
    return static_cast<unsigned long>(kept);
}

// The keys that have a value, comment-like ones (';') left out.  Each name
// is cut to what leaves room for its zero and one more byte; once fewer than
// two bytes are left the list ends there, cut (result size - 2), or once
// just two are left it ends whole.
unsigned long ParsedProfile::ListKeys(Section const& section, char* buffer, unsigned long size) {
    std::size_t left = size, at = 0;
    for (Listed const& key : section.keys) {
        if (left <= 2) break;
        if (!key.present || (!key.name.empty() && key.name.front() == ';')) continue;
        std::size_t const copied = std::min(key.name.size(), left - 2);
        std::memcpy(buffer + at, key.name.data(), copied);
        buffer[at + copied] = '\0';
        at += copied + 1;
        left -= copied + 1;
        if (left < 2) return static_cast<unsigned long>(size - 2);  // the zero just written ends the list
    }
    buffer[at] = '\0';
    return static_cast<unsigned long>(at);
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
    if (quoted && size >= length && copied > 0) --copied;
    std::memcpy(buffer, value, copied);
    buffer[copied] = '\0';  // nothing is written past it
    return static_cast<unsigned long>(copied);
}

// The default loses trailing spaces (spaces only: a trailing tab stays), but
// never its first character: "   " gives " ".
unsigned long CopyProfileDefault(char const* defaultText, char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) return 0;
    if (defaultText == nullptr) defaultText = "";
    std::size_t length = std::strlen(defaultText);
    while (length > 1 && defaultText[length - 1] == ' ') --length;
    std::size_t const copied = std::min<std::size_t>(length, size - 1);
    std::memcpy(buffer, defaultText, copied);
    buffer[copied] = '\0';
    return static_cast<unsigned long>(copied);
}

}  // namespace zelk::os
