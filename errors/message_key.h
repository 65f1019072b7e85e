// The key under which an error's text stands in its type's section of a
// message file.  Shared by the lookup and the message-file checker.
#pragma once

#include <cstdio>

namespace zelk {

// Type names from the grave accent on (0x60 and up, taken as a signed
// character, so bytes of 0x80 and more fall below) have their codes written
// as at least four lower-case hexadecimal digits, all others in decimal.
inline bool HexMessageKeys(char const* typeName) { return static_cast<signed char>(typeName[0]) >= 0x60; }

struct MessageKey {
    char text[16];
};

inline MessageKey MakeMessageKey(char const* typeName, int code) {
    MessageKey key;
    if (HexMessageKeys(typeName)) {
        std::snprintf(key.text, sizeof key.text, "%04x", static_cast<unsigned int>(code));
    } else {
        std::snprintf(key.text, sizeof key.text, "%d", code);
    }
    return key;
}

}  // namespace zelk
