// copy: the values of one key into another (created when missing), with
// /s every key below it too.  The source is read whole before the first
// write, so a copy into a key below the source ends; the writes are one
// registry transaction on POSIX.  Without /f an existing destination is
// replaced only after a "yes"; what only the destination has stays.
#include "key_name.h"
#include "output.h"
#include "registry_access.h"
#include "verbs.h"

#include "platform/codepage.h"
#include "platform/registry.h"

namespace zelk::regtool {

int RunCopy(Command const& command) {
    KeyName const& source = command.key;
    KeyName const& target = command.key2;
    auto const utf16 = [](std::string const& utf8) {
        std::u16string text;
        std::size_t bad = 0;
        os::Utf8ToUtf16(utf8, text, bad);
        return text;
    };
    if (source.root == target.root && os::CompareNamesNoCase(utf16(source.path), utf16(target.path)) == 0) {
        ReportError("copy: the source and the destination are the same key");
        return 1;
    }
    std::vector<KeyContents> tree;
    long result = os::kErrorSuccess;
    if (command.recurse) {
        result = ReadTree(source, tree);
    } else {
        OpenedKey opened;
        tree.push_back(KeyContents{source, {}});
        if ((result = opened.Open(source)) == os::kErrorSuccess) result = ReadValues(opened.get(), tree[0].values);
    }
    if (result != os::kErrorSuccess) {
        ReportError(result == os::kErrorFileNotFound ? "the key " + source.display + " was not found"
                                                     : "cannot read " + source.display + ": " + ErrorText(result));
        return 1;
    }
    if (!command.force && OpenedKey().Open(target) == os::kErrorSuccess &&
        !Confirm("The key " + target.display + " exists. Overwrite what it holds of " + source.display + "?")) {
        ReportError("copy: cancelled; nothing was changed");
        return 1;
    }
    os::RegistryTransaction transaction;
    result = transaction.Begin();
    for (KeyContents const& key : tree) {
        KeyName copy = target;
        std::string const below = key.key.path.substr(source.path.size());
        copy.path += below;
        copy.display += below;
        OpenedKey opened;
        if (result == os::kErrorSuccess) result = opened.Create(copy);
        for (std::size_t i = 0; result == os::kErrorSuccess && i < key.values.size(); ++i) {
            Value const& value = key.values[i];
            result = os::RegSetValueU(opened.get(), value.name, value.type, value.data);
        }
        if (result != os::kErrorSuccess) {
            ReportError("cannot write " + copy.display + ": " + ErrorText(result));
            return 1;
        }
    }
    if ((result = transaction.Commit()) != os::kErrorSuccess) {
        ReportError("cannot copy to " + target.display + ": " + ErrorText(result));
        return 1;
    }
    Output output;
    output.Line("The operation completed successfully.");
    return 0;
}

}  // namespace zelk::regtool
