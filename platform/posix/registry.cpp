// The registry calls over the library's own SQLite registry: handles,
// argument checks, name rules, and which connection serves a call; the
// storage is in registry_store.cpp.
//
// Text: the Unicode (U) calls are the store's own; the A calls convert
// through Windows-1252 on top of them, as Windows' A calls convert through
// the ANSI code page: every byte has its character, so what an A call
// writes it reads back unchanged; a character outside the page reads as its
// best-fit byte or '?'.
//
// Threads: every thread has connections of its own (one per file), so a
// read never waits behind another thread's write, nor behind a write
// waiting for another process's lock; only the handle table is shared,
// behind a short lock.
//
// fork(): SQLite keeps per-process books of its locks, which a child
// inherits without the locks themselves; a connection used in a child, or
// even a new one opened while the books hold the parent's, lets another
// process fold the log into the file under it and lose the child's writes.
// So before fork() the forking thread waits until no thread is inside a
// registry call, closes every connection of the process and lets the calls
// go on after the fork; parent and child each open afresh on their next
// call.  Handles stay valid on both sides.  A transaction open at the fork
// is rolled back: its further writes and its Commit give
// kErrorOperationAborted.
#include "platform/registry.h"

#include "platform/codepage.h"
#include "platform/posix/registry_store.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelk::os {

namespace {

using registry::KeyId;
using registry::RegistryStore;

enum File { kUserFile, kMachineFile, kFileCount };

// HKEY_CLASSES_ROOT stands for HKEY_LOCAL_MACHINE\Software\Classes, found
// (or made, for a write) when a call needs it.
constexpr KeyId kClassesRoot = -1;

// What a handle stands for.
struct Target {
    int file = kUserFile;
    KeyId key = 0;
};

// One thread's connections and its open transaction.
struct ThreadState {
    RegistryStore files[kFileCount];
    bool inTransaction = false;
    bool wrote[kFileCount] = {};
    long broken = kErrorSuccess;  // why the open transaction can no longer commit
    ThreadState* next = nullptr;
    ThreadState* previous = nullptr;

    // Ends the thread's transaction (rolling back) and closes its files.
    void CloseAll(bool quick, long reason) noexcept {
        for (RegistryStore& file : files) {
            file.RollbackWrite();
            file.Close(quick);
        }
        if (inTransaction && broken == kErrorSuccess) {
            broken = reason;
        }
    }
};

// Keeps registry calls out while the connections of every thread are
// closed (fork(), RegistryClose): a call counts itself in, and the closer
// waits until the count is zero.  Two atomics on the way in and out.
class CallBarrier {
public:
    void Enter() {
        for (;;) {
            m_inside.fetch_add(1);
            if (!m_closing.load()) {
                return;
            }
            Leave();
            std::unique_lock<std::mutex> guard(m_lock);
            m_reopened.wait(guard, [this] { return !m_closing.load(); });
        }
    }
    void Leave() noexcept {
        if (m_inside.fetch_sub(1) == 1 && m_closing.load()) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_idle.notify_all();
        }
    }
    // Returns with no call inside and the lock held, so that a fork()
    // never copies it taken by another thread.
    void Close() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_closing.store(true);
        m_idle.wait(guard, [this] { return m_inside.load() == 0; });
        guard.release();
    }
    void Reopen() noexcept {
        m_closing.store(false);
        m_reopened.notify_all();
        m_lock.unlock();
    }
    // In a child of fork(): the threads that waited here are not there, so
    // the condition variables start anew.
    void ReopenInChild() noexcept {
        m_inside.store(0);
        m_closing.store(false);
        new (&m_idle) std::condition_variable;
        new (&m_reopened) std::condition_variable;
        m_lock.unlock();
    }

private:
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_closing{false};
    std::mutex m_lock;
    std::condition_variable m_idle;
    std::condition_variable m_reopened;
};

// Handles are numbers, never addresses, counted up and never reused while
// the count lasts, so a handle used after RegCloseKey is refused rather
// than taken for a later key.  The top bit stays clear: the predefined
// roots have it set.  On 64-bit builds the count never ends; on 32-bit
// builds it starts again after 2^31 - 1 handles, passing over those still
// open, so a closed handle could only be mistaken after some two thousand
// million more were opened.
constexpr std::uintptr_t kLastHandle = (std::uintptr_t{1} << (sizeof(std::uintptr_t) * 8 - 1)) - 1;

// Everything the registry calls share.  Allocated once and never
// destroyed: a host may still use the registry from its own static
// destructors, after this file's statics are gone.
struct State {
    CallBarrier barrier;
    std::mutex lock;  // the members below
    std::unordered_map<std::uintptr_t, Target> handles;
    std::uintptr_t lastHandle = 0;
    ThreadState* threads = nullptr;
    ThreadState* orphans = nullptr;  // in a child of fork(): the states of threads left behind
    bool located = false;
    registry::Locations locations;
    int busyTimeout = 5000;
    pthread_key_t threadKey{};

    // Under the barrier, closed.
    void CloseEveryThread(bool quick, long reason) noexcept {
        std::lock_guard<std::mutex> guard(lock);
        for (ThreadState* thread = threads; thread; thread = thread->next) {
            thread->CloseAll(quick, reason);
        }
    }
};

void PrepareFork() noexcept;
void AfterForkInParent() noexcept;
void AfterForkInChild() noexcept;
void ThreadEnds(void* state) noexcept;

std::atomic<State*> g_made{nullptr};

State& Shared() {
    static State* const state = [] {
        auto* made = new State;
        pthread_key_create(&made->threadKey, ThreadEnds);
        g_made.store(made);
        pthread_atfork(PrepareFork, AfterForkInParent, AfterForkInChild);
        return made;
    }();
    return *state;
}

void PrepareFork() noexcept {
    State& state = Shared();
    state.barrier.Close();
    state.CloseEveryThread(true, kErrorOperationAborted);
}

void AfterForkInParent() noexcept { Shared().barrier.Reopen(); }

void AfterForkInChild() noexcept {
    State& state = Shared();
    // Only the forking thread lives on; the others' states stay allocated
    // (their threads never end here) in a list of their own.
    auto* own = static_cast<ThreadState*>(pthread_getspecific(state.threadKey));
    ThreadState* others = state.threads;
    if (own) {
        (own->previous ? own->previous->next : others) = own->next;
        if (own->next) {
            own->next->previous = own->previous;
        }
        own->next = own->previous = nullptr;
    }
    if (others) {
        ThreadState* last = others;
        while (last->next) {
            last = last->next;
        }
        last->next = state.orphans;
        state.orphans = others;
    }
    state.threads = own;
    state.barrier.ReopenInChild();
}

// A thread's connections go with the thread.
void ThreadEnds(void* raw) noexcept {
    auto* thread = static_cast<ThreadState*>(raw);
    State& state = Shared();
    state.barrier.Enter();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        (thread->previous ? thread->previous->next : state.threads) = thread->next;
        if (thread->next) {
            thread->next->previous = thread->previous;
        }
    }
    thread->CloseAll(false, kErrorOperationAborted);
    delete thread;  // inside: a fork right after would leave it to the child, out of every list
    state.barrier.Leave();
}

// Closes the files when the process ends normally, so SQLite can fold its
// write-ahead log back into the file.
struct CloseAtExit {
    ~CloseAtExit() {
        if (g_made.load() != nullptr) {
            RegistryClose();
        }
    }
} const closeAtExit;

bool IsRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS;
}

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

bool IsStringType(std::uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// One registry call: inside the barrier, with the calling thread's state.
class RegistryCall {
public:
    RegistryCall() : m_state(Shared()) { m_state.barrier.Enter(); }
    ~RegistryCall() { m_state.barrier.Leave(); }
    RegistryCall(RegistryCall const&) = delete;
    RegistryCall& operator=(RegistryCall const&) = delete;

    State& state() noexcept { return m_state; }

    ThreadState& Thread() {
        auto* thread = static_cast<ThreadState*>(pthread_getspecific(m_state.threadKey));
        if (!thread) {
            thread = new ThreadState;
            std::lock_guard<std::mutex> guard(m_state.lock);
            thread->next = m_state.threads;
            if (thread->next) {
                thread->next->previous = thread;
            }
            m_state.threads = thread;
            pthread_setspecific(m_state.threadKey, thread);
        }
        return *thread;
    }

    // The key behind a handle; kErrorInvalidHandle for a closed or made-up one.
    long Resolve(HKEY key, Target& target) {
        std::lock_guard<std::mutex> guard(m_state.lock);
        Locate();
        int const machine = m_state.locations.machine == m_state.locations.user ? kUserFile : kMachineFile;
        if (key == HKEY_CURRENT_USER) {
            target = {kUserFile, registry::kCurrentUserId};
        } else if (key == HKEY_LOCAL_MACHINE) {
            target = {machine, registry::kLocalMachineId};
        } else if (key == HKEY_USERS) {
            target = {machine, registry::kUsersId};
        } else if (key == HKEY_CLASSES_ROOT) {
            target = {machine, kClassesRoot};
        } else {
            auto const found = m_state.handles.find(reinterpret_cast<std::uintptr_t>(key));
            if (found == m_state.handles.end()) {
                return kErrorInvalidHandle;
            }
            target = found->second;
        }
        return kErrorSuccess;
    }

    // The open store of `target`, with HKEY_CLASSES_ROOT found (`create`:
    // made) in it.  The handle's fault comes first, then the file's.
    long Store(Target& target, RegistryStore*& store, bool create = false) {
        store = &Thread().files[target.file];
        long result = kErrorSuccess;
        if (!store->IsOpen()) {
            std::string path;
            int busyTimeout;
            {
                std::lock_guard<std::mutex> guard(m_state.lock);
                Locate();
                path = target.file == kUserFile ? m_state.locations.user : m_state.locations.machine;
                busyTimeout = m_state.busyTimeout;
            }
            result = store->Open(path, target.file == kUserFile ? RegistryStore::Role::kUser
                                                                : RegistryStore::Role::kMachine,
                                 busyTimeout);
        }
        if (result == kErrorSuccess && create) {
            result = JoinTransaction(target.file);
        }
        if (result == kErrorSuccess && target.key == kClassesRoot) {
            static std::vector<std::string_view> const classes = {"Software", "Classes"};
            result = create ? store->Create(registry::kLocalMachineId, classes, target.key)
                            : store->Find(registry::kLocalMachineId, classes, target.key);
        }
        return result;
    }

    // A write: the thread's open transaction takes the file's write lock
    // on its first write there.
    long JoinTransaction(int file) {
        ThreadState& thread = Thread();
        if (!thread.inTransaction) {
            return kErrorSuccess;
        }
        if (thread.broken != kErrorSuccess) {
            return thread.broken;
        }
        if (!thread.wrote[file]) {
            if (long const begun = thread.files[file].BeginWrite(); begun != kErrorSuccess) {
                return begun;
            }
            thread.wrote[file] = true;
        }
        return kErrorSuccess;
    }

    // After a write: SQLite rolls a whole transaction back on some errors
    // (a full disk); later writes must not then land one by one.
    long Wrote(int file, long result) {
        ThreadState& thread = Thread();
        if (thread.inTransaction && thread.wrote[file] && !thread.files[file].InWrite() &&
            thread.broken == kErrorSuccess) {
            thread.broken = result != kErrorSuccess ? result : kErrorRegistryIoFailed;
        }
        return result;
    }

    long NewHandle(Target const& target, HKEY& handle) {
        std::lock_guard<std::mutex> guard(m_state.lock);
        std::uintptr_t value = m_state.lastHandle;
        do {
            value = value == kLastHandle ? 1 : value + 1;
        } while (m_state.handles.count(value) != 0);
        m_state.lastHandle = value;
        m_state.handles.emplace(value, target);
        handle = reinterpret_cast<HKEY>(value);
        return kErrorSuccess;
    }

private:
    // Under the lock: the files' places, read once after each close.
    void Locate() {
        if (!m_state.located) {
            m_state.locations = registry::FindLocations();
            m_state.located = true;
        }
    }

    State& m_state;
};

long OpenOrCreate(HKEY key, std::string_view subKey, HKEY* result, bool create) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    *result = nullptr;
    std::vector<std::string_view> steps;
    if (long const split = SplitKeyPath(subKey, steps); split != kErrorSuccess) {
        return split;
    }
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    if (!create && subKey.substr(0, subKey.find('\0')).empty()) {
        *result = key;  // RegOpenKey's rule: the same handle, not a new one
        return kErrorSuccess;
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store, create); opened != kErrorSuccess) {
        return create ? call.Wrote(target.file, opened) : opened;
    }
    KeyId id;
    long const found = create ? call.Wrote(target.file, store->Create(target.key, steps, id))
                              : store->Find(target.key, steps, id);
    if (found != kErrorSuccess) {
        return found;
    }
    HKEY handle;
    if (long const made = call.NewHandle({target.file, id}, handle); made != kErrorSuccess) {
        return made;
    }
    *result = handle;
    return kErrorSuccess;
}

long DeleteKey(HKEY key, std::string_view subKey, bool tree) {
    std::vector<std::string_view> steps;
    if (long const split = SplitKeyPath(subKey, steps); split != kErrorSuccess) {
        return split;
    }
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
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

// The names the A calls pass, in UTF-8.
std::string Widened(char const* name) { return Cp1252ToUtf8(name ? name : ""); }

// Data of the A calls: text types convert as Windows converts them; the
// rest passes as it is.
std::string ToStored(std::uint32_t type, unsigned char const* data, std::uint32_t size) {
    std::string_view const bytes(reinterpret_cast<char const*>(data), data ? size : 0);
    return IsStringType(type) ? Cp1252ToUtf16le(bytes) : std::string(bytes);
}

// Stored data given to an A call's buffer as RegQueryValueExA and
// RegEnumValueA give it: `size` is what the value needs (text: its length
// in the code page), kErrorMoreData and nothing copied when that is more
// than the buffer; text that fits with room to spare and does not end in a
// zero gets one.
long ToCaller(std::uint32_t type, std::string bytes, unsigned char* data, std::uint32_t* size) {
    bool const text = IsStringType(type);
    if (text) {
        bytes = Utf16leToCp1252(bytes);
    }
    auto const needed = static_cast<std::uint32_t>(bytes.size());
    long result = kErrorSuccess;
    if (data && needed > *size) {
        result = kErrorMoreData;
    } else if (data && needed != 0) {
        std::memcpy(data, bytes.data(), needed);
        if (text && needed < *size && bytes.back() != '\0') {
            data[needed] = 0;
        }
    }
    if (size) {
        *size = needed;
    }
    return result;
}

long QueryValue(HKEY key, std::string_view name, std::uint32_t* type, std::string* data) {
    std::size_t units = 0;
    if (!UnicodeName(name, units)) {
        return kErrorInvalidParameter;
    }
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    if (units > kMaxValueNameLength) {
        return kErrorFileNotFound;  // no such value can exist
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store); opened != kErrorSuccess) {
        return opened;
    }
    return store->QueryValue(target.key, name, type, data);
}

long SetValue(HKEY key, std::string_view name, std::uint32_t type, std::string_view data) {
    std::size_t units = 0;
    if (!UnicodeName(name, units) || units > kMaxValueNameLength ||
        data.size() > std::uint32_t{0xFFFFFFFF}) {
        return kErrorInvalidParameter;
    }
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store, true); opened != kErrorSuccess) {
        return call.Wrote(target.file, opened);
    }
    return call.Wrote(target.file, store->SetValue(target.key, name, type, reinterpret_cast<unsigned char const*>(data.data()),
                                                   static_cast<std::uint32_t>(data.size())));
}

long DeleteValue(HKEY key, std::string_view name) {
    std::size_t units = 0;
    if (!UnicodeName(name, units)) {
        return kErrorInvalidParameter;
    }
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    if (units > kMaxValueNameLength) {
        return kErrorFileNotFound;  // no such value can exist
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store, true); opened != kErrorSuccess) {
        return call.Wrote(target.file, opened);
    }
    return call.Wrote(target.file, store->DeleteValue(target.key, name));
}

long EnumKey(HKEY key, std::uint32_t index, std::string& name) {
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store); opened != kErrorSuccess) {
        return opened == kErrorFileNotFound ? kErrorNoMoreItems : opened;  // no classes at all
    }
    return store->EnumKey(target.key, index, name);
}

long EnumValue(HKEY key, std::uint32_t index, std::string& name, std::uint32_t& type, std::string& data) {
    RegistryCall call;
    Target target;
    if (long const resolved = call.Resolve(key, target); resolved != kErrorSuccess) {
        return resolved;
    }
    RegistryStore* store = nullptr;
    if (long const opened = call.Store(target, store); opened != kErrorSuccess) {
        return opened == kErrorFileNotFound ? kErrorNoMoreItems : opened;  // no classes at all
    }
    return store->EnumValue(target.key, index, name, type, data);
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

long RegOpenKeyA(HKEY key, char const* subKey, HKEY* result) { return OpenOrCreate(key, Widened(subKey), result, false); }

long RegCreateKeyA(HKEY key, char const* subKey, HKEY* result) { return OpenOrCreate(key, Widened(subKey), result, true); }

long RegCloseKey(HKEY key) {
    if (IsRoot(key)) {
        return kErrorSuccess;  // the predefined roots stay open
    }
    RegistryCall call;
    std::lock_guard<std::mutex> guard(call.state().lock);
    return call.state().handles.erase(reinterpret_cast<std::uintptr_t>(key)) != 0 ? kErrorSuccess
                                                                                  : kErrorInvalidHandle;
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
    return call.NewHandle(target, *result);
}

long RegQueryValueExA(HKEY key, char const* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) {
    if (reserved || (data && !size)) {
        return kErrorInvalidParameter;
    }
    std::uint32_t found = 0;
    std::string bytes;
    // Text needs its data even for its size: its length in the code page.
    if (long const queried = QueryValue(key, Widened(valueName), &found, &bytes); queried != kErrorSuccess) {
        return queried;
    }
    if (type) {
        *type = found;
    }
    return ToCaller(found, std::move(bytes), data, size);
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
    return SetValue(key, Widened(valueName), type, ToStored(type, data, size));
}

long RegDeleteValueA(HKEY key, char const* valueName) { return DeleteValue(key, Widened(valueName)); }

long RegEnumKeyA(HKEY key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    if (!name) {
        return kErrorInvalidParameter;
    }
    std::string found;
    if (long const listed = EnumKey(key, index, found); listed != kErrorSuccess) {
        return listed;
    }
    found = Utf8ToCp1252(found);
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
    std::string found;
    std::string bytes;
    std::uint32_t foundType = 0;
    if (long const listed = EnumValue(key, index, found, foundType, bytes); listed != kErrorSuccess) {
        return listed;
    }
    found = Utf8ToCp1252(found);
    if (type) {
        *type = foundType;
    }
    if (found.size() + 1 > *nameSize) {
        return kErrorMoreData;
    }
    // Data that do not fit leave the name untouched, as Windows does.
    if (long const given = ToCaller(foundType, std::move(bytes), data, dataSize); given != kErrorSuccess) {
        return given;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<std::uint32_t>(found.size());
    return kErrorSuccess;
}

long RegDeleteKeyA(HKEY key, char const* subKey) {
    if (!subKey) {
        return kErrorInvalidParameter;
    }
    return DeleteKey(key, Widened(subKey), false);
}

long RegDeleteTreeA(HKEY key, char const* subKey) { return DeleteKey(key, Widened(subKey), true); }

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

void RegistryClose() {
    State& state = Shared();
    state.barrier.Close();
    state.CloseEveryThread(false, kErrorOperationAborted);
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.handles.clear();
        state.located = false;
    }
    state.barrier.Reopen();
}

void RegistrySetBusyTimeout(int milliseconds) {
    State& state = Shared();
    state.barrier.Close();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.busyTimeout = milliseconds < 0 ? 0 : milliseconds;
    }
    state.CloseEveryThread(false, kErrorOperationAborted);  // they open again with the new timeout
    state.barrier.Reopen();
}

}  // namespace zelk::os
