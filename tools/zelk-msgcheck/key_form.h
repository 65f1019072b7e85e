// Whether the library can ever look a key up: it writes the key from the
// error's code, in decimal or in hexadecimal by the first byte of the type
// name, so any other spelling is dead.
#pragma once

#include <string>

namespace zelk::msgcheck {

struct KeyForm {
    bool live = false;
    // For a dead key that reads as a code: how it reads ("decimal" or
    // "hexadecimal"), the code, and the key the library looks up for it.
    std::string readAs;
    long long code = 0;
    std::string instead;
};

KeyForm ClassifyKey(std::string const& section, std::string const& key);

// How the keys of a section are written, for messages.
std::string KeyRule(std::string const& section);

}  // namespace zelk::msgcheck
