// regedit's export format, byte for byte: the texts in UTF-16, a default
// value as "@", REG_SZ quoted with \\ \" \r \n escaped, a four-byte
// REG_DWORD as dword:, everything else as hex lists whose lines wrap before
// column 80 and go on indented by two spaces.
#include "reg_file.h"

#include "platform/codepage.h"

#include <cstdio>

namespace zelk::regtool {

namespace {

// A line takes another byte while it is no longer than this after the
// byte's comma: so a wrapped line, with its "\", never passes column 80.
constexpr std::size_t kWrapColumn = 76;

std::u16string Quoted(std::u16string_view text) {
    std::u16string quoted(1, u'"');
    for (char16_t const c : text) {
        switch (c) {
            case u'\\': quoted += u"\\\\"; break;
            case u'"': quoted += u"\\\""; break;
            case u'\r': quoted += u"\\r"; break;
            case u'\n': quoted += u"\\n"; break;
            default: quoted.push_back(c); break;
        }
    }
    quoted.push_back(u'"');
    return quoted;
}

}  // namespace

RegFileWriter::RegFileWriter() { Append("Windows Registry Editor Version 5.00\r\n"); }

void RegFileWriter::Append(std::string_view ascii) { m_text.append(ascii.begin(), ascii.end()); }

void RegFileWriter::Key(std::string_view key) {
    std::u16string text;
    std::size_t bad = 0;
    os::Utf8ToUtf16(key, text, bad);  // the registry's own names
    Append("\r\n[");
    m_text += text;
    Append("]\r\n");
}

void RegFileWriter::Add(Value const& value) {
    std::size_t const start = m_text.size();
    std::u16string name;
    std::size_t bad = 0;
    os::Utf8ToUtf16(value.name, name, bad);
    m_text += value.name.empty() ? std::u16string(u"@") : Quoted(name);
    m_text.push_back(u'=');
    std::string_view const data = value.data;
    if (value.type == REG_SZ) {
        std::u16string const text = os::Utf16FromLittleEndian(data);
        m_text += Quoted(std::u16string_view(text).substr(0, text.find(u'\0')));
    } else if (value.type == REG_DWORD && data.size() == 4) {
        char number[16];
        std::snprintf(
            number, sizeof number, "dword:%08x",
            static_cast<unsigned>(static_cast<unsigned char>(data[0]) | static_cast<unsigned char>(data[1]) << 8 |
                                  static_cast<unsigned char>(data[2]) << 16 |
                                  static_cast<unsigned>(static_cast<unsigned char>(data[3])) << 24));
        Append(number);
    } else {
        char prefix[24];
        if (value.type == REG_BINARY) {
            std::snprintf(prefix, sizeof prefix, "hex:");
        } else {
            std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        }
        Append(prefix);
        AppendHex(m_text.size() - start, data);
    }
    Append("\r\n");
}

void RegFileWriter::AppendHex(std::size_t column, std::string_view bytes) {
    static char const digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto const byte = static_cast<unsigned char>(bytes[i]);
        m_text.push_back(static_cast<char16_t>(digits[byte >> 4]));
        m_text.push_back(static_cast<char16_t>(digits[byte & 15]));
        column += 2;
        if (i + 1 < bytes.size()) {
            m_text.push_back(u',');
            if (++column > kWrapColumn) {
                Append("\\\r\n  ");
                column = 2;
            }
        }
    }
}

std::string RegFileWriter::Bytes() const {
    std::string bytes("\xFF\xFE", 2);
    bytes.reserve(2 * m_text.size() + 4);
    auto const put = [&bytes](char16_t c) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    };
    for (char16_t const c : m_text) {
        put(c);
    }
    put(u'\r');
    put(u'\n');
    return bytes;
}

}  // namespace zelk::regtool
