// The calling thread's name as the operating system shows it (to debuggers,
// process lists, crash dumps), read with the system's own calls, as a tool
// would.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zelk::test {

// The name, or nothing where the system cannot tell it (Windows before 10).
std::optional<std::string> SystemThreadName();
// The longest name in bytes that the system keeps; 0 for no limit.
std::size_t SystemThreadNameLimit();

}  // namespace zelk::test
