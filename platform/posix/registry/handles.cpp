// The registry's handles: what each open key handle stands for, and the
// numbers handed out for them.
#include "platform/posix/registry/handles.h"

namespace zelk::os::registry {

namespace {

// The top bit stays clear: the predefined roots have it set.  On 64-bit
// builds the count never ends; on 32-bit builds it starts again after
// 2^31 - 1 handles, passing over those still open, so a closed handle could
// only be mistaken after some two thousand million more were opened.
constexpr std::uintptr_t kLastHandle = (std::uintptr_t{1} << (sizeof(std::uintptr_t) * 8 - 1)) - 1;

}  // namespace

bool IsRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS;
}

bool RootTarget(HKEY key, int machine, Target& target) {
    if (key == HKEY_CURRENT_USER) {
        target = {kUserFile, kCurrentUserId};
    } else if (key == HKEY_LOCAL_MACHINE) {
        target = {machine, kLocalMachineId};
    } else if (key == HKEY_USERS) {
        target = {machine, kUsersId};
    } else if (key == HKEY_CLASSES_ROOT) {
        target = {machine, kClassesRoot};
    } else {
        return false;
    }
    return true;
}

HKEY HandleTable::Add(Target const& target) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::uintptr_t value = m_last;
    do {
        value = value == kLastHandle ? 1 : value + 1;
    } while (m_handles.count(value) != 0);
    m_last = value;
    m_handles.emplace(value, target);
    return reinterpret_cast<HKEY>(value);
}

bool HandleTable::Find(HKEY handle, Target& target) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto const found = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_handles.end()) {
        return false;
    }
    target = found->second;
    return true;
}

bool HandleTable::Remove(HKEY handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_handles.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

void HandleTable::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_handles.clear();
}

}  // namespace zelk::os::registry
