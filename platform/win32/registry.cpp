// The registry calls: the real advapi32 functions in their ANSI forms.
#include "platform/registry.h"

#include "platform/win32/win32.h"

namespace zelk::os {

static_assert(kErrorSuccess == ERROR_SUCCESS);
static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrorOutOfMemory == ERROR_OUTOFMEMORY);
static_assert(kErrorLockViolation == ERROR_LOCK_VIOLATION);
static_assert(kErrorDiskFull == ERROR_DISK_FULL);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorBadPathname == ERROR_BAD_PATHNAME);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrorBadDb == ERROR_BADDB);
static_assert(kErrorCantOpen == ERROR_CANTOPEN);
static_assert(kErrorRegistryIoFailed == ERROR_REGISTRY_IO_FAILED);
static_assert(kErrorKeyDeleted == ERROR_KEY_DELETED);

namespace {

// DWORD is unsigned long here; the layer speaks std::uint32_t.  Null stays
// null, so the system sees the same arguments the caller gave.
class DwordArg {
public:
    explicit DwordArg(std::uint32_t* source) : m_source(source), m_value(source ? *source : 0) {}
    ~DwordArg() {
        if (m_source) {
            *m_source = static_cast<std::uint32_t>(m_value);
        }
    }
    DwordArg(DwordArg const&) = delete;
    DwordArg& operator=(DwordArg const&) = delete;
    DWORD* get() noexcept { return m_source ? &m_value : nullptr; }

private:
    std::uint32_t* m_source;
    DWORD m_value;
};

}  // namespace

long RegOpenKeyA(HKEY key, char const* subKey, HKEY* result) {
    // Wine (and older Windows) write through a null result pointer.
    if (!result) {
        return kErrorInvalidParameter;
    }
    return ::RegOpenKeyA(key, subKey, result);
}

long RegCreateKeyA(HKEY key, char const* subKey, HKEY* result) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    return ::RegCreateKeyA(key, subKey, result);
}

long RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

long RegQueryValueExA(HKEY key, char const* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) {
    DwordArg reservedArg(reserved);
    DwordArg typeArg(type);
    DwordArg sizeArg(size);
    return ::RegQueryValueExA(key, valueName, reservedArg.get(), typeArg.get(), data, sizeArg.get());
}

long RegSetValueExA(HKEY key, char const* valueName, std::uint32_t reserved, std::uint32_t type,
                    unsigned char const* data, std::uint32_t size) {
    return ::RegSetValueExA(key, valueName, reserved, type, data, size);
}

long RegEnumKeyA(HKEY key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    return ::RegEnumKeyA(key, index, name, nameSize);
}

long RegEnumValueA(HKEY key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* reserved,
                   std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    DwordArg nameSizeArg(nameSize);
    DwordArg reservedArg(reserved);
    DwordArg typeArg(type);
    DwordArg dataSizeArg(dataSize);
    return ::RegEnumValueA(key, index, name, nameSizeArg.get(), reservedArg.get(), typeArg.get(), data,
                           dataSizeArg.get());
}

long RegDeleteKeyA(HKEY key, char const* subKey) { return ::RegDeleteKeyA(key, subKey); }

long RegDeleteTreeA(HKEY key, char const* subKey) { return ::RegDeleteTreeA(key, subKey); }

long RegDeleteValueA(HKEY key, char const* valueName) { return ::RegDeleteValueA(key, valueName); }

// Nothing to hold: every write has taken effect when its call returns.
RegistryTransaction::RegistryTransaction() noexcept : m_open(false) {}
RegistryTransaction::~RegistryTransaction() = default;
long RegistryTransaction::Begin() {
    m_open = true;
    return kErrorSuccess;
}
long RegistryTransaction::Commit() {
    m_open = false;
    return kErrorSuccess;
}

long RegDuplicateKey(HKEY key, HKEY* result) {
    if (!result) {
        return kErrorInvalidParameter;
    }
    // RegOpenKeyEx with no sub-key gives a new handle to the same key (plain
    // RegOpenKey would hand back `key` itself).  A predefined root needs no
    // second handle: it is never closed.
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS) {
        *result = key;
        return kErrorSuccess;
    }
    return ::RegOpenKeyExA(key, nullptr, 0, MAXIMUM_ALLOWED, result);
}

}  // namespace zelk::os
