// What the system queries ask the operating system.
//
// Win32: the calls themselves.  POSIX: process priority classes map to nice
// values, the documents folder comes from the XDG user directories, and the
// version word reports the NT family, 10.0.
#pragma once

#include <cstdint>
#include <string>

namespace zelk::os {

// Win32's process priority classes, the values the layer speaks.
inline constexpr std::uint32_t kIdlePriorityClass = 0x40;
inline constexpr std::uint32_t kNormalPriorityClass = 0x20;
inline constexpr std::uint32_t kHighPriorityClass = 0x80;
inline constexpr std::uint32_t kRealtimePriorityClass = 0x100;

// The size of a path buffer the folder lookup may fill (Windows' MAX_PATH).
inline constexpr unsigned kMaxPath = 260;

// Sets the calling process's priority class; whether the system agreed is
// not reported.
void SetPriorityClass(std::uint32_t priorityClass);
// The calling process's priority class; 0 when it cannot be read.
std::uint32_t GetPriorityClass();
// Writes the user's personal documents folder into `path` (kMaxPath bytes);
// 1 when a path was written, else 0 (also for a null `path`).
int GetPersonalFolder(char* path);
// The folder of the program's executable file as a Windows name, without a
// trailing separator (but "z:\" for the root); empty when it cannot be read.
// POSIX: /proc/self/exe in the form of the documents folder, case kept.
std::string ProgramFolder();
// The version word as Win32's GetVersion gives it: major version in bits
// 0..7, minor in 8..15, bit 31 set outside the NT family.
std::uint32_t GetVersionWord();

}  // namespace zelk::os
