// What the tool says: the suite's command-line layer (cli.h) for its
// output and errors, and reg's yes/no questions.
#pragma once

#include "cli.h"

#include <string_view>

namespace zelk::regtool {

using cli::OutputFailed;
using cli::ReportError;
using Output = cli::Output;

// Asks on standard output and reads the answer from standard input: "y" or
// "yes" (any case) is yes; anything else, and the end of the input, is no.
bool Confirm(std::string_view question);

}  // namespace zelk::regtool
