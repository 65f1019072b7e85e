// export: the key and everything below it, depth first in the registry's
// order, as regedit exports it.  The whole file is made before it is
// written, so a registry error leaves an existing file as it was.
#include "files.h"
#include "key_name.h"
#include "output.h"
#include "reg_file.h"
#include "registry_access.h"
#include "verbs.h"

#include "platform/registry.h"

namespace zelk::regtool {

namespace {

bool ExportKey(KeyName const& key, HKEY handle, RegFileWriter& writer) {
    std::vector<Value> values;
    std::vector<std::string> subKeys;
    long result = ReadValues(handle, values);
    if (result == os::kErrorSuccess) {
        result = ReadSubKeyNames(handle, subKeys);
    }
    if (result != os::kErrorSuccess) {
        ReportError("cannot read " + key.display + ": " + ErrorText(result));
        return false;
    }
    writer.Key(key.display);
    for (Value const& value : values) {
        writer.Add(value);
    }
    for (std::string const& name : subKeys) {
        KeyName const sub = SubKey(key, name);
        OpenedKey opened;
        if (long const opening = opened.Open(sub); opening != os::kErrorSuccess) {
            ReportError("cannot open " + sub.display + ": " + ErrorText(opening));
            return false;
        }
        if (!ExportKey(sub, opened.get(), writer)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ExportToBytes(KeyName const& key, std::string& bytes) {
    OpenedKey opened;
    long const result = opened.Open(key);
    if (result != os::kErrorSuccess) {
        ReportError(result == os::kErrorFileNotFound ? "the key " + key.display + " was not found"
                                                     : "cannot open " + key.display + ": " + ErrorText(result));
        return false;
    }
    RegFileWriter writer;
    if (!ExportKey(key, opened.get(), writer)) {
        return false;
    }
    bytes = writer.Bytes();
    return true;
}

int RunExport(Command const& command) {
    std::string bytes;
    if (!ExportToBytes(command.key, bytes)) {
        return 1;
    }
    if (!command.overwrite && FileExists(command.file) &&
        !Confirm("The file " + command.file + " exists. Overwrite it?")) {
        ReportError("export: cancelled; " + command.file + " was left as it was");
        return 1;
    }
    std::string error;
    if (!WriteWholeFile(command.file, bytes, error)) {
        ReportError(error);
        return 1;
    }
    return 0;
}

}  // namespace zelk::regtool
