// The process's current directory as the path operations of BinChar read it:
// a Windows-style name ("c:\work"), lower-cased.
//
// Win32: GetCurrentDirectoryA, lower-cased by CharLowerA.  POSIX: the working
// directory on drive "Z:", whose root is "/", with "\" between components and
// A-Z lowered (/home/Ann -> "z:\home\ann", / -> "z:\").  The message-file
// layer maps such names back to POSIX ones.
#pragma once

#include <string>

namespace zelk::os {

// Read once per call.  A current directory that cannot be read (removed, no
// permission) reads as the empty text.  Long names are read whole: the
// buffer grows to fit.
std::string CurrentDirectory();

}  // namespace zelk::os
