// Value types and data in reg's notation: the type names, the data of
// "add /d" and the data column of "query".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelk::regtool {

// "REG_SZ" and its kin; a type without a name prints as its number ("0x123").
std::string TypeName(std::uint32_t type);
// The type of a name (any case).
bool ParseTypeName(std::string_view name, std::uint32_t& type);

// The registry bytes for "add /t type /d data" (data in UTF-8), as reg
// stores them: texts (and REG_NONE's) in UTF-16LE with their terminator;
// REG_MULTI_SZ split at `separator` ("\0" unless given), an empty string
// inside the list refused; numbers decimal or 0x-hexadecimal; REG_BINARY hex
// digits, an odd count padded in front.  False with a message, also for the
// other types.
bool ParseData(std::uint32_t type, std::string_view data, std::string_view separator, std::string& bytes,
               std::string& error);

// The data column of "query" (UTF-8): texts up to their first zero,
// REG_MULTI_SZ's strings joined by "\0" (empty ones too), numbers as 0x-hexadecimal, all
// else as upper-case hex digits.
// `separator` stands between REG_MULTI_SZ's strings (query /se).
std::string FormatData(std::uint32_t type, std::string_view bytes, std::string_view separator = "\\0");

}  // namespace zelk::regtool
