#include "platform/clock.h"

#include "platform/win32/win32.h"

#include <mmsystem.h>  // timeGetTime (winmm); left out by WIN32_LEAN_AND_MEAN

namespace zelk::os {

std::uint32_t MilliSeconds() noexcept { return static_cast<std::uint32_t>(timeGetTime()); }

}  // namespace zelk::os
