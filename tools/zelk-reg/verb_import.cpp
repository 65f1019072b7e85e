// import: the whole file is read into a plan first, so a file with an error
// changes nothing; the plan is then applied in one registry transaction (on
// Windows, which has none for these calls, the checks before the first
// write are what protects).
#include "files.h"
#include "output.h"
#include "reg_file.h"
#include "registry_access.h"
#include "verbs.h"

#include "platform/registry.h"

namespace zelk::regtool {

namespace {

// Applies one change; the key of the values is `current`.
long Apply(RegChange const& change, OpenedKey& current) {
    switch (change.kind) {
    case RegChange::kCreateKey:
        return current.Create(change.root, change.path);
    case RegChange::kDeleteKey: {
        current.Close();
        long const result = os::RegDeleteTreeA(change.root, change.path.c_str());
        return result == os::kErrorFileNotFound ? os::kErrorSuccess : result;  // regedit's rule
    }
    case RegChange::kSetValue:
        return os::RegSetValueExA(current.get(), change.value.name.c_str(), 0, change.value.type,
                                  reinterpret_cast<unsigned char const*>(change.value.data.data()),
                                  static_cast<std::uint32_t>(change.value.data.size()));
    case RegChange::kDeleteValue: {
        long const result = os::RegDeleteValueA(current.get(), change.value.name.c_str());
        return result == os::kErrorFileNotFound ? os::kErrorSuccess : result;
    }
    }
    return os::kErrorInvalidParameter;
}

}  // namespace

bool ImportBytes(std::string_view bytes, std::string const& fileName) {
    std::vector<RegChange> changes;
    std::string error;
    if (!ReadRegFile(bytes, fileName, changes, error)) {
        ReportError(error);
        return false;
    }
    os::RegistryTransaction transaction;
    if (long const result = transaction.Begin(); result != os::kErrorSuccess) {
        ReportError("cannot import " + fileName + ": " + ErrorText(result));
        return false;
    }
    OpenedKey current;
    std::string key;
    for (RegChange const& change : changes) {
        if (change.kind == RegChange::kCreateKey || change.kind == RegChange::kDeleteKey) {
            key = change.display;
        }
        if (long const result = Apply(change, current); result != os::kErrorSuccess) {
            ReportError(fileName + ":" + std::to_string(change.line) + ": cannot write " + key + ": " +
                        ErrorText(result));
            return false;
        }
    }
    current.Close();
    if (long const result = transaction.Commit(); result != os::kErrorSuccess) {
        ReportError("cannot import " + fileName + ": " + ErrorText(result));
        return false;
    }
    return true;
}

int RunImport(Command const& command) {
    std::string bytes;
    std::string error;
    if (!ReadWholeFile(command.file, bytes, error)) {
        ReportError(error);
        return 1;
    }
    if (!ImportBytes(bytes, command.file)) {
        return 1;
    }
    Output output;
    output.Line("The operation completed successfully.");
    return 0;
}

}  // namespace zelk::regtool
