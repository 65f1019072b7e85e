// Text through the system's own conversions (MultiByteToWideChar and
// WideCharToMultiByte) for the calls that take or give wide text: bytes of
// `codePage` (CP_ACP, CP_UTF8, a console's page) to UTF-16 and back.  What
// a page cannot hold becomes the system's default character; what is not
// valid in it, U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace zelk::os {

std::wstring WideFromBytes(unsigned codePage, std::string_view bytes);
std::string BytesFromWide(unsigned codePage, std::wstring_view text);

}  // namespace zelk::os
