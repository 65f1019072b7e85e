// Text in the registry's ANSI code page, converted to and from UTF-16.
//
// The registry calls of the library are the ANSI ones: on Win32 the system
// converts their texts with its ANSI code page; the POSIX registry keeps
// Windows-1252 bytes.  Tools that move registry texts to and from UTF-16
// (.reg files, the console) convert through here, so the bytes they hand the
// registry calls are the ones those calls expect on either system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelk::os {

// The number of the code page (1252 on POSIX; the system's on Win32).
unsigned AnsiCodePage();

// The UTF-16 text of ANSI bytes.  Every byte stands for a character: the
// five bytes Windows-1252 leaves unassigned become the control characters
// U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows maps them.
std::u16string AnsiToUtf16(std::string_view ansi);

// The ANSI bytes of UTF-16 text.  False when a character has no ANSI form
// (or is half of a surrogate pair); `bad` is then the index of its first
// code unit and `ansi` holds the bytes before it.  Never a substitute "?".
bool Utf16ToAnsi(std::u16string_view text, std::string& ansi, std::size_t& bad);

}  // namespace zelk::os
