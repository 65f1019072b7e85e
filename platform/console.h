// The command line and standard streams of a command-line tool, in UTF-8.
//
// POSIX: the arguments and streams are bytes, UTF-8 on any current system,
// and lines end with "\n".  Win32: the arguments come from the wide command
// line, so characters outside the ANSI code page arrive intact; a console is
// written in UTF-16; a file or pipe gets the console's code page (the OEM
// code page when there is no console) with "\r\n" line ends, as the system's
// own tools write them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelk::os {

// The arguments after the program's name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

enum class StandardStream { kOutput, kError };

// Writes UTF-8 text whose lines end with "\n"; false when the write failed.
bool WriteText(StandardStream stream, std::string_view utf8);

}  // namespace zelk::os
