// import: the whole file is read into a plan first, so a file with an error
// changes nothing.  The plan is then applied in one registry transaction,
// and what each change replaces is recorded before it is made: when a write
// fails, the transaction is rolled back (POSIX) and the record is played
// backwards (Windows, whose registry has no transaction for these calls), so
// a failed import leaves the registry as it found it on both.
#include "files.h"
#include "output.h"
#include "reg_file.h"
#include "registry_access.h"
#include "verbs.h"

#include "platform/registry.h"

#include <optional>

namespace zelk::regtool {

namespace {

// What puts one change back: keys to delete again, values to set or delete
// again, keys (with their values) to create again.
struct Undo {
    enum Kind { kDeleteKey, kPutValue, kRemoveValue, kRecreate };
    Kind kind;
    KeyName key;
    Value value;
    std::vector<KeyContents> tree;  // kRecreate
};

class Importer {
public:
    // Records what `change` will replace; then makes it.
    long Apply(RegChange const& change) {
        long result = Record(change);
        return result == os::kErrorSuccess ? Make(change) : result;
    }

    void CloseKey() { m_current.Close(); }

    // Puts back what the changes replaced, last first; the number of steps
    // that failed.
    std::size_t Revert() {
        m_current.Close();
        std::size_t failed = 0;
        for (auto step = m_undo.rbegin(); step != m_undo.rend(); ++step) {
            long const result = Revert(*step);
            failed += result != os::kErrorSuccess && result != os::kErrorFileNotFound;
        }
        return failed;
    }

private:
    long Record(RegChange const& change) {
        Undo undo{Undo::kDeleteKey,
                  change.kind == RegChange::kCreateKey || change.kind == RegChange::kDeleteKey ? change.key : m_key,
                  {},
                  {}};
        long result = os::kErrorSuccess;
        OpenedKey opened;
        switch (change.kind) {
            case RegChange::kCreateKey: {
                // The highest key of the path that does not exist yet, if any.
                bool missing = false;
                for (KeyName key = change.key; !key.isRoot;) {
                    if ((result = opened.Open(key)) != os::kErrorFileNotFound) {
                        break;
                    }
                    undo.key = key;
                    missing = true;
                    std::string leaf;
                    key = ParentKey(key, leaf);
                }
                m_key = change.key;
                if (missing) {
                    m_undo.push_back(std::move(undo));
                }
                return result == os::kErrorFileNotFound ? os::kErrorSuccess : result;
            }
            case RegChange::kDeleteKey:
                result = ReadTree(change.key, undo.tree);
                undo.kind = Undo::kRecreate;
                break;
            case RegChange::kSetValue:
            case RegChange::kDeleteValue:
                result = ReadValue(m_current.get(), change.value.name, undo.value);
                undo.kind = result == os::kErrorSuccess ? Undo::kPutValue : Undo::kRemoveValue;
                undo.value.name = change.value.name;
                if (result == os::kErrorFileNotFound) {
                    result = os::kErrorSuccess;
                }
                break;
        }
        if (result == os::kErrorFileNotFound) {
            return os::kErrorSuccess;  // nothing there: nothing to put back
        }
        if (result == os::kErrorSuccess) {
            m_undo.push_back(std::move(undo));
        }
        return result;
    }

    long Make(RegChange const& change) {
        switch (change.kind) {
            case RegChange::kCreateKey: return m_current.Create(change.key);
            case RegChange::kDeleteKey: {
                m_current.Close();
                long const result = DeleteKeyTree(change.key);
                return result == os::kErrorFileNotFound ? os::kErrorSuccess : result;  // regedit's rule
            }
            case RegChange::kSetValue:
                return os::RegSetValueU(m_current.get(), change.value.name, change.value.type, change.value.data);
            case RegChange::kDeleteValue: {
                long const result = os::RegDeleteValueU(m_current.get(), change.value.name);
                return result == os::kErrorFileNotFound ? os::kErrorSuccess : result;
            }
        }
        return os::kErrorInvalidParameter;
    }

    // Writes only what differs, so that playing the record after a rolled
    // back transaction (POSIX) asks nothing of a registry that may be full.
    static long PutBack(HKEY key, Value const& value) {
        Value now;
        if (ReadValue(key, value.name, now) == os::kErrorSuccess && now.type == value.type && now.data == value.data) {
            return os::kErrorSuccess;
        }
        return os::RegSetValueU(key, value.name, value.type, value.data);
    }

    static long Revert(Undo const& undo) {
        if (undo.kind == Undo::kDeleteKey) {
            return DeleteKeyTree(undo.key);
        }
        OpenedKey opened;
        if (undo.kind != Undo::kRecreate) {
            long const result = opened.Open(undo.key);
            if (result != os::kErrorSuccess) return result;
            return undo.kind == Undo::kPutValue ? PutBack(opened.get(), undo.value)
                                                : os::RegDeleteValueU(opened.get(), undo.value.name);
        }
        long result = os::kErrorSuccess;
        for (auto const& [key, values] : undo.tree) {
            if ((result = opened.Create(key)) != os::kErrorSuccess) return result;
            for (Value const& value : values) {
                if ((result = PutBack(opened.get(), value)) != os::kErrorSuccess) return result;
            }
        }
        return result;
    }

    OpenedKey m_current;
    KeyName m_key;  // of m_current
    std::vector<Undo> m_undo;
};

}  // namespace

bool ImportBytes(std::string_view bytes, std::string const& fileName, os::RegView view) {
    std::vector<RegChange> changes;
    std::string error;
    if (!ReadRegFile(bytes, fileName, changes, error)) {
        ReportError(error);
        return false;
    }
    Importer importer;
    std::optional<os::RegistryTransaction> transaction(std::in_place);
    long result = transaction->Begin();
    std::string failure = "cannot import " + fileName;
    std::string key;
    for (RegChange& change : changes) {
        if (result != os::kErrorSuccess) {
            break;
        }
        change.key.view = view;
        if (change.kind == RegChange::kCreateKey || change.kind == RegChange::kDeleteKey) {
            key = change.key.display;
        }
        result = importer.Apply(change);
        if (result != os::kErrorSuccess) {
            failure = fileName + ":" + std::to_string(change.line) + ": cannot write " + key;
        }
    }
    importer.CloseKey();
    if (result == os::kErrorSuccess && (result = transaction->Commit()) == os::kErrorSuccess) {
        return true;
    }
    transaction.reset();  // rolls back what the store holds of it
    std::size_t const lost = importer.Revert();
    ReportError(
        failure + ": " + ErrorText(result) +
        (lost == 0 ? " Nothing was changed." : " " + std::to_string(lost) + " earlier changes could not be undone."));
    return false;
}

int RunImport(Command const& command) {
    std::string bytes;
    std::string error;
    if (!ReadWholeFile(command.file, bytes, error)) {
        ReportError(error);
        return 1;
    }
    if (!ImportBytes(bytes, command.file, command.view)) {
        return 1;
    }
    Output output;
    output.Line("The operation completed successfully.");
    return 0;
}

}  // namespace zelk::regtool
