#include "platform/files.h"

namespace zelk::os {

// The system understands Windows names itself.
std::string SpelledPath(char const* name) { return name != nullptr ? std::string(name) : std::string(); }

void SpelledPath(char const* name, std::string& path) { path = SpelledPath(name); }

std::string NativePath(char const* name) { return SpelledPath(name); }

}  // namespace zelk::os
