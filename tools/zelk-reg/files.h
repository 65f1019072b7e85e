// Whole files by UTF-8 name (std::filesystem hands the name to each system
// in its own form).
#pragma once

#include <string>
#include <string_view>

namespace zelk::regtool {

bool FileExists(std::string const& name);
// False with "cannot read NAME: reason".
bool ReadWholeFile(std::string const& name, std::string& bytes, std::string& error);
// Replaces the file's contents; false with "cannot write NAME: reason".
bool WriteWholeFile(std::string const& name, std::string_view bytes, std::string& error);

}  // namespace zelk::regtool
