// The registry's A calls, over its Unicode (U) calls.
//
// Text: the Unicode (U) calls are the store's own; the A calls convert
// through Windows-1252 on top of them, as Windows' A calls convert through
// the ANSI code page: every byte has its character, so what an A call
// writes it reads back unchanged; a character outside the page reads as its
// best-fit byte or '?'.
#include "platform/registry.h"

#include "platform/codepage.h"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace zelk::os {

namespace {

bool IsStringType(std::uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The names the A calls pass, in UTF-8.
std::string Widened(char const* name) { return Cp1252ToUtf8(name ? name : ""); }

// Data of the A calls: text types convert as Windows converts them; the
// rest passes as it is.
std::string ToStored(std::uint32_t type, unsigned char const* data, std::uint32_t size) {
    std::string_view const bytes(reinterpret_cast<char const*>(data), data ? size : 0);
    return IsStringType(type) ? Cp1252ToUtf16le(bytes) : std::string(bytes);
}

// Stored data given to an A call's buffer as RegQueryValueExA and
// RegEnumValueA give it: `size` is what the value needs (text: its length
// in the code page), kErrorMoreData and nothing copied when that is more
// than the buffer; text that fits with room to spare and does not end in a
// zero gets one.
long ToCaller(std::uint32_t type, std::string bytes, unsigned char* data, std::uint32_t* size) {
    bool const text = IsStringType(type);
    if (text) {
        bytes = Utf16leToCp1252(bytes);
    }
    auto const needed = static_cast<std::uint32_t>(bytes.size());
    long result = kErrorSuccess;
    if (data && needed > *size) {
        result = kErrorMoreData;
    } else if (data && needed != 0) {
        std::memcpy(data, bytes.data(), needed);
        if (text && needed < *size && bytes.back() != '\0') {
            data[needed] = 0;
        }
    }
    if (size) {
        *size = needed;
    }
    return result;
}

}  // namespace

long RegOpenKeyA(HKEY key, char const* subKey, HKEY* result) {
    return RegOpenKeyU(key, Widened(subKey), RegView::kDefault, result);
}

long RegCreateKeyA(HKEY key, char const* subKey, HKEY* result) {
    return RegCreateKeyU(key, Widened(subKey), RegView::kDefault, result);
}

long RegQueryValueExA(HKEY key, char const* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) {
    if (reserved || (data && !size)) {
        return kErrorInvalidParameter;
    }
    std::uint32_t found = 0;
    std::string bytes;
    // Text needs its data even for its size: its length in the code page.
    if (long const queried = RegQueryValueU(key, Widened(valueName), &found, &bytes); queried != kErrorSuccess) {
        return queried;
    }
    if (type) {
        *type = found;
    }
    return ToCaller(found, std::move(bytes), data, size);
}

long RegSetValueExA(HKEY key, char const* valueName, std::uint32_t /*reserved*/, std::uint32_t type,
                    unsigned char const* data, std::uint32_t size) {
    std::string_view const name = valueName ? valueName : "";
    if (name.size() > kMaxValueNameLength || (!data && size != 0)) {
        return kErrorInvalidParameter;
    }
    // Windows' own leniency: a text whose size leaves out its terminator
    // (the byte right after it is zero) is stored with the terminator.
    if (data && size != 0 && IsStringType(type) && data[size - 1] != 0 && data[size] == 0) {
        ++size;
    }
    return RegSetValueU(key, Widened(valueName), type, ToStored(type, data, size));
}

long RegDeleteValueA(HKEY key, char const* valueName) { return RegDeleteValueU(key, Widened(valueName)); }

long RegEnumKeyA(HKEY key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    if (!name) {
        return kErrorInvalidParameter;
    }
    std::string found;
    if (long const listed = RegEnumKeyU(key, index, found); listed != kErrorSuccess) {
        return listed;
    }
    found = Utf8ToCp1252(found);
    if (found.size() + 1 > nameSize) {
        return kErrorMoreData;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    return kErrorSuccess;
}

long RegEnumValueA(HKEY key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* reserved,
                   std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    if (!name || !nameSize || reserved || (data && !dataSize)) {
        return kErrorInvalidParameter;
    }
    std::string found;
    std::string bytes;
    std::uint32_t foundType = 0;
    if (long const listed = RegEnumValueU(key, index, found, &foundType, &bytes); listed != kErrorSuccess) {
        return listed;
    }
    found = Utf8ToCp1252(found);
    if (type) {
        *type = foundType;
    }
    if (found.size() + 1 > *nameSize) {
        return kErrorMoreData;
    }
    // Data that do not fit leave the name untouched, as Windows does.
    if (long const given = ToCaller(foundType, std::move(bytes), data, dataSize); given != kErrorSuccess) {
        return given;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<std::uint32_t>(found.size());
    return kErrorSuccess;
}

long RegDeleteKeyA(HKEY key, char const* subKey) {
    if (!subKey) {
        return kErrorInvalidParameter;
    }
    return RegDeleteKeyU(key, Widened(subKey), RegView::kDefault);
}

long RegDeleteTreeA(HKEY key, char const* subKey) { return RegDeleteTreeU(key, Widened(subKey)); }

}  // namespace zelk::os
