#include "platform/clock.h"

#include <time.h>

namespace zelk::os {

std::uint32_t MilliSeconds() noexcept {
    timespec now{};
    // CLOCK_MONOTONIC is always present on the systems we build for; should the
    // call fail anyway, `now` stays zero and the timer merely waits longer.
    clock_gettime(CLOCK_MONOTONIC, &now);
    auto const ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // the low 32 bits: wraps like timeGetTime
}

}  // namespace zelk::os
