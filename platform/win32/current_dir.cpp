#include "platform/current_dir.h"

#include "platform/win32/win32.h"

#include <vector>

namespace zelk::os {

std::string CurrentDirectory() {
    // GetCurrentDirectoryA returns the size it needs (terminator included)
    // when the buffer is too short, so a long directory is read whole.  The
    // directory may change between two calls; ask until it fits.
    std::vector<char> buffer(1040);
    for (;;) {
        DWORD const length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return std::string();  // unreadable: reads as empty
        if (length < buffer.size()) {
            buffer[length] = 0;
            CharLowerA(buffer.data());
            return std::string(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

}  // namespace zelk::os
