#include "system_thread_name.h"

#include "windows_host.h"

#if !defined(_WIN32)
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

}  // namespace

std::optional<std::string> SystemThreadName() {
    using Get = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    static Get const get = Find<Get>("GetThreadDescription");
    PWSTR wide = nullptr;
    if (get == nullptr || FAILED(get(GetCurrentThread(), &wide)) || wide == nullptr) return std::nullopt;
    int const size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string name(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, name.data(), size, nullptr, nullptr);
    LocalFree(wide);
    name.resize(name.find('\0'));
    return name;
}

std::size_t SystemThreadNameLimit() { return 0; }

#else

std::optional<std::string> SystemThreadName() {
    std::ifstream comm("/proc/thread-self/comm");
    std::string name;
    if (!std::getline(comm, name)) return std::nullopt;
    return name;
}

std::size_t SystemThreadNameLimit() { return 15; }

#endif

}  // namespace zelk::test
