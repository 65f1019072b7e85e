// Contract breaches: misuse that can only be a bug in the caller ends the
// process here, with one message prefix ("zelkerr: "), so that a host's
// crash report says at once which library stopped it and why.  Everything
// a caller may legitimately get wrong returns its defined result instead.
#pragma once

namespace zelk {

// Writes "zelkerr: <message>\n" to stderr (printf-style) and aborts.
[[noreturn]] void Fatal(char const* format, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace zelk
