#include "platform/current_dir.h"

#include <unistd.h>
#include "platform/codepage.h"

#include <cerrno>
#include <vector>

namespace zelk::os {

std::string CurrentDirectory() {
    // getcwd reports ERANGE while the buffer is too short; grow and ask again.
    std::vector<char> buffer(1040);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return std::string();
        buffer.resize(buffer.size() * 2);
    }
    char const* path = buffer.data();
    // A working directory that is not an absolute name (Linux hands out
    // "(unreachable)..." for some mounts) has no drive form: read it as unreadable.
    if (path[0] != '/') return std::string();

    std::string result = "z:";
    for (char const* p = path; *p; ++p) {
        char const c = *p;
        result += c == '/' ? '\\' : AsciiLower(c);
    }
    return result;
}

}  // namespace zelk::os
