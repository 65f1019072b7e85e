// The command line, reg's way: a verb, its positional arguments, and
// options written "/v" or "-v" in any case.
#pragma once

#include "platform/registry.h"

#include <string>
#include <vector>

namespace zelk::regtool {

enum class Verb { kHelp, kQuery, kAdd, kDelete, kExport, kImport };

struct Command {
    Verb verb = Verb::kHelp;
    std::string key;   // UTF-8, as given
    std::string file;  // export and import
    bool valueName = false;  // /v NAME
    std::string name;
    bool defaultValue = false;  // /ve
    bool allValues = false;     // /va
    bool recurse = false;       // /s (query)
    bool type = false;          // /t TYPE
    std::string typeName;
    bool data = false;  // /d DATA
    std::string dataText;
    bool separator = false;  // /s CHAR (add)
    std::string separatorText;
    bool force = false;      // /f
    bool overwrite = false;  // /y
    os::RegView view = os::RegView::kDefault;  // /reg:32, /reg:64
};

// False with a message for an unknown verb, an option the verb does not
// take, a missing or surplus argument, options that exclude each other.
// An argument that starts with "/" or "-" but names no option of the verb
// is an argument (a POSIX path such as /tmp/x.reg), not an unknown option.
bool ParseCommandLine(std::vector<std::string> const& arguments, Command& command, std::string& error);

}  // namespace zelk::regtool
