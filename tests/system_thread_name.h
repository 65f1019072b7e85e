// The calling thread's name as the operating system shows it (to debuggers,
// process lists, crash dumps), read and set with the system's own calls, as
// a host or a tool would.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zelk::test {

// The name, or nothing where the system cannot tell it (Windows before 10).
std::optional<std::string> SystemThreadName();
// Names the calling thread with the system's own call.
void SetSystemThreadName(char const* name);
// The longest name in bytes that the system keeps; 0 for no limit.
std::size_t SystemThreadNameLimit();

}  // namespace zelk::test
