/// @file
/// Queries of the operating system: the process's priority class, the user's
/// personal documents folder, the program's own folder, native paths and the
/// Windows version.  Each call asks the
/// system afresh; any thread may call them.
///
/// On POSIX systems the priority classes are nice values, the documents
/// folder is the XDG one written as a Windows name on the drive Z:
/// (`z:\home\ann\Documents`), and the version reported is the NT family, 10.0.
#pragma once

#include <zelk/export.h>

#include <cstddef>

/// The process priority classes that SetProcessPriority() and
/// GetProcessPriority() speak: four of the six Windows classes.
///
/// The underlying type is fixed so that any int (such as an out-of-range -1
/// or 4) is a value of the type and can be passed to be refused.
enum ePriorityClass : int {
    PriorityIdle = 0,  ///< IDLE_PRIORITY_CLASS; nice 19 on POSIX systems
    PriorityNormal = 1,  ///< NORMAL_PRIORITY_CLASS; nice 0
    PriorityHigh = 2,  ///< HIGH_PRIORITY_CLASS; nice -10
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
/// @name The program's folder and native paths
/// A ported program finds its files beside its executable by Windows names;
/// GetNativePath() turns such a name into the path that fopen() and the
/// system's other calls take, exactly as the library resolves the names of
/// message files (error.h).  Both write into a buffer of the caller's and,
/// like snprintf(), give the length of the whole result, so a result of
/// `size` or more means the text was cut.
/// @code
/// char folder[260], path[260];
/// GetProgramFolder(folder, sizeof folder);             // "z:\opt\suite" on POSIX systems
/// std::string const name = std::string(folder) + "\German.txt";
/// if (GetNativePath(name.c_str(), path, sizeof path) < sizeof path) {
///     std::FILE* file = std::fopen(path, "rb");        // /opt/suite/German.txt
///     // ...
/// }
/// @endcode
/// @{

/// Writes the folder of the program's executable file, as a Windows name
/// without a trailing separator (a drive's root keeps its `\`).
///
/// On POSIX systems the folder is written on the drive Z: for the root /,
/// with its case kept, as GetSpecialFolder() writes the documents folder:
/// `z:\opt\suite`.
/// @param path receives the name, cut to `size` - 1 bytes and zero-terminated
/// @param size the buffer's size in bytes; 0 (with any `path`) only measures
/// @return the name's length in bytes; 0 when it cannot be read
ZELK_API std::size_t GetProgramFolder(char* path, std::size_t size);
/// Turns a Windows name into the native path the library itself would open.
///
/// On Windows the name stays as it is.  On POSIX systems `\` and `/` both
/// separate, a drive (`z:`, any letter) stands for the root /, a name without
/// one stays relative to the working directory (`.\German.txt` is
/// `./German.txt`), and each component that does not exist as spelled is
/// looked up among its folder's entries without regard to the case of A-Z
/// (the exact spelling first, then the smallest by byte order); from the
/// first component that matches nothing on, the rest is kept as spelled.
/// @param name the Windows name; null counts as empty
/// @param path receives the path, cut to `size` - 1 bytes and zero-terminated
/// @param size the buffer's size in bytes; 0 (with any `path`) only measures
/// @return the path's length in bytes; 0 for an empty name
ZELK_API std::size_t GetNativePath(char const* name, char* path, std::size_t size);

/// @}
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
