// Conversions between the three encodings the tool meets: UTF-8 (command
// line, console, .reg files saved as UTF-8), UTF-16 (.reg files as regedit
// writes them) and the registry's ANSI bytes (see platform/ansi_text.h).
#pragma once

#include <string>
#include <string_view>

namespace zelk::regtool {

// False for bytes that are not UTF-8 (`bad` is then the offset of the first
// byte that is not); surrogate code points and overlong forms count as bad.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& text, std::size_t& bad);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

std::string AnsiToUtf8(std::string_view ansi);

// The ANSI bytes of UTF-8 text; false with a message that names the first
// character the registry's code page cannot hold (or the bad UTF-8 byte).
bool Utf8ToAnsi(std::string_view utf8, std::string& ansi, std::string& error);
// The same for UTF-16 text.
bool Utf16ToAnsi(std::u16string_view text, std::string& ansi, std::string& error);

// Whether two names are equal but for the case of their letters (root keys,
// type names).
bool SameLetters(std::string_view a, std::string_view b);

}  // namespace zelk::regtool
