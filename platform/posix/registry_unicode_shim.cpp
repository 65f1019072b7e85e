// The Unicode registry calls over the ANSI ones, until the store keeps
// Unicode names and texts itself: names go from UTF-8 to Windows-1252, the
// string types' data between UTF-16LE and Windows-1252.  A character the
// page cannot hold gives kErrorInvalidParameter, never a substitute.
#include "platform/codepage.h"
#include "platform/registry.h"

#include <zelk/hkey.h>

namespace zelk::os {

namespace {

bool IsText(std::uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool ToPage(std::u16string_view text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char byte = 0;
        if (!UnicodeToCp1252(text[i], byte)) {
            return false;
        }
        bytes.push_back(static_cast<char>(byte));
    }
    return true;
}

bool NameToPage(std::string_view utf8, std::string& bytes) {
    std::u16string text;
    std::size_t bad = 0;
    return Utf8ToUtf16(utf8, text, bad) && ToPage(text, bytes);
}

std::u16string FromPage(std::string_view bytes) {
    std::u16string text;
    for (char const c : bytes) {
        text.push_back(Cp1252ToUnicode(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string NameFromPage(std::string_view bytes) {
    std::string utf8;
    Utf16ToUtf8(FromPage(bytes), utf8);  // the page has no surrogates
    return utf8;
}

}  // namespace

long RegOpenKeyU(HKEY key, std::string_view subKey, RegView, HKEY* result) {
    std::string name;
    return NameToPage(subKey, name) ? RegOpenKeyA(key, name.c_str(), result) : kErrorInvalidParameter;
}

long RegCreateKeyU(HKEY key, std::string_view subKey, RegView, HKEY* result) {
    std::string name;
    return NameToPage(subKey, name) ? RegCreateKeyA(key, name.c_str(), result) : kErrorInvalidParameter;
}

long RegQueryValueU(HKEY key, std::string_view valueName, std::uint32_t* type, std::string* data) {
    std::string name;
    if (!NameToPage(valueName, name)) {
        return kErrorInvalidParameter;
    }
    std::string bytes(256, '\0');
    for (;;) {
        std::uint32_t kind = 0;
        auto size = static_cast<std::uint32_t>(bytes.size());
        long const result = RegQueryValueExA(key, name.c_str(), nullptr, &kind,
                                             reinterpret_cast<unsigned char*>(bytes.data()), &size);
        if (result == kErrorMoreData) {
            bytes.resize(size > bytes.size() ? size : 2 * bytes.size());
            continue;
        }
        if (result == kErrorSuccess) {
            bytes.resize(size);
            if (type) *type = kind;
            if (data) *data = IsText(kind) ? Utf16ToLittleEndian(FromPage(bytes)) : bytes;
        }
        return result;
    }
}

long RegSetValueU(HKEY key, std::string_view valueName, std::uint32_t type, std::string_view data) {
    std::string name;
    std::string bytes(data);
    if (!NameToPage(valueName, name) || (IsText(type) && (data.size() % 2 != 0 ||
                                                          !ToPage(Utf16FromLittleEndian(data), bytes)))) {
        return kErrorInvalidParameter;
    }
    bytes.push_back('\0');  // the ANSI call may look one byte past the size
    return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<unsigned char const*>(bytes.data()),
                          static_cast<std::uint32_t>(bytes.size() - 1));
}

long RegEnumKeyU(HKEY key, std::uint32_t index, std::string& name) {
    char buffer[kMaxKeyNameLength + 1];
    long const result = RegEnumKeyA(key, index, buffer, sizeof buffer);
    if (result == kErrorSuccess) {
        name = NameFromPage(buffer);
    }
    return result;
}

long RegEnumValueU(HKEY key, std::uint32_t index, std::string& name, std::uint32_t* type, std::string* data) {
    std::string buffer(kMaxValueNameLength + 1, '\0');
    std::string bytes(4096, '\0');
    for (;;) {
        auto nameSize = static_cast<std::uint32_t>(buffer.size());
        auto size = static_cast<std::uint32_t>(bytes.size());
        std::uint32_t kind = 0;
        long const result = RegEnumValueA(key, index, buffer.data(), &nameSize, nullptr, &kind,
                                          reinterpret_cast<unsigned char*>(bytes.data()), &size);
        if (result == kErrorMoreData && size > bytes.size()) {
            bytes.resize(size);
            continue;
        }
        if (result == kErrorSuccess) {
            name = NameFromPage(std::string_view(buffer.data(), nameSize));
            bytes.resize(size);
            if (type) *type = kind;
            if (data) *data = IsText(kind) ? Utf16ToLittleEndian(FromPage(bytes)) : bytes;
        }
        return result;
    }
}

long RegDeleteKeyU(HKEY key, std::string_view subKey, RegView) {
    std::string name;
    return NameToPage(subKey, name) ? RegDeleteKeyA(key, name.c_str()) : kErrorInvalidParameter;
}

long RegDeleteTreeU(HKEY key, std::string_view subKey) {
    std::string name;
    return NameToPage(subKey, name) ? RegDeleteTreeA(key, name.empty() ? nullptr : name.c_str())
                                    : kErrorInvalidParameter;
}

long RegDeleteValueU(HKEY key, std::string_view valueName) {
    std::string name;
    return NameToPage(valueName, name) ? RegDeleteValueA(key, name.c_str()) : kErrorInvalidParameter;
}

}  // namespace zelk::os
