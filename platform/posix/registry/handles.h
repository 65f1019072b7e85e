// The registry's handles: what each open key handle stands for, and the
// numbers handed out for them.
#pragma once

#include "platform/posix/registry/schema.h"
#include "platform/registry.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace zelk::os::registry {

enum File { kUserFile, kMachineFile, kFileCount };

// HKEY_CLASSES_ROOT stands for HKEY_LOCAL_MACHINE\Software\Classes, found
// (or made, for a write) when a call needs it.
inline constexpr KeyId kClassesRoot = -1;

// What a handle stands for.
struct Target {
    int file = kUserFile;
    KeyId key = 0;
};

bool IsRoot(HKEY key);

// What a predefined root stands for; `machine`: the file of the machine
// hives.  False for any other handle.
bool RootTarget(HKEY key, int machine, Target& target);

// The open handles, shared by every thread.  Handles are numbers, never
// addresses, counted up and never reused while the count lasts, so a handle
// used after RegCloseKey is refused rather than taken for a later key.
class HandleTable {
public:
    HKEY Add(Target const& target);
    // False for a closed or made-up handle.
    bool Find(HKEY handle, Target& target);
    bool Remove(HKEY handle);
    void Clear();

private:
    std::mutex m_lock;
    std::unordered_map<std::uintptr_t, Target> m_handles;
    std::uintptr_t m_last = 0;
};

}  // namespace zelk::os::registry
