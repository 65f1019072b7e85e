#include "command_line.h"

#include <cctype>
#include <string_view>

namespace zelk::regtool {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

struct VerbEntry {
    char const* name;
    Verb verb;
    char const* options;  // the options it takes, " "-separated
    std::size_t positional;
};

constexpr VerbEntry kVerbs[] = {
    {"query", Verb::kQuery, " v ve s ", 1},
    {"add", Verb::kAdd, " v ve t d s f ", 1},
    {"delete", Verb::kDelete, " v ve va f ", 1},
    {"export", Verb::kExport, " y ", 2},
    {"import", Verb::kImport, " ", 1},
};

bool IsHelp(std::string_view argument) {
    std::string const lower = Lower(argument);
    return lower == "/?" || lower == "-?" || lower == "-h" || lower == "--help" || lower == "/h" || lower == "help";
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
        error = "unknown command '" + arguments[0] + "' (commands: query, add, delete, export, import; try --help)";
        return false;
    }
    command.verb = verb->verb;
    std::string const context = std::string(verb->name) + ": ";
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string const& argument = arguments[i];
        if (IsHelp(argument)) {
            command.verb = Verb::kHelp;
            return true;
        }
        std::string const option = argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')
                                       ? Lower(argument.substr(1))
                                       : std::string();
        if (option == "reg:32" || option == "reg:64") {
            if (command.view != os::RegView::kDefault) {
                error = context + "give only one of /reg:32 and /reg:64";
                return false;
            }
            command.view = option == "reg:32" ? os::RegView::k32 : os::RegView::k64;
            continue;
        }
        bool const known = !option.empty() && std::string_view(verb->options).find(" " + option + " ") !=
                                                  std::string_view::npos;
        if (!known) {
            positional.push_back(argument);
            continue;
        }
        // "add /s" takes a separator; "query /s" searches the sub-keys.
        bool const takesValue =
            option == "v" || option == "t" || option == "d" || (option == "s" && verb->verb == Verb::kAdd);
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
            if (text) {
                *text = arguments[++i];
            }
            return true;
        };
        bool ok = true;
        if (option == "v") ok = set(command.valueName, &command.name);
        else if (option == "ve") ok = set(command.defaultValue, nullptr);
        else if (option == "va") ok = set(command.allValues, nullptr);
        else if (option == "t") ok = set(command.type, &command.typeName);
        else if (option == "d") ok = set(command.data, &command.dataText);
        else if (option == "s" && verb->verb == Verb::kAdd) ok = set(command.separator, &command.separatorText);
        else if (option == "s") ok = set(command.recurse, nullptr);
        else if (option == "f") ok = set(command.force, nullptr);
        else if (option == "y") ok = set(command.overwrite, nullptr);
        if (!ok) {
            return false;
        }
    }
    if (positional.size() < verb->positional) {
        error = context + (positional.empty() && verb->verb != Verb::kImport ? "no key given" : "no file given");
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
    if (verb->verb == Verb::kImport) {
        command.file = positional[0];
    } else {
        command.key = positional[0];
        if (verb->verb == Verb::kExport) {
            command.file = positional[1];
        }
    }
    return true;
}

}  // namespace zelk::regtool
