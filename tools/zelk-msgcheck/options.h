// The command line of zelk-msgcheck.
#pragma once

#include <string>

namespace zelk::msgcheck {

struct Options {
    std::string translated;
    std::string english;  // empty: the one the library derives
    std::string codes;  // empty: no codes file
    bool json = false;
    bool help = false;
};

// Reads argv; false with `error` set when the command line is wrong.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// The manual page that --help prints.
char const* HelpText();

}  // namespace zelk::msgcheck
