// The registry calls over the library's own SQLite registry: handles,
// argument checks and name rules; the storage is in registry_store.cpp.
#include "platform/registry.h"

#include "platform/posix/registry_store.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zelk::os {

namespace {

using registry::KeyId;

// A handle is a number, never an address: bits 2..21 hold a slot index + 1,
// the bits above a generation that changes whenever the slot is reused, so
// a handle used after RegCloseKey is recognised and refused, not mistaken
// for a later key.  The top bit stays clear: the predefined roots have it
// set.
constexpr unsigned kIndexShift = 2;
constexpr unsigned kIndexBits = 20;
constexpr unsigned kGenerationShift = kIndexShift + kIndexBits;
constexpr std::uintptr_t kIndexMask = (std::uintptr_t{1} << kIndexBits) - 1;
constexpr std::uintptr_t kGenerationMask =
    (std::uintptr_t{1} << (sizeof(std::uintptr_t) * 8 - 1 - kGenerationShift)) - 1;
constexpr std::size_t kMaxSlots = kIndexMask - 1;

struct Slot {
    KeyId key = 0;
    std::uintptr_t generation = 0;
    bool open = false;
};

// Everything the registry calls share, behind one lock.  Allocated once and
// never destroyed: a host may still use the registry from its own static
// destructors, after this file's statics are gone.
struct State {
    std::mutex lock;
    // The thread whose RegistryTransaction is open: the one connection is
    // in its transaction, so every other thread waits until it ends.
    std::condition_variable turn;
    std::thread::id writer;
    registry::RegistryStore store;
    std::vector<Slot> slots;
    std::vector<std::size_t> freeSlots;

    void InvalidateHandles() {
        freeSlots.clear();
        for (std::size_t i = slots.size(); i-- > 0;) {
            if (slots[i].open) {
                slots[i].open = false;
                slots[i].generation = (slots[i].generation + 1) & kGenerationMask;
            }
            freeSlots.push_back(i);
        }
    }
};

void LockForFork() noexcept;
void UnlockAfterFork() noexcept;
void ResetInChild() noexcept;

std::atomic<State*> g_made{nullptr};

State& Shared() {
    static State* const state = [] {
        auto* made = new State;
        g_made.store(made);
        // A child of fork() must not use its parent's SQLite connection: it
        // drops it (and the handles) and opens its own on first use.  The
        // lock is held across fork() so the child never inherits it taken.
        pthread_atfork(LockForFork, UnlockAfterFork, ResetInChild);
        return made;
    }();
    return *state;
}

void LockForFork() noexcept { Shared().lock.lock(); }
void UnlockAfterFork() noexcept { Shared().lock.unlock(); }
void ResetInChild() noexcept {
    State& state = Shared();
    state.store.Abandon();
    state.writer = std::thread::id();
    state.InvalidateHandles();
    state.lock.unlock();
}

// Closes the database when the process ends normally, so SQLite can fold
// its write-ahead log back into the file and remove it.
struct CloseAtExit {
    ~CloseAtExit() {
        if (g_made.load() != nullptr) {
            RegistryClose();
        }
    }
} const closeAtExit;

// The key a handle stands for, under the lock.
long Resolve(State& state, HKEY key, KeyId& id) {
    if (key == HKEY_CLASSES_ROOT) {
        id = registry::kClassesRootId;
    } else if (key == HKEY_CURRENT_USER) {
        id = registry::kCurrentUserId;
    } else if (key == HKEY_LOCAL_MACHINE) {
        id = registry::kLocalMachineId;
    } else if (key == HKEY_USERS) {
        id = registry::kUsersId;
    } else {
        auto const value = reinterpret_cast<std::uintptr_t>(key);
        std::uintptr_t const index = (value >> kIndexShift) & kIndexMask;
        if (value == 0 || (value & 3) != 0 || (value >> (sizeof(value) * 8 - 1)) != 0 || index == 0 ||
            index > state.slots.size()) {
            return kErrorInvalidHandle;
        }
        Slot const& slot = state.slots[index - 1];
        if (!slot.open || slot.generation != (value >> kGenerationShift)) {
            return kErrorInvalidHandle;
        }
        id = slot.key;
    }
    return kErrorSuccess;
}

bool IsRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS;
}

long NewHandle(State& state, KeyId id, HKEY& handle) {
    std::size_t index;
    if (!state.freeSlots.empty()) {
        index = state.freeSlots.back();
        state.freeSlots.pop_back();
    } else if (state.slots.size() < kMaxSlots) {
        index = state.slots.size();
        state.slots.emplace_back();
    } else {
        return kErrorNotEnoughMemory;  // a million keys open at once
    }
    Slot& slot = state.slots[index];
    slot.key = id;
    slot.open = true;
    std::uintptr_t const value = (slot.generation << kGenerationShift) | ((index + 1) << kIndexShift);
    handle = reinterpret_cast<HKEY>(value);
    return kErrorSuccess;
}

// Splits a key path at "\".  Empty steps ("a\\b", "a\") are passed over as
// Windows does; a leading "\" is a bad path name, and a step longer than
// Windows' 255 bytes an invalid parameter.  A null path has no steps.
long SplitKeyPath(char const* path, std::vector<std::string_view>& steps) {
    std::string_view rest(path ? path : "");
    if (!rest.empty() && rest.front() == '\\') {
        return kErrorBadPathname;
    }
    while (!rest.empty()) {
        std::size_t const end = rest.find('\\');
        std::string_view const step = rest.substr(0, end);
        if (step.size() > kMaxKeyNameLength) {
            return kErrorInvalidParameter;
        }
        if (!step.empty()) {
            steps.push_back(step);
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return kErrorSuccess;
}

bool IsStringType(std::uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Takes the lock (after another thread's open transaction) and opens the
// database for one call.
class Call {
public:
    Call() : m_state(Shared()), m_guard(m_state.lock) {
        m_state.turn.wait(m_guard, [this] {
            return m_state.writer == std::thread::id() || m_state.writer == std::this_thread::get_id();
        });
        m_open = m_state.store.Open();
    }
    State& state() noexcept { return m_state; }
    registry::RegistryStore& store() noexcept { return m_state.store; }
    long OpenResult() const noexcept { return m_open; }
    // The key behind a handle in a usable database: the handle's fault
    // first, then the database's, as Windows reports them.
    long Key(HKEY key, KeyId& id) {
        if (long const resolved = Resolve(m_state, key, id); resolved != kErrorSuccess) {
            return resolved;
        }
        return m_open;
    }

private:
    State& m_state;
    std::unique_lock<std::mutex> m_guard;
    long m_open;
};

long OpenOrCreate(HKEY key, char const* subKey, HKEY* result, bool create) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    *result = nullptr;
    std::vector<std::string_view> steps;
    if (long const split = SplitKeyPath(subKey, steps); split != kErrorSuccess) {
        return split;
    }
    Call call;
    KeyId parent;
    if (long const resolved = Resolve(call.state(), key, parent); resolved != kErrorSuccess) {
        return resolved;
    }
    if (!create && (!subKey || !*subKey)) {
        *result = key;  // RegOpenKey's rule: the same handle, not a new one
        return kErrorSuccess;
    }
    if (call.OpenResult() != kErrorSuccess) {
        return call.OpenResult();
    }
    KeyId id;
    long const found = create ? call.store().Create(parent, steps, id) : call.store().Find(parent, steps, id);
    if (found != kErrorSuccess) {
        return found;
    }
    HKEY handle;
    if (long const made = NewHandle(call.state(), id, handle); made != kErrorSuccess) {
        return made;
    }
    *result = handle;
    return kErrorSuccess;
}

long DeleteKey(HKEY key, char const* subKey, bool tree) {
    std::vector<std::string_view> steps;
    if (long const split = SplitKeyPath(subKey, steps); split != kErrorSuccess) {
        return split;
    }
    Call call;
    KeyId parent;
    if (long const resolved = Resolve(call.state(), key, parent); resolved != kErrorSuccess) {
        return resolved;
    }
    if (call.OpenResult() != kErrorSuccess) {
        return call.OpenResult();
    }
    KeyId target = parent;
    if (!steps.empty()) {
        if (long const found = call.store().Find(parent, steps, target); found != kErrorSuccess) {
            return found;
        }
    }
    if (tree) {
        // Without a sub-key the tree call empties `key` and keeps it.
        return call.store().DeleteTree(target, !steps.empty());
    }
    if (steps.empty() && IsRoot(key)) {
        return kErrorAccessDenied;  // the hives themselves stay
    }
    return call.store().DeleteKey(target);
}

}  // namespace

long RegOpenKeyA(HKEY key, char const* subKey, HKEY* result) { return OpenOrCreate(key, subKey, result, false); }

long RegCreateKeyA(HKEY key, char const* subKey, HKEY* result) { return OpenOrCreate(key, subKey, result, true); }

long RegCloseKey(HKEY key) {
    if (IsRoot(key)) {
        return kErrorSuccess;  // the predefined roots stay open
    }
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    KeyId id;
    if (long const resolved = Resolve(state, key, id); resolved != kErrorSuccess) {
        return resolved;
    }
    std::size_t const index = ((reinterpret_cast<std::uintptr_t>(key) >> kIndexShift) & kIndexMask) - 1;
    Slot& slot = state.slots[index];
    slot.open = false;
    slot.generation = (slot.generation + 1) & kGenerationMask;
    state.freeSlots.push_back(index);
    return kErrorSuccess;
}

long RegDuplicateKey(HKEY key, HKEY* result) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    *result = nullptr;
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    KeyId id;
    if (long const resolved = Resolve(state, key, id); resolved != kErrorSuccess) {
        return resolved;
    }
    if (IsRoot(key)) {
        *result = key;
        return kErrorSuccess;
    }
    return NewHandle(state, id, *result);
}

long RegQueryValueExA(HKEY key, char const* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) {
    if (reserved || (data && !size)) {
        return kErrorInvalidParameter;
    }
    std::string_view const name = valueName ? valueName : "";
    Call call;
    KeyId id;
    if (long const resolved = Resolve(call.state(), key, id); resolved != kErrorSuccess) {
        return resolved;
    }
    if (name.size() > kMaxValueNameLength) {
        return kErrorFileNotFound;  // no such value can exist
    }
    if (call.OpenResult() != kErrorSuccess) {
        return call.OpenResult();
    }
    return call.store().QueryValue(id, name, type, data, size);
}

long RegSetValueExA(HKEY key, char const* valueName, std::uint32_t /*reserved*/, std::uint32_t type,
                    unsigned char const* data, std::uint32_t size) {
    std::string_view const name = valueName ? valueName : "";
    if (name.size() > kMaxValueNameLength || (!data && size != 0)) {
        return kErrorInvalidParameter;
    }
    // Windows' own leniency: a text whose size leaves out its terminator
    // (the byte right after it is zero) is stored with the terminator.
    if (data && size != 0 && IsStringType(type) && data[size - 1] != 0 && data[size] == 0) {
        ++size;
    }
    Call call;
    KeyId id;
    if (long const found = call.Key(key, id); found != kErrorSuccess) {
        return found;
    }
    return call.store().SetValue(id, name, type, data, size);
}

long RegEnumKeyA(HKEY key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    if (!name) {
        return kErrorInvalidParameter;
    }
    Call call;
    KeyId id;
    if (long const found = call.Key(key, id); found != kErrorSuccess) {
        return found;
    }
    std::string found;
    if (long const listed = call.store().EnumKey(id, index, found); listed != kErrorSuccess) {
        return listed;
    }
    if (found.size() + 1 > nameSize) {
        return kErrorMoreData;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    return kErrorSuccess;
}

long RegEnumValueA(HKEY key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* reserved,
                   std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    if (!name || !nameSize || reserved || (data && !dataSize)) {
        return kErrorInvalidParameter;
    }
    Call call;
    KeyId id;
    if (long const found = call.Key(key, id); found != kErrorSuccess) {
        return found;
    }
    std::string found;
    std::string bytes;
    std::uint32_t foundType = 0;
    if (long const listed = call.store().EnumValue(id, index, found, foundType, bytes); listed != kErrorSuccess) {
        return listed;
    }
    if (type) {
        *type = foundType;
    }
    if (found.size() + 1 > *nameSize) {
        return kErrorMoreData;
    }
    long result = kErrorSuccess;
    if (dataSize) {
        if (data && *dataSize < bytes.size()) {
            result = kErrorMoreData;
        } else if (data) {
            std::memcpy(data, bytes.data(), bytes.size());
        }
        *dataSize = static_cast<std::uint32_t>(bytes.size());
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<std::uint32_t>(found.size());
    return result;
}

long RegDeleteKeyA(HKEY key, char const* subKey) {
    if (!subKey) {
        return kErrorInvalidParameter;
    }
    return DeleteKey(key, subKey, false);
}

long RegDeleteTreeA(HKEY key, char const* subKey) { return DeleteKey(key, subKey, true); }

long RegDeleteValueA(HKEY key, char const* valueName) {
    std::string_view const name = valueName ? valueName : "";
    Call call;
    KeyId id;
    if (long const resolved = Resolve(call.state(), key, id); resolved != kErrorSuccess) {
        return resolved;
    }
    if (name.size() > kMaxValueNameLength) {
        return kErrorFileNotFound;  // no such value can exist
    }
    if (call.OpenResult() != kErrorSuccess) {
        return call.OpenResult();
    }
    return call.store().DeleteValue(id, name);
}

RegistryTransaction::RegistryTransaction() noexcept : m_open(false) {}

RegistryTransaction::~RegistryTransaction() {
    if (m_open) {
        State& state = Shared();
        std::lock_guard<std::mutex> guard(state.lock);
        state.store.RollbackWrite();
        state.writer = std::thread::id();
        state.turn.notify_all();
    }
}

long RegistryTransaction::Begin() {
    if (m_open) {
        return kErrorInvalidParameter;
    }
    Call call;
    if (call.state().writer == std::this_thread::get_id()) {
        return kErrorInvalidParameter;  // another transaction of this thread is open
    }
    if (call.OpenResult() != kErrorSuccess) {
        return call.OpenResult();
    }
    long const begun = call.store().BeginWrite();
    if (begun == kErrorSuccess) {
        call.state().writer = std::this_thread::get_id();
        m_open = true;
    }
    return begun;
}

long RegistryTransaction::Commit() {
    if (!m_open) {
        return kErrorInvalidParameter;
    }
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    long const committed = state.store.CommitWrite();
    if (committed != kErrorSuccess) {
        state.store.RollbackWrite();
    }
    state.writer = std::thread::id();
    state.turn.notify_all();
    m_open = false;
    return committed;
}

void RegistryClose() {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    state.store.Close();
    state.InvalidateHandles();
    state.writer = std::thread::id();
    state.turn.notify_all();
}

void RegistrySetBusyTimeout(int milliseconds) {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    state.store.SetBusyTimeout(milliseconds);
}

}  // namespace zelk::os
