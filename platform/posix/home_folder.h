// The user's home folder on POSIX systems (internal to the POSIX backend).
#pragma once

#include <string>

namespace zelk::os {

// $HOME, else the password database's entry for the user; empty when neither
// knows (a service without a home).
std::string HomeFolder();

}  // namespace zelk::os
