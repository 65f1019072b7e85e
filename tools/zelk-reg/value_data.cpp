#include "value_data.h"

#include "text.h"

#include "platform/codepage.h"

#include <zelk/hkey.h>

#include <cctype>
#include <cstdio>
#include <limits>

namespace zelk::regtool {

namespace {

struct TypeEntry {
    std::uint32_t type;
    char const* name;
};

constexpr TypeEntry kTypes[] = {
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {6, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {8, "REG_RESOURCE_LIST"},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, "REG_QWORD"},
};

int HexDigit(char c) { return os::HexDigitValue(c); }

// Decimal, or hexadecimal after "0x"; leading zeros stay decimal, as reg reads them.
bool ParseNumber(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    value = 0;
    for (char const c : text) {
        int const digit = HexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) {
            return false;
        }
        if (value > (limit - static_cast<unsigned>(digit)) / base) {
            return false;
        }
        value = value * base + static_cast<unsigned>(digit);
    }
    return true;
}

void AppendLittleEndian(std::string& bytes, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint64_t ReadLittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

std::string Hex(std::string_view bytes) {
    static char const digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char const c : bytes) {
        auto const byte = static_cast<unsigned char>(c);
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

}  // namespace

std::string TypeName(std::uint32_t type) {
    for (TypeEntry const& entry : kTypes) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%x", static_cast<unsigned>(type));
    return number;
}

bool ParseTypeName(std::string_view name, std::uint32_t& type) {
    for (TypeEntry const& entry : kTypes) {
        if (SameLetters(name, entry.name)) {
            type = entry.type;
            return true;
        }
    }
    return false;
}

bool ParseData(std::uint32_t type, std::string_view data, std::string_view separator, std::string& bytes,
               std::string& error) {
    bytes.clear();
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_NONE:  // reg keeps a REG_NONE's text as it keeps a REG_SZ's
            return Utf8ToTextData(data, bytes, error);
        case REG_MULTI_SZ: {
            if (separator.empty()) {
                separator = "\\0";
            }
            std::string piece;
            while (!data.empty()) {
                std::size_t const end = data.find(separator);
                std::string_view const item = data.substr(0, end);
                bool const last = end == std::string_view::npos || end + separator.size() == data.size();
                if (item.empty()) {
                    error = "REG_MULTI_SZ data may not hold an empty string";
                    return false;
                }
                if (!Utf8ToTextData(item, piece, error)) {
                    return false;
                }
                bytes += piece;
                data = last ? std::string_view() : data.substr(end + separator.size());
            }
            bytes.append(2, '\0');
            return true;
        }
        case REG_DWORD:
        case REG_QWORD: {
            bool const dword = type == REG_DWORD;
            std::uint64_t value = 0;
            if (!ParseNumber(data, dword ? 0xFFFFFFFFu : std::numeric_limits<std::uint64_t>::max(), value)) {
                error = "'" + std::string(data) + "' is not a number for " + TypeName(type) +
                        (dword ? " (0 to 4294967295, or 0x0 to 0xffffffff)" : " (0 to 18446744073709551615, or 0x...)");
                return false;
            }
            AppendLittleEndian(bytes, value, dword ? 4 : 8);
            return true;
        }
        case REG_BINARY: {
            std::size_t i = 0;
            if (data.size() % 2 != 0) {
                int const digit = HexDigit(data[0]);
                if (digit < 0) {
                    error = "'" + std::string(data) + "' is not hexadecimal data for REG_BINARY";
                    return false;
                }
                bytes.push_back(static_cast<char>(digit));
                i = 1;
            }
            for (; i < data.size(); i += 2) {
                int const high = HexDigit(data[i]);
                int const low = HexDigit(data[i + 1]);
                if (high < 0 || low < 0) {
                    error = "'" + std::string(data) + "' is not hexadecimal data for REG_BINARY";
                    return false;
                }
                bytes.push_back(static_cast<char>(high * 16 + low));
            }
            return true;
        }
        default: error = "values of type " + TypeName(type) + " cannot be added"; return false;
    }
}

std::string FormatData(std::uint32_t type, std::string_view bytes, std::string_view separator) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: return TextDataToUtf8(bytes);
        case REG_MULTI_SZ: {
            // Every string, empty ones too: the list's own terminators go, each
            // other zero shows as "\0" (("a", "", "b") is a\0\0b, as Windows' reg
            // shows it).
            std::u16string text = os::Utf16FromLittleEndian(bytes);
            for (int i = 0; i < 2 && !text.empty() && text.back() == u'\0'; ++i) {
                text.pop_back();
            }
            std::string shown;
            for (std::size_t start = 0;;) {
                std::size_t const end = text.find(u'\0', start);
                shown += Utf16ToUtf8(std::u16string_view(text).substr(start, end - start));
                if (end == std::u16string::npos) {
                    return shown;
                }
                shown += separator;
                start = end + 1;
            }
        }
        case REG_DWORD:
        case REG_DWORD_BIG_ENDIAN:  // reg prints it as it prints REG_DWORD
        case REG_QWORD:
            if (bytes.size() == (type == REG_QWORD ? 8u : 4u)) {
                char number[24];
                std::snprintf(number, sizeof number, "0x%llx",
                              static_cast<unsigned long long>(ReadLittleEndian(bytes)));
                return number;
            }
            return Hex(bytes);
        default: return Hex(bytes);
    }
}

}  // namespace zelk::regtool
