#include "platform/files.h"

#include <cstdio>

namespace zelk::os {

// The system understands Windows names itself.
std::string SpelledPath(char const* name) { return name != nullptr ? std::string(name) : std::string(); }

std::string NativePath(char const* name) { return SpelledPath(name); }

int CanOpenForReading(char const* name) {
    if (name == nullptr || *name == '\0') return 0;
    std::FILE* file = std::fopen(name, "rt");
    if (file == nullptr) return 0;
    std::fclose(file);
    return 1;
}

}  // namespace zelk::os
