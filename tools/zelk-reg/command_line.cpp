#include "command_line.h"

#include "platform/codepage.h"

namespace zelk::regtool {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = os::AsciiLower(c);
    }
    return lower;
}

bool IsHelp(std::string_view argument) {
    std::string const lower = Lower(argument);
    return lower == "/?" || lower == "-?" || lower == "-h" || lower == "--help" || lower == "/h" || lower == "help";
}

// "v" for "/v" or "-V"; empty for an argument that is not written as an option.
std::string OptionName(std::string const& argument) {
    bool const marked = argument.size() > 1 && (argument[0] == '/' || argument[0] == '-');
    return marked ? Lower(argument.substr(1)) : std::string();
}

Option const* FindOption(Subcommand const& subcommand, std::string const& name) {
    for (Option const& option : subcommand.options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

Subcommand const* FindSubcommand(std::string const& name) {
    for (Subcommand const& subcommand : Subcommands()) {
        if (subcommand.name == name) {
            return &subcommand;
        }
    }
    return nullptr;
}

// The rules between options that no single row can say.
bool CheckCombinations(Command const& command, bool valueLeftOut, std::string& error) {
    if (command.valueName + command.defaultValue + command.allValues > 1) {
        error = "give only one of /v, /ve and /va";
    } else if (command.separator && command.separatorText.size() != 1) {
        error = "the separator of /s is one character";
    } else if ((command.searchKeys || command.searchData || command.caseSensitive || command.exact) && !command.find) {
        error = "/k, /d, /c and /e go with /f";
    } else if (valueLeftOut && !command.find) {
        error = "the option /v needs a value (or /f to search value names)";
    } else if (command.find && (command.defaultValue || (command.valueName && !command.name.empty()))) {
        error = "/f searches: give /v without a name, or neither /v nor /ve";
    }
    return error.empty();
}

// Parses what follows the verb into `command`; false with a message.
bool ParseRest(std::vector<std::string> const& arguments, Subcommand const& subcommand, Command& command,
               std::string& error) {
    std::size_t positional = 0;
    bool valueLeftOut = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string const& argument = arguments[i];
        if (IsHelp(argument)) {
            command.help = true;
            return true;
        }
        std::string const name = OptionName(argument);
        if (name == "reg:32" || name == "reg:64") {
            if (command.view != os::RegView::kDefault) {
                error = "give only one of /reg:32 and /reg:64";
                return false;
            }
            command.view = name == "reg:32" ? os::RegView::k32 : os::RegView::k64;
            continue;
        }
        Option const* const option = name.empty() ? nullptr : FindOption(subcommand, name);
        if (option == nullptr) {
            if (positional == subcommand.arguments.size()) {
                error = "unexpected argument '" + argument + "'";
                return false;
            }
            command.*subcommand.arguments[positional++].text = argument;
            continue;
        }
        if (command.*option->given) {
            error = "the option " + argument + " is given twice";
            return false;
        }
        command.*option->given = true;
        if (option->choice != nullptr) {
            command.*option->choice = option->chosen;
        }
        if (option->value == nullptr) {
            continue;
        }
        bool const last = i + 1 >= arguments.size();
        if (option->valueMayBeLeftOut && (last || FindOption(subcommand, OptionName(arguments[i + 1])) != nullptr)) {
            valueLeftOut = true;
        } else if (last) {
            error = "the option " + argument + " needs a value";
            return false;
        } else {
            command.*option->value = arguments[++i];
        }
    }
    if (positional < subcommand.arguments.size()) {
        error = "no " + std::string(subcommand.arguments[positional].what) + " given";
        return false;
    }
    return CheckCombinations(command, valueLeftOut, error);
}

}  // namespace

bool ParseCommandLine(std::vector<std::string> const& arguments, Command& command, std::string& error) {
    command = Command();
    if (arguments.empty()) {
        error = "no command given (try zelk-reg --help)";
        return false;
    }
    if (IsHelp(arguments[0])) {
        return true;
    }
    command.subcommand = FindSubcommand(Lower(arguments[0]));
    if (command.subcommand == nullptr) {
        error = "unknown command '" + arguments[0] +
                "' (commands: query, add, delete, copy, compare, export, import; try --help)";
        return false;
    }
    if (!ParseRest(arguments, *command.subcommand, command, error)) {
        error = std::string(command.subcommand->name) + ": " + error;
        return false;
    }
    return true;
}

bool ParseKeyArguments(Command& command, std::string& error) {
    if (command.subcommand == nullptr || command.help) {
        return true;
    }
    for (Argument const& argument : command.subcommand->arguments) {
        if (argument.key != nullptr) {
            KeyName& key = command.*argument.key;
            if (!ParseKeyName(command.*argument.text, key, error)) {
                return false;
            }
            key.view = command.view;
        }
    }
    return true;
}

}  // namespace zelk::regtool
