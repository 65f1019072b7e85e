// The registry calls: the real advapi32 functions, in their ANSI forms for
// the library and their wide forms for the tools.
#include "platform/registry.h"

#include "platform/codepage.h"
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

// A UTF-8 name as the W calls take it; false when it is not UTF-8.
bool WideName(std::string_view utf8, std::wstring& wide) {
    std::u16string text;
    std::size_t bad = 0;
    if (!Utf8ToUtf16(utf8, text, bad)) {
        return false;
    }
    wide.assign(text.begin(), text.end());
    return true;
}

bool Utf8Name(wchar_t const* wide, std::size_t length, std::string& utf8) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<char16_t const*>(wide), length), utf8);
}

REGSAM ViewAccess(RegView view) {
    return view == RegView::k32 ? KEY_WOW64_32KEY : view == RegView::k64 ? KEY_WOW64_64KEY : 0;
}

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

long RegOpenKeyU(HKEY key, std::string_view subKey, RegView view, HKEY* result) {
    std::wstring name;
    if (!result || !WideName(subKey, name)) {
        return kErrorInvalidParameter;
    }
    // Read and write where the user may, else read only: what the verbs
    // need (MAXIMUM_ALLOWED ignores the view flags under Wine).
    long const opened = ::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ | KEY_WRITE | ViewAccess(view), result);
    return opened != ERROR_ACCESS_DENIED ? opened
                                         : ::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ | ViewAccess(view), result);
}

long RegCreateKeyU(HKEY key, std::string_view subKey, RegView view, HKEY* result) {
    std::wstring name;
    if (!result || !WideName(subKey, name)) {
        return kErrorInvalidParameter;
    }
    return ::RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | ViewAccess(view), nullptr, result,
                             nullptr);
}

long RegQueryValueU(HKEY key, std::string_view valueName, std::uint32_t* type, std::string* data) {
    std::wstring name;
    if (!WideName(valueName, name)) {
        return kErrorInvalidParameter;
    }
    std::string buffer(data ? 256 : 0, '\0');
    for (;;) {
        DWORD kind = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        long const result =
            ::RegQueryValueExW(key, name.c_str(), nullptr, &kind,
                               data ? reinterpret_cast<BYTE*>(buffer.data()) : nullptr, data ? &size : nullptr);
        if (result == ERROR_MORE_DATA) {
            buffer.resize(size > buffer.size() ? size : 2 * buffer.size());
            continue;
        }
        if (result == ERROR_SUCCESS) {
            if (type) *type = kind;
            if (data) *data = buffer.substr(0, size);
        }
        return result;
    }
}

long RegSetValueU(HKEY key, std::string_view valueName, std::uint32_t type, std::string_view data) {
    std::wstring name;
    if (!WideName(valueName, name) || data.size() > 0xFFFFFFFFu) {
        return kErrorInvalidParameter;
    }
    return ::RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<BYTE const*>(data.data()),
                            static_cast<DWORD>(data.size()));
}

long RegEnumKeyU(HKEY key, std::uint32_t index, std::string& name) {
    wchar_t buffer[kMaxKeyNameLength + 1];
    DWORD length = kMaxKeyNameLength + 1;
    long const result = ::RegEnumKeyExW(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS && !Utf8Name(buffer, length, name)) {
        return kErrorInvalidParameter;
    }
    return result;
}

long RegEnumValueU(HKEY key, std::uint32_t index, std::string& name, std::uint32_t* type, std::string* data) {
    std::wstring buffer(kMaxValueNameLength + 1, L'\0');
    std::string bytes(data ? 4096 : 0, '\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        DWORD kind = 0;
        DWORD size = static_cast<DWORD>(bytes.size());
        long const result =
            ::RegEnumValueW(key, index, buffer.data(), &length, nullptr, &kind,
                            data ? reinterpret_cast<BYTE*>(bytes.data()) : nullptr, data ? &size : nullptr);
        if (result == ERROR_MORE_DATA && data) {
            bytes.resize(size > bytes.size() ? size : 2 * bytes.size());
            continue;  // the same index with room for its data
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        if (!Utf8Name(buffer.data(), length, name)) {
            return kErrorInvalidParameter;
        }
        if (type) *type = kind;
        if (data) *data = bytes.substr(0, size);
        return result;
    }
}

long RegDeleteKeyU(HKEY key, std::string_view subKey, RegView view) {
    std::wstring name;
    if (!WideName(subKey, name)) {
        return kErrorInvalidParameter;
    }
    return ::RegDeleteKeyExW(key, name.c_str(), ViewAccess(view), 0);
}

long RegDeleteTreeU(HKEY key, std::string_view subKey) {
    std::wstring name;
    if (!WideName(subKey, name)) {
        return kErrorInvalidParameter;
    }
    return ::RegDeleteTreeW(key, name.empty() ? nullptr : name.c_str());
}

long RegDeleteValueU(HKEY key, std::string_view valueName) {
    std::wstring name;
    if (!WideName(valueName, name)) {
        return kErrorInvalidParameter;
    }
    return ::RegDeleteValueW(key, name.c_str());
}

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
