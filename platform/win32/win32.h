// The one place that includes <windows.h>; every Win32 backend file
// includes this header instead, so the settings below hold everywhere.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#  define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#  define _WIN32_WINNT 0x0601  // Windows 7: the oldest system the build targets
#endif

#include <windows.h>
