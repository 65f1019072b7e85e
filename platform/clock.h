// The system's millisecond clock, as timers read it: a free-running 32-bit
// count of milliseconds that wraps to 0 after 2^32 ms (about 49.7 days).
// Callers take differences modulo 2^32 and never compare raw values.
#pragma once

#include <cstdint>

namespace zelk::os {

// Win32: timeGetTime.  POSIX: CLOCK_MONOTONIC in milliseconds, cut to the low
// 32 bits, so both backends wrap the same way and never step backwards.
std::uint32_t MilliSeconds() noexcept;

}  // namespace zelk::os
