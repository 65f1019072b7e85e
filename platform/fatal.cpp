#include "platform/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace zelk {

void Fatal(char const* format, ...) noexcept {
    std::fputs("zelkerr: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

}  // namespace zelk
