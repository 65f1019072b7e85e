// ZelkErr — queries of the operating system: the process's priority class,
// the user's personal documents folder and the Windows version.
//
// On POSIX systems the priority classes map to nice values, the documents
// folder is the XDG one in the library's Windows form of names
// ("z:\home\ann\Documents"), and the version reported is the NT family,
// 10.0.
#pragma once

#include <zelk/export.h>

// Indexes into the table of Win32 priority classes.  The underlying type is
// fixed so that any int (such as an out-of-range -1 or 4) is a value of the
// type and can be passed to be refused.
enum ePriorityClass : int {
    PriorityIdle = 0,      // IDLE_PRIORITY_CLASS
    PriorityNormal = 1,    // NORMAL_PRIORITY_CLASS
    PriorityHigh = 2,      // HIGH_PRIORITY_CLASS
    PriorityRealtime = 3,  // REALTIME_PRIORITY_CLASS
};

// Sets the calling process's priority class: 1 when `value` is in the table
// (whether the system agreed is not looked at), else 0 with nothing changed.
ZELK_API int SetProcessPriority(ePriorityClass value);
// The process's class; classes outside the table (below or above normal) and
// a failed read give PriorityNormal.
ZELK_API ePriorityClass GetProcessPriority();
// Writes the user's personal documents folder into `path`, which must hold
// MAX_PATH (260) bytes; `folder` is not consulted.  1 when a path was
// written, 0 for a null `path` or when the folder cannot be found.
ZELK_API int GetSpecialFolder(int folder, char* path);
ZELK_API void GetWindowsVersion(unsigned long& major, unsigned long& minor);
ZELK_API int IsWindowsNTOrHigher();
ZELK_API int IsWindows2kOrHigher();
ZELK_API int IsWindowsXPOrHigher();
ZELK_API int IsWinME();
