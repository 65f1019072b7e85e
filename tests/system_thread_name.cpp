#include "system_thread_name.h"

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <tlhelp32.h>
#else
#  include <filesystem>
#  include <fstream>
#endif

namespace zelk::test {

#if defined(_WIN32)

namespace {

// Looked up at run time, as the library does: older systems lack it.
template <typename Function>
Function Find(char const* name) {
    for (wchar_t const* module : {L"kernel32.dll", L"kernelbase.dll"}) {
        if (HMODULE const handle = GetModuleHandleW(module)) {
            if (FARPROC const function = GetProcAddress(handle, name)) {
                return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
            }
        }
    }
    return nullptr;
}

std::optional<std::string> ThreadName(HANDLE thread) {
    using Get = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    static Get const get = Find<Get>("GetThreadDescription");
    PWSTR wide = nullptr;
    if (get == nullptr || FAILED(get(thread, &wide)) || wide == nullptr) return std::nullopt;
    int const size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string name(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, name.data(), size, nullptr, nullptr);
    LocalFree(wide);
    name.resize(name.find('\0'));
    return name;
}

}  // namespace

std::optional<std::string> SystemThreadName() { return ThreadName(GetCurrentThread()); }

std::vector<std::string> SystemThreadNames() {
    std::vector<std::string> names;
    HANDLE const snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return names;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        if (HANDLE const thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID)) {
            names.push_back(ThreadName(thread).value_or(""));
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return names;
}

std::size_t SystemThreadNameLimit() { return 0; }

#else

std::optional<std::string> SystemThreadName() {
    std::ifstream comm("/proc/thread-self/comm");
    std::string name;
    if (!std::getline(comm, name)) return std::nullopt;
    return name;
}

std::vector<std::string> SystemThreadNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (auto const& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name)) names.push_back(name);
    }
    return names;
}

std::size_t SystemThreadNameLimit() { return 15; }

#endif

}  // namespace zelk::test
