#include "platform/profile.h"

#include "platform/win32/win32.h"

namespace zelk::os {

unsigned long GetProfileText(char const* fileName, char const* section, char const* key, char const* defaultText,
                             char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) return 0;
    // A null section or key would ask the system for a list of names instead.
    if (section == nullptr || key == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    return ::GetPrivateProfileStringA(section, key, defaultText, buffer, static_cast<DWORD>(size), fileName);
}

}  // namespace zelk::os
