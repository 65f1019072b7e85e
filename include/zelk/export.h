/// @file
/// The export macro of the library's public names.
///
/// The library is built with hidden visibility; only names marked ZELK_API
/// leave the shared object (libzelkerr.so) or the DLL (zelkerr.dll).
/// Define ZELK_STATIC when linking the static archive on Windows.
#pragma once

/// @def ZELK_API
/// Marks a name that the library exports: dllexport while the library itself
/// is built (ZELK_BUILDING_LIBRARY), dllimport for hosts on Windows, nothing
/// with ZELK_STATIC, default visibility on other systems.

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(ZELK_STATIC)
#    define ZELK_API
#  elif defined(ZELK_BUILDING_LIBRARY)
#    define ZELK_API __declspec(dllexport)
#  else
#    define ZELK_API __declspec(dllimport)
#  endif
#else
#  define ZELK_API __attribute__((visibility("default")))
#endif
