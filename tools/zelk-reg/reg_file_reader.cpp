// Reading .reg files into a plan of changes.  What regedit imports as it
// stands is read the same way: blank lines and ";" comments anywhere,
// spaces around "=" and inside hex lists, a trailing comma, hex lists
// continued over lines that end with "\", CRLF or LF.  What regedit would
// pass over with a warning (an unknown escape, a malformed number, a line it
// cannot place) is an error here, because an import either happens whole or
// not at all.
#include "reg_file.h"

#include "key_name.h"
#include "text.h"

#include "platform/ansi_text.h"
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

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::size_t LineOfOffset(std::string_view bytes, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
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
        std::u16string_view const header = m_lines.empty() ? std::u16string_view() : TrimRight(m_lines[0].text);
        if (header != kHeader5 && header != kHeader4) {
            return Fail(1, "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or "
                           "\"REGEDIT4\"");
        }
        m_utf16Texts = header == kHeader5;
        for (m_index = 1; m_index < m_lines.size(); ++m_index) {
            std::u16string_view const text = TrimLeft(m_lines[m_index].text);
            std::size_t const number = m_lines[m_index].number;
            if (text.empty() || text.front() == u';') {
                continue;
            }
            bool const ok = text.front() == u'['                         ? ReadKey(text, number)
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
            m_text.resize(bytes.size() / 2);
            for (std::size_t i = 0; i < m_text.size(); ++i) {
                m_text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                                  static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
            }
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
        } else if (bytes.substr(0, 8) == "REGEDIT4") {
            m_text = os::AnsiToUtf16(bytes);  // regedit's old format: the ANSI code page
            return true;
        }
        std::size_t bad = 0;
        if (!Utf8ToUtf16(bytes, m_text, bad)) {
            return Fail(LineOfOffset(bytes, bad), "the file is neither UTF-16 (with a byte-order mark) nor UTF-8");
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
            std::size_t const next = rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n' ? end + 2
                                                                                                          : end + 1;
            rest.remove_prefix(next);
        }
    }

    bool ReadKey(std::u16string_view text, std::size_t number) {
        text.remove_prefix(1);
        bool const remove = !text.empty() && text.front() == u'-';
        if (remove) {
            text.remove_prefix(1);
        }
        // The first "]" that only blanks or a comment follow ends the name:
        // key names may hold "]" themselves.
        std::size_t close = text.find(u']');
        while (close != std::u16string_view::npos && !IsEnd(text.substr(close + 1))) {
            close = text.find(u']', close + 1);
        }
        if (close == std::u16string_view::npos) {
            return Fail(number, "a key line must end with \"]\"");
        }
        KeyName key;
        std::string problem;
        if (!ParseKeyName(Utf16ToUtf8(text.substr(0, close)), key, problem)) {
            return Fail(number, problem);
        }
        if (remove && key.path.empty()) {
            return Fail(number, "a root key cannot be deleted: " + key.display);
        }
        RegChange change;
        change.kind = remove ? RegChange::kDeleteKey : RegChange::kCreateKey;
        change.line = number;
        change.root = key.root;
        change.path = std::move(key.path);
        change.display = std::move(key.display);
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

    bool ToAnsi(std::u16string_view text, std::size_t number, std::string& ansi) {
        std::string problem;
        return Utf16ToAnsi(text, ansi, problem) || Fail(number, problem);
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
        if (!ToAnsi(name, number, change.value.name)) {
            return false;
        }
        if (change.value.name.size() > os::kMaxValueNameLength) {
            return Fail(number, "a value name longer than " + std::to_string(os::kMaxValueNameLength) + " bytes");
        }
        bool ok;
        if (!text.empty() && text.front() == u'"') {
            std::u16string data;
            ok = ReadQuoted(text, number, data) && ToAnsi(data, number, change.value.data);
            change.value.type = REG_SZ;
            change.value.data.push_back('\0');
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
        text.remove_prefix(6);
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
            } while (text.empty() || text.front() == u';');
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
            int byte = 0;
            while (i < list.size() && i - start < 3 && HexDigit(list[i]) >= 0) {
                byte = byte * 16 + HexDigit(list[i++]);
            }
            if (i == start || i - start > 2) {
                return Fail(lineAt(start), "a hex list takes bytes of 1 or 2 hexadecimal digits separated by \",\"");
            }
            bytes.push_back(static_cast<char>(byte));
            skipSpace();
            if (i < list.size()) {
                if (list[i] != u',') {
                    return Fail(lineAt(i), "a hex list takes bytes of 1 or 2 hexadecimal digits separated by \",\"");
                }
                ++i;
                skipSpace();
            }
        }
        if (!ConvertHexText(value.type, bytes, lineAt(0), value.data)) {
            return false;
        }
        m_changes.push_back(std::move(change));
        return true;
    }

    // The texts of a version 5 file are UTF-16LE, of a REGEDIT4 file ANSI;
    // the registry is given ANSI bytes.
    bool ConvertHexText(std::uint32_t type, std::string& bytes, std::size_t number, std::string& data) {
        bool const text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
        if (!text || !m_utf16Texts) {
            data = std::move(bytes);
            return true;
        }
        if (bytes.size() % 2 != 0) {
            return Fail(number, "UTF-16 text data of an odd number of bytes");
        }
        std::u16string utf16(bytes.size() / 2, u'\0');
        for (std::size_t k = 0; k < utf16.size(); ++k) {
            utf16[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                             static_cast<unsigned char>(bytes[2 * k + 1]) << 8);
        }
        return ToAnsi(utf16, number, data);
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
