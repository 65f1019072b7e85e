// Files named the Windows way.  Message-file names are Windows names
// ("d:\texts\Zelk.TXT"); the Win32 backend hands them to the system as they
// are.  The POSIX backend maps them to POSIX paths:
// - "\" and "/" both separate components;
// - a drive prefix "X:" stands for the root "/" (as Wine's drive Z: does), so
//   "z:\home\ann\msg.txt" is /home/ann/msg.txt;
// - a component that does not exist as spelled is matched without regard to
//   the case of A-Z among the entries of its directory, because the library
//   lower-cases directory names when it derives the English file's name:
//   "d:\texts\Zelk.TXT" finds /texts/zelk.txt.
// Names without a drive or leading separator stay relative to the working
// directory.
#pragma once

#include <string>

namespace zelk::os {

// The name with separators and drive mapped, but not looked up on disk.
std::string SpelledPath(char const* name);
// The same into `path`, reusing its storage: for lookups that run often.
void SpelledPath(char const* name, std::string& path);

// The name mapped and looked up on disk: the path to open.  Where several
// entries match a component case-insensitively, the one spelled exactly
// wins, then the smallest by byte order, so the choice does not depend on
// the order in which the directory lists them.  A component that matches
// nothing is kept as spelled (the path then names no file).
std::string NativePath(char const* name);

}  // namespace zelk::os
