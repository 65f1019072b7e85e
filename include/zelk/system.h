/// @file
/// Queries of the operating system: the process's priority class, the user's
/// personal documents folder and the Windows version.  Each call asks the
/// system afresh; any thread may call them.
///
/// On POSIX systems the priority classes are nice values, the documents
/// folder is the XDG one written as a Windows name on the drive Z:
/// (`z:\home\ann\Documents`), and the version reported is the NT family, 10.0.
#pragma once

#include <zelk/export.h>

/// The process priority classes that SetProcessPriority() and
/// GetProcessPriority() speak: four of the six Windows classes.
///
/// The underlying type is fixed so that any int (such as an out-of-range -1
/// or 4) is a value of the type and can be passed to be refused.
enum ePriorityClass : int {
    PriorityIdle = 0,      ///< IDLE_PRIORITY_CLASS; nice 19 on POSIX systems
    PriorityNormal = 1,    ///< NORMAL_PRIORITY_CLASS; nice 0
    PriorityHigh = 2,      ///< HIGH_PRIORITY_CLASS; nice -10
    PriorityRealtime = 3,  ///< REALTIME_PRIORITY_CLASS; nice -20
};

/// Sets the calling process's priority class.
///
/// On POSIX systems it sets the nice value of every thread of the process.
/// Raising the priority (PriorityHigh, PriorityRealtime, or back from
/// PriorityIdle) needs privileges there; whether the system agreed is not
/// looked at on either system.
/// @param value the class
/// @return 1 when `value` is one of the four classes, else 0 with nothing changed
ZELK_API int SetProcessPriority(ePriorityClass value);
/// The calling process's priority class.
/// @return the class; PriorityNormal for classes outside the four (below or
///         above normal; on POSIX systems any other nice value of the
///         process) and when the class cannot be read
ZELK_API ePriorityClass GetProcessPriority();
/// Writes the user's personal documents folder into `path`.
///
/// On POSIX systems the folder is $XDG_DOCUMENTS_DIR, else the
/// XDG_DOCUMENTS_DIR line of user-dirs.dirs, else ~/Documents, written as a
/// Windows name: `z:\home\ann\Documents` (case kept).  The folder need not
/// exist.
/// @param folder not consulted: it is always the personal documents folder
/// @param path receives the folder's name, zero-terminated; it must hold
///        MAX_PATH (260) bytes.  A name that does not fit gives the empty text.
/// @return 1 when a name was written; 0 for a null `path` and when the folder
///         cannot be found (on POSIX systems: no home folder)
ZELK_API int GetSpecialFolder(int folder, char* path);
/// @name Windows version
/// The version that Windows' GetVersion() reports.  Windows 8.1 and later
/// report 6.2 to a program whose manifest does not declare them; POSIX systems
/// report 10.0 of the NT family.
/// @{

/// The major and minor version number (the build number is not given).
/// @param major receives the major version: 5 for Windows 2000 and XP, 6 for
///        Vista to 8, 10 for 10 and 11
/// @param minor receives the minor version: 0 for 2000, 1 for XP, 90 for ME
ZELK_API void GetWindowsVersion(unsigned long& major, unsigned long& minor);
/// @return 1 on the NT family (NT, 2000, XP and every later Windows, and
///         POSIX systems), 0 on Windows 95, 98 and ME
ZELK_API int IsWindowsNTOrHigher();
/// @return 1 on the NT family from version 5.0 (Windows 2000) on, else 0
ZELK_API int IsWindows2kOrHigher();
/// @return 1 on the NT family from version 5.1 (Windows XP) on, else 0
ZELK_API int IsWindowsXPOrHigher();
/// @return 1 on Windows ME (4.90 outside the NT family), else 0
ZELK_API int IsWinME();

/// @}
