#include "command_line.h"

#include "platform/codepage.h"

#include <string_view>

namespace zelk::regtool {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = os::AsciiLower(c);
    }
    return lower;
}

struct VerbEntry {
    char const* name;
    Verb verb;
    char const* options;  // the options it takes, " "-separated; "=" marks one that takes a value
    std::size_t positional;
};

constexpr VerbEntry kVerbs[] = {
    {"query", Verb::kQuery, " v= ve s f= k d c e t= z se= ", 1},
    {"add", Verb::kAdd, " v= ve t= d= s= f ", 1},
    {"delete", Verb::kDelete, " v= ve va f ", 1},
    {"copy", Verb::kCopy, " s f ", 2},
    {"compare", Verb::kCompare, " v= ve s oa od os on ", 2},
    {"export", Verb::kExport, " y ", 2},
    {"import", Verb::kImport, " ", 1},
};

bool IsHelp(std::string_view argument) {
    std::string const lower = Lower(argument);
    return lower == "/?" || lower == "-?" || lower == "-h" || lower == "--help" || lower == "/h" || lower == "help";
}

// " v= " for an option that takes a value, " v " for one that does not,
// nullptr when the verb has no such option.
char const* FindOption(VerbEntry const& verb, std::string const& option) {
    std::string_view const options = verb.options;
    std::size_t at = options.find(" " + option + "= ");
    if (at == std::string_view::npos) {
        at = options.find(" " + option + " ");
    }
    return option.empty() || at == std::string_view::npos ? nullptr : verb.options + at;
}

}  // namespace

bool ParseCommandLine(std::vector<std::string> const& arguments, Command& command, std::string& error) {
    command = Command();
    if (arguments.empty()) {
        error = "no command given (try zelk-reg --help)";
        return false;
    }
    if (IsHelp(arguments[0])) {
        command.verb = Verb::kHelp;
        return true;
    }
    std::string const verbName = Lower(arguments[0]);
    VerbEntry const* verb = nullptr;
    for (VerbEntry const& entry : kVerbs) {
        if (verbName == entry.name) {
            verb = &entry;
        }
    }
    if (verb == nullptr) {
        error = "unknown command '" + arguments[0] +
                "' (commands: query, add, delete, copy, compare, export, import; try --help)";
        return false;
    }
    command.verb = verb->verb;
    std::string const context = std::string(verb->name) + ": ";
    std::vector<std::string> positional;
    bool valueAlone = false;
    auto const optionOf = [&](std::string const& argument) {
        return argument.size() > 1 && (argument[0] == '/' || argument[0] == '-') ? Lower(argument.substr(1))
                                                                                 : std::string();
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string const& argument = arguments[i];
        if (IsHelp(argument)) {
            command.helpFor = verb->verb;
            command.verb = Verb::kHelp;
            return true;
        }
        std::string const option = optionOf(argument);
        if (option == "reg:32" || option == "reg:64") {
            if (command.view != os::RegView::kDefault) {
                error = context + "give only one of /reg:32 and /reg:64";
                return false;
            }
            command.view = option == "reg:32" ? os::RegView::k32 : os::RegView::k64;
            continue;
        }
        char const* const found = FindOption(*verb, option);
        if (found == nullptr) {
            positional.push_back(argument);
            continue;
        }
        bool takesValue = found[1 + option.size()] == '=';
        // "query /f x /v" searches value names: there /v may stand alone.
        if (takesValue && option == "v" && verb->verb == Verb::kQuery &&
            (i + 1 >= arguments.size() || FindOption(*verb, optionOf(arguments[i + 1])) != nullptr)) {
            takesValue = false;
            valueAlone = true;
        }
        if (takesValue && i + 1 >= arguments.size()) {
            error = context + "the option " + argument + " needs a value";
            return false;
        }
        auto const set = [&](bool& flag, std::string* text) {
            if (flag) {
                error = context + "the option " + argument + " is given twice";
                return false;
            }
            flag = true;
            if (text && takesValue) {
                *text = arguments[++i];
            }
            return true;
        };
        bool ok = true;
        if (option == "v") ok = set(command.valueName, &command.name);
        else if (option == "ve") ok = set(command.defaultValue, nullptr);
        else if (option == "va") ok = set(command.allValues, nullptr);
        else if (option == "t") ok = set(command.type, &command.typeName);
        else if (option == "d" && takesValue) ok = set(command.data, &command.dataText);
        else if (option == "d") ok = set(command.searchData, nullptr);
        else if ((option == "s" && takesValue) || option == "se") ok = set(command.separator, &command.separatorText);
        else if (option == "s") ok = set(command.recurse, nullptr);
        else if (option == "f" && takesValue) ok = set(command.find, &command.findText);
        else if (option == "f") ok = set(command.force, nullptr);
        else if (option == "y") ok = set(command.overwrite, nullptr);
        else if (option == "k") ok = set(command.searchKeys, nullptr);
        else if (option == "c") ok = set(command.caseSensitive, nullptr);
        else if (option == "e") ok = set(command.exact, nullptr);
        else if (option == "z") ok = set(command.verbose, nullptr);
        else {  // oa od os on
            ok = set(command.compareOutputGiven, nullptr);
            command.compareOutput = option == "oa"   ? CompareOutput::kAll
                                    : option == "os" ? CompareOutput::kSame
                                    : option == "on" ? CompareOutput::kNone
                                                     : CompareOutput::kDifferences;
        }
        if (!ok) {
            return false;
        }
    }
    if (positional.size() < verb->positional) {
        error = context + (positional.empty() && verb->verb != Verb::kImport ? "no key given"
                           : verb->verb == Verb::kCopy || verb->verb == Verb::kCompare ? "no second key given"
                                                                                        : "no file given");
        return false;
    }
    if (positional.size() > verb->positional) {
        error = context + "unexpected argument '" + positional[verb->positional] + "'";
        return false;
    }
    if (command.valueName + command.defaultValue + command.allValues > 1) {
        error = context + "give only one of /v, /ve and /va";
        return false;
    }
    if (command.separator && command.separatorText.size() != 1) {
        error = context + "the separator of /s is one character";
        return false;
    }
    bool const findOnly = command.searchKeys || command.searchData || command.caseSensitive || command.exact;
    if (findOnly && !command.find) {
        error = context + "/k, /d, /c and /e go with /f";
        return false;
    }
    if (valueAlone && !command.find) {
        error = context + "the option /v needs a value (or /f to search value names)";
        return false;
    }
    if (command.find && (command.defaultValue || (command.valueName && !command.name.empty()))) {
        error = context + "/f searches: give /v without a name, or neither /v nor /ve";
        return false;
    }
    if (verb->verb == Verb::kImport) {
        command.file = positional[0];
    } else {
        command.key = positional[0];
        if (verb->verb == Verb::kExport) {
            command.file = positional[1];
        } else if (verb->positional == 2) {
            command.key2 = positional[1];
        }
    }
    return true;
}

}  // namespace zelk::regtool
