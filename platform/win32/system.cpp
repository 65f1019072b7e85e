// The system queries on Win32: the calls themselves.
#include "platform/system.h"

#include "platform/win32/win32.h"

#include <shlobj.h>

namespace zelk::os {

static_assert(kIdlePriorityClass == IDLE_PRIORITY_CLASS);
static_assert(kNormalPriorityClass == NORMAL_PRIORITY_CLASS);
static_assert(kHighPriorityClass == HIGH_PRIORITY_CLASS);
static_assert(kRealtimePriorityClass == REALTIME_PRIORITY_CLASS);
static_assert(kMaxPath == MAX_PATH);

void SetPriorityClass(std::uint32_t priorityClass) { ::SetPriorityClass(::GetCurrentProcess(), priorityClass); }

std::uint32_t GetPriorityClass() { return ::GetPriorityClass(::GetCurrentProcess()); }

int GetPersonalFolder(char* path) {
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator)) || !allocator) {
        return 0;
    }
    int result = 0;
    LPITEMIDLIST items = nullptr;
    if (path && SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &items))) {
        // The shell's own answer is taken as it is: a failure leaves the
        // buffer as the shell left it.
        ::SHGetPathFromIDListA(items, path);
        result = 1;
    }
    if (items) {
        allocator->Free(items);
        items = nullptr;
    }
    allocator->Release();
    return result;
}

std::uint32_t GetVersionWord() {
    // Deprecated in the SDK but the exact word the version tests are defined on.
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    return static_cast<std::uint32_t>(::GetVersion());
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif
}

std::string ProgramFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD const length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut: read again with more room
    }
    std::size_t const separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return {};
    // "c:\program.exe" keeps its separator, as the root's name needs it.
    path.resize(separator > 0 && path[separator - 1] == ':' ? separator + 1 : separator);
    return path;
}

}  // namespace zelk::os
