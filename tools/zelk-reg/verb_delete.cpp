// delete: a key with everything below it, one value (/v, /ve), or all the
// values of a key (/va), after a "yes" unless /f is given.
#include "key_name.h"
#include "output.h"
#include "registry_access.h"
#include "verbs.h"

#include "platform/registry.h"

namespace zelk::regtool {

namespace {

bool Cancelled() {
    ReportError("delete: cancelled; nothing was changed");
    return false;
}

bool DeleteKey(Command const& command, KeyName const& key) {
    if (key.isRoot) {
        ReportError("delete: a root key cannot be deleted: " + key.display);
        return false;
    }
    long result = OpenedKey().Open(key);
    if (result == os::kErrorSuccess && !command.force &&
        !Confirm("Permanently delete the key " + key.display + " and everything below it?")) {
        return Cancelled();
    }
    if (result == os::kErrorSuccess) {
        result = DeleteKeyTree(key);
    }
    if (result == os::kErrorFileNotFound) {
        ReportError("the key " + key.display + " was not found");
    } else if (result != os::kErrorSuccess) {
        ReportError("cannot delete " + key.display + ": " + ErrorText(result));
    }
    return result == os::kErrorSuccess;
}

bool DeleteValues(Command const& command, KeyName const& key) {
    std::string const name = command.valueName ? command.name : std::string();
    OpenedKey opened;
    long result = opened.Open(key);
    if (result != os::kErrorSuccess) {
        ReportError(result == os::kErrorFileNotFound ? "the key " + key.display + " was not found"
                                                     : "cannot open " + key.display + ": " + ErrorText(result));
        return false;
    }
    std::vector<Value> values;
    if (command.allValues) {
        result = ReadValues(opened.get(), values);
    } else {
        values.emplace_back();
        result = ReadValue(opened.get(), name, values.back());
    }
    std::string const shown = command.allValues ? "all values" : name.empty() ? "(Default)" : command.name;
    if (result == os::kErrorFileNotFound) {
        ReportError("the value " + shown + " was not found in " + key.display);
        return false;
    }
    if (result != os::kErrorSuccess) {
        ReportError("cannot read " + key.display + ": " + ErrorText(result));
        return false;
    }
    if (!command.force && !Confirm("Delete " + shown + " of " + key.display + "?")) {
        return Cancelled();
    }
    // The values of /va go together or not at all (on POSIX; Windows
    // deletes them one by one).
    os::RegistryTransaction transaction;
    result = transaction.Begin();
    for (std::size_t i = 0; result == os::kErrorSuccess && i < values.size(); ++i) {
        result = os::RegDeleteValueU(opened.get(), values[i].name);
    }
    if (result == os::kErrorSuccess) {
        result = transaction.Commit();
    }
    if (result != os::kErrorSuccess) {
        ReportError("cannot delete " + shown + " of " + key.display + ": " + ErrorText(result));
    }
    return result == os::kErrorSuccess;
}

}  // namespace

int RunDelete(Command const& command) {
    KeyName const& key = command.key;
    bool const values = command.valueName || command.defaultValue || command.allValues;
    if (!(values ? DeleteValues(command, key) : DeleteKey(command, key))) {
        return 1;
    }
    Output output;
    output.Line("The operation completed successfully.");
    return 0;
}

}  // namespace zelk::regtool
