// The registry calls over the library's own SQLite registry: argument
// checks and name rules; connections.cpp finds the connection that serves
// a call, store.cpp keeps the keys and values.  The A calls are in
// ansi_calls.cpp.
#include "platform/registry.h"

#include "platform/codepage.h"
#include "platform/posix/registry/connections.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelk::os {

namespace {

using registry::IsRoot;
using registry::KeyId;
using registry::kFileCount;
using registry::kMachineFile;
using registry::kUserFile;
using registry::RegistryCall;
using registry::RegistryStore;
using registry::Target;
using registry::ThreadState;

// A name of the U calls ends where a W call's string would, at a zero; the
// rest must be UTF-8.  `units`: its length in UTF-16 units.
bool UnicodeName(std::string_view& name, std::size_t& units) {
    name = name.substr(0, name.find('\0'));
    return IsUtf8(name, &units);
}

// Splits a key path at "\".  Empty steps ("a\\b", "a\") are passed over as
// Windows does; a leading "\" is a bad path name, and a step longer than
// Windows' 255 characters (UTF-16 units) an invalid parameter.
long SplitKeyPath(std::string_view rest, std::vector<std::string_view>& steps) {
    std::size_t units = 0;
    if (!UnicodeName(rest, units)) {
        return kErrorInvalidParameter;
    }
    if (!rest.empty() && rest.front() == '\\') {
        return kErrorBadPathname;
    }
    while (!rest.empty()) {
        std::size_t const end = rest.find('\\');
        std::string_view const step = rest.substr(0, end);
        if (step.size() > kMaxKeyNameLength && (IsUtf8(step, &units), units > kMaxKeyNameLength)) {
            return kErrorInvalidParameter;
        }
        if (!step.empty()) {
            steps.push_back(step);
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return kErrorSuccess;
}

// A call on a sub-key path below a key: inside the barrier, with the path
// split into its steps and the key's handle resolved.
struct PathCall {
    long Begin(HKEY key, std::string_view subKey) {
        long const split = SplitKeyPath(subKey, steps);
        return split != kErrorSuccess ? split : call.Resolve(key, target);
    }

    RegistryCall call;
    Target target;
    std::vector<std::string_view> steps;
};

long OpenOrCreate(HKEY key, std::string_view subKey, HKEY* result, bool create) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    *result = nullptr;
    PathCall path;
    if (long const begun = path.Begin(key, subKey); begun != kErrorSuccess) {
        return begun;
    }
    auto& [call, target, steps] = path;
    if (!create && subKey.substr(0, subKey.find('\0')).empty()) {
        *result = key;  // RegOpenKey's rule: the same handle, not a new one
        return kErrorSuccess;
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store, create); opened != kErrorSuccess) {
        return create ? call.Wrote(target.file, opened) : opened;
    }
    KeyId id;
    long const found =
        create ? call.Wrote(target.file, store->Create(target.key, steps, id)) : store->Find(target.key, steps, id);
    if (found != kErrorSuccess) {
        return found;
    }
    *result = call.Handles().Add({target.file, id});
    return kErrorSuccess;
}

long DeleteKey(HKEY key, std::string_view subKey, bool tree) {
    PathCall path;
    if (long const begun = path.Begin(key, subKey); begun != kErrorSuccess) {
        return begun;
    }
    auto& [call, target, steps] = path;
    if (!tree && steps.empty() && IsRoot(key)) {
        return kErrorAccessDenied;  // the hives themselves stay
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store, true); opened != kErrorSuccess) {
        return call.Wrote(target.file, opened);
    }
    KeyId victim = target.key;
    if (!steps.empty()) {
        if (long const found = store->Find(target.key, steps, victim); found != kErrorSuccess) {
            return found;
        }
    }
    // Without a sub-key the tree call empties `key` and keeps it.
    return call.Wrote(target.file, tree ? store->DeleteTree(victim, !steps.empty()) : store->DeleteKey(victim));
}

// One call on `key`'s values or sub-keys: the handle resolved, then (where
// a value's name of `units` UTF-16 units can exist at all) its file opened
// and `act(store, id)` run there.  `write`: a write, which joins the
// thread's transaction.
template <class Act>
long OnKey(HKEY key, std::size_t units, bool write, Act const& act) {
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    if (units > kMaxValueNameLength) {
        return kErrorFileNotFound;  // no such value can exist
    }
    RegistryStore* store = nullptr;
    long result = call.Store(target, store, write);
    if (result == kErrorSuccess) {
        result = act(*store, target.key);
    }
    return write ? call.Wrote(target.file, result) : result;
}

long QueryValue(HKEY key, std::string_view name, std::uint32_t* type, std::string* data) {
    std::size_t units = 0;
    if (!UnicodeName(name, units)) {
        return kErrorInvalidParameter;
    }
    return OnKey(key, units, false,
                 [&](RegistryStore& store, KeyId id) { return store.QueryValue(id, name, type, data); });
}

long SetValue(HKEY key, std::string_view name, std::uint32_t type, std::string_view data) {
    std::size_t units = 0;
    if (!UnicodeName(name, units) || units > kMaxValueNameLength || data.size() > std::uint32_t{0xFFFFFFFF}) {
        return kErrorInvalidParameter;
    }
    return OnKey(key, units, true, [&](RegistryStore& store, KeyId id) {
        return store.SetValue(id, name, type, reinterpret_cast<unsigned char const*>(data.data()),
                              static_cast<std::uint32_t>(data.size()));
    });
}

long DeleteValue(HKEY key, std::string_view name) {
    std::size_t units = 0;
    if (!UnicodeName(name, units)) {
        return kErrorInvalidParameter;
    }
    return OnKey(key, units, true, [&](RegistryStore& store, KeyId id) { return store.DeleteValue(id, name); });
}

// Listing a key with no HKEY_CLASSES_ROOT at all finds nothing; nothing a
// listing itself gives can be kErrorFileNotFound.
long Listed(long result) { return result == kErrorFileNotFound ? kErrorNoMoreItems : result; }

long EnumKey(HKEY key, std::uint32_t index, std::string& name) {
    return Listed(OnKey(key, 0, false, [&](RegistryStore& store, KeyId id) { return store.EnumKey(id, index, name); }));
}

long EnumValue(HKEY key, std::uint32_t index, std::string& name, std::uint32_t& type, std::string& data) {
    return Listed(OnKey(key, 0, false,
                        [&](RegistryStore& store, KeyId id) { return store.EnumValue(id, index, name, type, data); }));
}

}  // namespace

long RegOpenKeyU(HKEY key, std::string_view subKey, RegView, HKEY* result) {
    return OpenOrCreate(key, subKey, result, false);
}

long RegCreateKeyU(HKEY key, std::string_view subKey, RegView, HKEY* result) {
    return OpenOrCreate(key, subKey, result, true);
}

long RegQueryValueU(HKEY key, std::string_view valueName, std::uint32_t* type, std::string* data) {
    return QueryValue(key, valueName, type, data);
}

long RegSetValueU(HKEY key, std::string_view valueName, std::uint32_t type, std::string_view data) {
    return SetValue(key, valueName, type, data);
}

long RegEnumKeyU(HKEY key, std::uint32_t index, std::string& name) { return EnumKey(key, index, name); }

long RegEnumValueU(HKEY key, std::uint32_t index, std::string& name, std::uint32_t* type, std::string* data) {
    std::uint32_t foundType = 0;
    std::string found;
    long const result = EnumValue(key, index, name, foundType, data ? *data : found);
    if (result == kErrorSuccess && type) {
        *type = foundType;
    }
    return result;
}

long RegDeleteKeyU(HKEY key, std::string_view subKey, RegView) { return DeleteKey(key, subKey, false); }

long RegDeleteTreeU(HKEY key, std::string_view subKey) { return DeleteKey(key, subKey, true); }

long RegDeleteValueU(HKEY key, std::string_view valueName) { return DeleteValue(key, valueName); }

long RegCloseKey(HKEY key) {
    if (IsRoot(key)) {
        return kErrorSuccess;  // the predefined roots stay open
    }
    RegistryCall call;
    return call.Handles().Remove(key) ? kErrorSuccess : kErrorInvalidHandle;
}

long RegDuplicateKey(HKEY key, HKEY* result) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    *result = nullptr;
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    if (IsRoot(key)) {
        *result = key;
        return kErrorSuccess;
    }
    *result = call.Handles().Add(target);
    return kErrorSuccess;
}

RegistryTransaction::RegistryTransaction() noexcept : m_open(false) {}

RegistryTransaction::~RegistryTransaction() {
    if (m_open) {
        RegistryCall call;
        ThreadState& thread = call.Thread();
        for (int file = 0; file < kFileCount; ++file) {
            if (thread.wrote[file]) {
                thread.files[file].RollbackWrite();
                thread.wrote[file] = false;
            }
        }
        thread.inTransaction = false;
    }
}

long RegistryTransaction::Begin() {
    if (m_open) {
        return kErrorInvalidParameter;
    }
    RegistryCall call;
    ThreadState& thread = call.Thread();
    if (thread.inTransaction) {
        return kErrorInvalidParameter;  // another transaction of this thread is open
    }
    thread.inTransaction = true;
    thread.broken = kErrorSuccess;
    m_open = true;
    return kErrorSuccess;
}

long RegistryTransaction::Commit() {
    if (!m_open) {
        return kErrorInvalidParameter;
    }
    m_open = false;
    RegistryCall call;
    ThreadState& thread = call.Thread();
    long result = thread.broken;
    // The machine file first: its commit may have to wait for readers (the
    // rollback journal) and so fail with nothing written anywhere; the
    // user file's commit in WAL mode fails only on I/O errors.
    for (int const file : {kMachineFile, kUserFile}) {
        if (thread.wrote[file]) {
            if (result == kErrorSuccess) {
                result = thread.files[file].CommitWrite();
            }
            thread.files[file].RollbackWrite();  // nothing left after a commit
            thread.wrote[file] = false;
        }
    }
    thread.inTransaction = false;
    return result;
}

}  // namespace zelk::os
