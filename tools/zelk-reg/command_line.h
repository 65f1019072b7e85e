// The command line, reg's way: a verb, its positional arguments, and
// options written "/v" or "-v" in any case.  Each verb is one row of the
// subcommand table (subcommands.cpp): its name, the function that runs it,
// its arguments and its options, each bound to the field of Command it
// fills.
#pragma once

#include "key_name.h"

#include "platform/registry.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::regtool {

// What compare prints: differences (the default), everything, matches only,
// or nothing.
enum class CompareOutput { kDifferences, kAll, kSame, kNone };

struct Subcommand;

struct Command {
    Subcommand const* subcommand = nullptr;  // nullptr: the manual
    bool help = false;  // "VERB /?": that verb's usage
    std::string keyText;  // KEY (KEY1) as given, UTF-8
    std::string key2Text;  // copy and compare: KEY2
    KeyName key;  // the two parsed, with the view of /reg:32 or /reg:64
    KeyName key2;
    std::string file;  // export and import
    bool valueName = false;  // /v NAME (query /f: /v alone searches value names)
    std::string name;
    bool defaultValue = false;  // /ve
    bool allValues = false;  // /va
    bool recurse = false;  // /s (query, copy, compare)
    bool type = false;  // /t TYPE
    std::string typeName;
    bool data = false;  // /d DATA (add)
    std::string dataText;
    bool separator = false;  // /s CHAR (add), /se CHAR (query)
    std::string separatorText;
    bool force = false;  // /f (add, delete, copy)
    bool overwrite = false;  // /y
    bool find = false;  // /f PATTERN (query)
    std::string findText;
    bool searchKeys = false;  // /k
    bool searchData = false;  // /d (query)
    bool caseSensitive = false;  // /c
    bool exact = false;  // /e
    bool verbose = false;  // /z
    CompareOutput compareOutput = CompareOutput::kDifferences;
    bool compareOutputGiven = false;
    os::RegView view = os::RegView::kDefault;  // /reg:32, /reg:64
};

// A positional argument: the text it fills and, for a key, the KeyName it
// is parsed into.
struct Argument {
    std::string Command::*text;
    KeyName Command::*key;  // nullptr: not a key
    std::string_view what;  // "no <what> given"
};

// An option: the flag it sets, and the text it takes (a value option) or
// the choice it makes (compare's /oa /od /os /on).
struct Option {
    std::string_view name;  // without "/", lower case
    bool Command::*given;
    std::string Command::*value = nullptr;
    bool valueMayBeLeftOut = false;  // query /f x /v: /v alone searches value names
    CompareOutput Command::*choice = nullptr;
    CompareOutput chosen = CompareOutput::kDifferences;
};

struct Subcommand {
    std::string_view name;
    int (*run)(Command const& command);
    std::span<Argument const> arguments;
    std::span<Option const> options;
};

// The verbs in the manual's order.
std::span<Subcommand const> Subcommands();

// False with a message for an unknown verb, an option the verb does not
// take, a missing or surplus argument, options that exclude each other.
// An argument that starts with "/" or "-" but names no option of the verb
// is an argument (a POSIX path such as /tmp/x.reg), not an unknown option.
bool ParseCommandLine(std::vector<std::string> const& arguments, Command& command, std::string& error);

// Parses the key arguments into command.key and command.key2; false with
// reg's message for a name that is not a key.
bool ParseKeyArguments(Command& command, std::string& error);

}  // namespace zelk::regtool
