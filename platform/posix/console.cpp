// A POSIX tool's arguments and streams are UTF-8 bytes already.
#include "platform/console.h"

#include <unistd.h>

#include <cerrno>

namespace zelk::os {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return arguments;
}

bool WriteText(StandardStream stream, std::string_view utf8) {
    int const fd = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
    while (!utf8.empty()) {
        ssize_t const written = ::write(fd, utf8.data(), utf8.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        utf8.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace zelk::os
