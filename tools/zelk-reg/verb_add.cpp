// add: creates the key and sets one value, reg's way: without /v or /ve the
// key's default value is set (to an empty REG_SZ unless /t or /d say
// otherwise); an existing value is replaced only with /f or a "yes".
#include "key_name.h"
#include "output.h"
#include "registry_access.h"
#include "value_data.h"
#include "verbs.h"

#include "platform/registry.h"

namespace zelk::regtool {

int RunAdd(Command const& command) {
    KeyName const& key = command.key;
    std::uint32_t type = REG_SZ;
    if (command.type && !ParseTypeName(command.typeName, type)) {
        ReportError("add: unknown type '" + command.typeName +
                    "' (types: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE)");
        return 1;
    }
    if (!command.data && (type == REG_DWORD || type == REG_QWORD)) {
        ReportError("add: " + TypeName(type) + " needs its number in /d");
        return 1;
    }
    if (command.separator && type != REG_MULTI_SZ) {
        ReportError("add: /s separates the strings of REG_MULTI_SZ only");
        return 1;
    }
    std::string data;
    std::string error;
    if (!ParseData(type, command.dataText, command.separatorText, data, error)) {
        ReportError("add: " + error);
        return 1;
    }
    std::string const name = command.valueName ? command.name : std::string();
    OpenedKey opened;
    if (long const result = opened.Create(key); result != os::kErrorSuccess) {
        ReportError("cannot create " + key.display + ": " + ErrorText(result));
        return 1;
    }
    Value existing;
    std::string const shown = name.empty() ? std::string("(Default)") : command.name;
    if (!command.force && ReadValue(opened.get(), name, existing) == os::kErrorSuccess &&
        !Confirm("The value " + shown + " of " + key.display + " exists. Overwrite it?")) {
        ReportError("add: cancelled; nothing was changed");
        return 1;
    }
    long const result = os::RegSetValueU(opened.get(), name, type, data);
    if (result != os::kErrorSuccess) {
        ReportError("cannot write " + shown + " in " + key.display + ": " + ErrorText(result));
        return 1;
    }
    Output output;
    output.Line("The operation completed successfully.");
    return 0;
}

}  // namespace zelk::regtool
