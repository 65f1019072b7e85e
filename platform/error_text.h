// The system's own text for one of Windows' error codes, in UTF-8, for the
// messages of the command-line tools ("Access is denied.").
#pragma once

#include <string>

namespace zelk::os {

// Win32: FormatMessage's text.  POSIX: Windows' texts of the codes the
// POSIX registry and files return.  Without a known text, "error N".
std::string SystemErrorText(long code);

}  // namespace zelk::os
