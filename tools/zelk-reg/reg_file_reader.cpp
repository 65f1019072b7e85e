// Reading .reg files into a plan of changes.  What regedit imports as it
// stands is read the same way: blank lines and ";" or "#" comments
// anywhere, an indented header, spaces around "=", after "dword:" and
// inside hex lists, hex bytes written with leading zeros ("001"), a trailing
// comma, hex lists continued over lines that end with "\", text after a
// key's "]", empty steps in a key's path ("a\\b" is a\b), CRLF or LF.  What regedit would
// pass over with a warning (an unknown escape, a malformed number, a line it
// cannot place) is an error here, because an import either happens whole or
// not at all.
#include "reg_file.h"

#include "key_name.h"
#include "text.h"

#include "platform/ansi_text.h"
#include "platform/codepage.h"
#include "platform/registry.h"

#include <algorithm>

namespace zelk::regtool {

namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimLeft(std::u16string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::u16string_view TrimRight(std::u16string_view text) {
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Nothing but blanks and perhaps a comment.
bool IsEnd(std::u16string_view rest) {
    rest = TrimLeft(rest);
    return rest.empty() || rest.front() == u';';
}

// A line regedit passes over: blank, or a comment.
bool IsSkipped(std::u16string_view line) {
    line = TrimLeft(line);
    return line.empty() || line.front() == u';' || line.front() == u'#';
}

int HexDigit(char16_t c) { return c < 0x80 ? os::HexDigitValue(static_cast<char>(c)) : -1; }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::size_t LineOfOffset(std::string_view bytes, std::size_t offset) {
    return 1 + static_cast<std::size_t>(
                   std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

struct Line {
    std::u16string_view text;
    std::size_t number;
};

class Reader {
public:
    Reader(std::string const& fileName, std::vector<RegChange>& changes, std::string& error)
        : m_fileName(fileName), m_changes(changes), m_error(error) {}

    bool Read(std::string_view bytes) {
        m_changes.clear();
        if (!Decode(bytes)) {
            return false;
        }
        SplitLines();
        std::u16string_view const header =
            m_lines.empty() ? std::u16string_view() : TrimRight(TrimLeft(m_lines[0].text));
        if (header != kHeader5 && header != kHeader4) {
            return Fail(1,
                        "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or "
                        "\"REGEDIT4\"");
        }
        m_utf16Texts = header == kHeader5;
        for (m_index = 1; m_index < m_lines.size(); ++m_index) {
            std::u16string_view const text = TrimLeft(m_lines[m_index].text);
            std::size_t const number = m_lines[m_index].number;
            if (IsSkipped(text)) {
                continue;
            }
            bool const ok = text.front() == u'['                           ? ReadKey(text, number)
                            : text.front() == u'@' || text.front() == u'"' ? ReadValue(text, number)
                                                                           : Fail(number,
                                                                                  "expected [KEY], \"NAME\"=DATA or "
                                                                                  "@=DATA");
            if (!ok) {
                return false;
            }
        }
        return true;
    }

private:
    enum class Section { kNone, kOpen, kDeleted };

    bool Fail(std::size_t line, std::string const& what) {
        m_error = m_fileName + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    bool Decode(std::string_view bytes) {
        auto const at = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 256u; };
        if (at(0) == 0xFF && at(1) == 0xFE) {
            bytes.remove_prefix(2);
            m_text = os::Utf16FromLittleEndian(bytes);
            if (bytes.size() % 2 != 0) {
                auto const lines = std::count(m_text.begin(), m_text.end(), u'\n');
                return Fail(static_cast<std::size_t>(lines) + 1, "the file ends in half a UTF-16 character");
            }
            return true;
        }
        if (at(0) == 0xFE && at(1) == 0xFF) {
            return Fail(1, "UTF-16 big-endian files are not read (regedit writes UTF-16LE)");
        }
        if (at(1) == 0 && at(0) != 256) {
            return Fail(1, "UTF-16 text without a byte-order mark (regedit's files start with FF FE)");
        }
        if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
            bytes.remove_prefix(3);
            std::size_t bad = 0;
            return os::Utf8ToUtf16(bytes, m_text, bad) ||
                   Fail(LineOfOffset(bytes, bad), "the file starts as UTF-8 but is not UTF-8");
        }
        // Without a byte-order mark regedit reads the ANSI code page; a file
        // that is UTF-8 throughout is taken as UTF-8, which ANSI text beyond
        // ASCII almost never is.  REGEDIT4 files are always ANSI.
        std::string_view const start = bytes.substr(std::min(bytes.find_first_not_of(" \t"), bytes.size()));
        std::size_t bad = 0;
        if (start.substr(0, 8) == "REGEDIT4" || !os::Utf8ToUtf16(bytes, m_text, bad)) {
            m_text = os::AnsiToUtf16(bytes);
        }
        return true;
    }

    void SplitLines() {
        std::u16string_view rest = m_text;
        std::size_t number = 1;
        while (!rest.empty()) {
            std::size_t const end = rest.find_first_of(u"\r\n");
            m_lines.push_back(Line{rest.substr(0, end), number++});
            if (end == std::u16string_view::npos) {
                break;
            }
            std::size_t const next =
                rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n' ? end + 2 : end + 1;
            rest.remove_prefix(next);
        }
    }

    bool ReadKey(std::u16string_view text, std::size_t number) {
        text.remove_prefix(1);
        bool const remove = !text.empty() && text.front() == u'-';
        if (remove) {
            text.remove_prefix(1);
        }
        // The last "]" ends the name, as regedit reads it: names may hold
        // "]", and what follows it is passed over.
        std::size_t const close = text.rfind(u']');
        if (close == std::u16string_view::npos) {
            return Fail(number, "a key line must end with \"]\"");
        }
        std::u16string name(text.substr(0, close));
        if (name.find(u'\0') != std::u16string::npos) {
            return Fail(number, "a NUL character in a key's name");
        }
        for (std::size_t twice; (twice = name.find(u"\\\\")) != std::u16string::npos;) {
            name.erase(twice, 1);
        }
        KeyName key;
        std::string problem;
        std::string utf8;
        if (!ToUtf8(name, number, utf8)) {
            return false;
        }
        if (!ParseKeyName(utf8, key, problem)) {
            return Fail(number, problem);
        }
        if (remove && key.isRoot) {
            return Fail(number, "a root key cannot be deleted: " + key.display);
        }
        RegChange change;
        change.kind = remove ? RegChange::kDeleteKey : RegChange::kCreateKey;
        change.line = number;
        change.key = std::move(key);
        m_changes.push_back(std::move(change));
        m_section = remove ? Section::kDeleted : Section::kOpen;
        return true;
    }

    // A quoted string at the start of `text`; `text` is left after it.
    bool ReadQuoted(std::u16string_view& text, std::size_t number, std::u16string& result) {
        result.clear();
        for (std::size_t i = 1; i < text.size(); ++i) {
            char16_t const c = text[i];
            if (c == u'"') {
                text.remove_prefix(i + 1);
                return true;
            }
            if (c == u'\0') {
                return Fail(number, "a NUL character inside a string");
            }
            if (c != u'\\') {
                result.push_back(c);
                continue;
            }
            char16_t const next = i + 1 < text.size() ? text[i + 1] : u'\0';
            switch (next) {
                case u'\\': result.push_back(u'\\'); break;
                case u'"': result.push_back(u'"'); break;
                case u'n': result.push_back(u'\n'); break;
                case u'r': result.push_back(u'\r'); break;
                default:
                    return Fail(number, "unknown escape \"\\" + Utf16ToUtf8(text.substr(i + 1, 1)) +
                                            "\" in a string (known: \\\\ \\\" \\n \\r)");
            }
            ++i;
        }
        return Fail(number, "a string without its closing quote");
    }

    bool ToUtf8(std::u16string_view text, std::size_t number, std::string& utf8) {
        return os::Utf16ToUtf8(text, utf8) || Fail(number, "half a UTF-16 surrogate pair in a name");
    }

    bool ReadValue(std::u16string_view text, std::size_t number) {
        RegChange change;
        change.kind = RegChange::kSetValue;
        change.line = number;
        std::u16string name;
        if (text.front() == u'@') {
            text.remove_prefix(1);
        } else if (!ReadQuoted(text, number, name)) {
            return false;
        }
        text = TrimLeft(text);
        if (text.empty() || text.front() != u'=') {
            return Fail(number, "expected \"=\" after the value's name");
        }
        text = TrimLeft(text.substr(1));
        if (m_section == Section::kNone) {
            return Fail(number, "a value before the first [KEY] line");
        }
        if (m_section == Section::kDeleted) {
            return Fail(number, "a value in a section that deletes its key");
        }
        if (!ToUtf8(name, number, change.value.name)) {
            return false;
        }
        if (name.size() > os::kMaxValueNameLength) {
            return Fail(number, "a value name longer than " + std::to_string(os::kMaxValueNameLength) + " characters");
        }
        bool ok;
        if (!text.empty() && text.front() == u'"') {
            std::u16string data;
            ok = ReadQuoted(text, number, data);
            data.push_back(u'\0');
            change.value.type = REG_SZ;
            change.value.data = os::Utf16ToLittleEndian(data);
        } else if (!text.empty() && text.front() == u'-') {
            text.remove_prefix(1);
            change.kind = RegChange::kDeleteValue;
            ok = true;
        } else if (StartsWith(text, u"dword:")) {
            ok = ReadDword(text, number, change.value);
        } else if (StartsWith(text, u"hex:") || StartsWith(text, u"hex(")) {
            return ReadHex(text, number, change);
        } else {
            return Fail(number, "unknown data (expected \"TEXT\", dword:, hex:, hex(TYPE): or -)");
        }
        if (!ok) {
            return false;
        }
        if (!IsEnd(text)) {
            return Fail(number, "unexpected text after the value");
        }
        m_changes.push_back(std::move(change));
        return true;
    }

    bool ReadDword(std::u16string_view& text, std::size_t number, Value& value) {
        text = TrimLeft(text.substr(6));
        std::uint32_t dword = 0;
        std::size_t digits = 0;
        for (int digit; digits < text.size() && (digit = HexDigit(text[digits])) >= 0; ++digits) {
            dword = dword << 4 | static_cast<std::uint32_t>(digit);
        }
        if (digits == 0 || digits > 8) {
            return Fail(number, "dword: takes 1 to 8 hexadecimal digits");
        }
        text.remove_prefix(digits);
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i) {
            value.data.push_back(static_cast<char>(dword >> (8 * i) & 0xFF));
        }
        return true;
    }

    bool ReadHex(std::u16string_view text, std::size_t number, RegChange& change) {
        Value& value = change.value;
        value.type = REG_BINARY;
        if (text[3] == u'(') {
            std::size_t const close = text.find(u"):");
            std::u16string_view const digits = text.substr(4, close == std::u16string_view::npos ? 0 : close - 4);
            std::uint32_t type = 0;
            bool good = !digits.empty() && digits.size() <= 8;
            for (char16_t const c : digits) {
                good = good && HexDigit(c) >= 0;
                type = type << 4 | static_cast<std::uint32_t>(good ? HexDigit(c) : 0);
            }
            if (!good) {
                return Fail(number, "hex(TYPE): takes the type as 1 to 8 hexadecimal digits");
            }
            value.type = type;
            text.remove_prefix(close + 2);
        } else {
            text.remove_prefix(4);
        }
        // The list, its continuation lines joined; `lines` maps an offset in
        // `list` to the line it came from.
        std::u16string list;
        std::vector<std::pair<std::size_t, std::size_t>> lines;
        for (;;) {
            lines.emplace_back(list.size(), number);
            std::u16string_view const part = TrimRight(text.substr(0, text.find(u';')));
            if (part.empty() || part.back() != u'\\') {
                list += part;
                break;
            }
            list += part.substr(0, part.size() - 1);
            do {
                if (++m_index >= m_lines.size()) {
                    return Fail(number, "the file ends inside a continued hex list");
                }
                text = TrimLeft(m_lines[m_index].text);
                number = m_lines[m_index].number;
            } while (IsSkipped(text));
        }
        auto const lineAt = [&](std::size_t offset) {
            std::size_t line = lines.front().second;
            for (auto const& [start, at] : lines) {
                if (start <= offset) {
                    line = at;
                }
            }
            return line;
        };
        std::string bytes;
        std::size_t i = 0;
        auto const skipSpace = [&] {
            while (i < list.size() && IsSpace(list[i])) ++i;
        };
        skipSpace();
        while (i < list.size()) {
            std::size_t const start = i;
            // Any number of digits, as long as they make a byte ("001").
            int byte = 0;
            while (i < list.size() && byte <= 0xFF && HexDigit(list[i]) >= 0) {
                byte = byte * 16 + HexDigit(list[i++]);
            }
            if (i == start || byte > 0xFF) {
                return Fail(lineAt(start), "a hex list takes bytes (00 to ff) separated by \",\"");
            }
            bytes.push_back(static_cast<char>(byte));
            skipSpace();
            if (i < list.size()) {
                if (list[i] != u',') {
                    return Fail(lineAt(i), "a hex list takes bytes (00 to ff) separated by \",\"");
                }
                ++i;
                skipSpace();
            }
        }
        // The texts of a version 5 file are UTF-16LE as the registry keeps
        // them; those of a REGEDIT4 file are in the ANSI code page.
        bool const isText = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
        value.data = isText && !m_utf16Texts ? os::Utf16ToLittleEndian(os::AnsiToUtf16(bytes)) : std::move(bytes);
        m_changes.push_back(std::move(change));
        return true;
    }

    std::string const& m_fileName;
    std::vector<RegChange>& m_changes;
    std::string& m_error;
    std::u16string m_text;
    std::vector<Line> m_lines;
    std::size_t m_index = 0;
    bool m_utf16Texts = true;
    Section m_section = Section::kNone;
};

}  // namespace

bool ReadRegFile(std::string_view bytes, std::string const& fileName, std::vector<RegChange>& changes,
                 std::string& error) {
    return Reader(fileName, changes, error).Read(bytes);
}

}  // namespace zelk::regtool
