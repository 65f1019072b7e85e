// The command line, reg's way: a verb, its positional arguments, and
// options written "/v" or "-v" in any case.
#pragma once

#include "platform/registry.h"

#include <string>
#include <vector>

namespace zelk::regtool {

enum class Verb { kHelp, kQuery, kAdd, kDelete, kCopy, kCompare, kExport, kImport };

// What compare prints: differences (the default), everything, matches only,
// or nothing.
enum class CompareOutput { kDifferences, kAll, kSame, kNone };

struct Command {
    Verb verb = Verb::kHelp;
    Verb helpFor = Verb::kHelp;  // "VERB /?": that verb's usage; kHelp: the manual
    std::string key;   // UTF-8, as given
    std::string key2;  // copy and compare: the second key
    std::string file;  // export and import
    bool valueName = false;  // /v NAME (query /f: /v alone searches value names)
    std::string name;
    bool defaultValue = false;  // /ve
    bool allValues = false;     // /va
    bool recurse = false;       // /s (query, copy, compare)
    bool type = false;          // /t TYPE
    std::string typeName;
    bool data = false;  // /d DATA (add)
    std::string dataText;
    bool separator = false;  // /s CHAR (add), /se CHAR (query)
    std::string separatorText;
    bool force = false;      // /f (add, delete, copy)
    bool overwrite = false;  // /y
    bool find = false;       // /f PATTERN (query)
    std::string findText;
    bool searchKeys = false;     // /k
    bool searchData = false;     // /d (query)
    bool caseSensitive = false;  // /c
    bool exact = false;          // /e
    bool verbose = false;        // /z
    CompareOutput compareOutput = CompareOutput::kDifferences;
    bool compareOutputGiven = false;
    os::RegView view = os::RegView::kDefault;  // /reg:32, /reg:64
};

// False with a message for an unknown verb, an option the verb does not
// take, a missing or surplus argument, options that exclude each other.
// An argument that starts with "/" or "-" but names no option of the verb
// is an argument (a POSIX path such as /tmp/x.reg), not an unknown option.
bool ParseCommandLine(std::vector<std::string> const& arguments, Command& command, std::string& error);

}  // namespace zelk::regtool
