// The personal documents folder on POSIX systems, as the XDG user
// directories name it, and its name in the library's Windows form.
// Pure functions of their inputs, so every case is testable.
#pragma once

#include <string>
#include <string_view>

namespace zelk::os::posix {

// The documents folder from, in order: `environmentValue` (XDG_DOCUMENTS_DIR
// from the environment; null when unset), the XDG_DOCUMENTS_DIR line of
// `userDirsText` (the contents of user-dirs.dirs), else `home`/Documents.
// "$HOME" at the start of a value stands for `home`; values that are neither
// absolute nor start with "$HOME" are passed over, as xdg-user-dirs does.
std::string DocumentsFolder(char const* environmentValue, std::string_view userDirsText, std::string_view home);

// "/home/ann/Documents" -> "z:\home\ann\Documents": drive Z: for the root,
// "\" between components, case kept, repeated and trailing "/" dropped;
// "/" -> "z:\".  Empty for a name that is not absolute.
std::string WindowsPathForm(std::string_view posixPath);

}  // namespace zelk::os::posix
