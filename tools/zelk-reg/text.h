// Conversions between the encodings the tool meets: UTF-8 (command line,
// console, names), UTF-16 (.reg files as regedit writes them, and the
// registry's texts: REG_SZ and its kin hold UTF-16LE) and the ANSI code page
// (REGEDIT4 files, see platform/ansi_text.h).
#pragma once

#include <string>
#include <string_view>

namespace zelk::regtool {

// For display and messages: half a surrogate pair becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The registry bytes of a text: UTF-16LE with its terminator.  False for
// bytes that are not UTF-8, with a message.
bool Utf8ToTextData(std::string_view utf8, std::string& data, std::string& error);
// A text's UTF-8 up to its first terminator (or its end).
std::string TextDataToUtf8(std::string_view data);

// Whether two names are equal but for the case of their ASCII letters (root
// keys, type names).
bool SameLetters(std::string_view a, std::string_view b);

}  // namespace zelk::regtool
