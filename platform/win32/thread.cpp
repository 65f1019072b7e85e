#include "platform/thread.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/win32.h"

#include <new>
#include <vector>

namespace zelk::os {

struct Thread::Impl {
    HANDLE handle = nullptr;
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    bool resumed = false;
};

namespace {

DWORD WINAPI Trampoline(LPVOID argument) {
    auto* impl = static_cast<Thread::Impl*>(argument);
    return impl->entry(impl->argument);
}

// The calling thread's thread object lives in a system TLS slot, not in a
// C++ thread_local: the compiler emulates those here, and the emulation
// frees a thread's block in one of the thread-exit callbacks, whose order
// among modules is the loader's.  A host thread_local destroyed after it
// would read null (and allocate the block anew).  A system slot keeps its
// value until the thread is gone.
class ObjectSlot {
public:
    ObjectSlot() noexcept : m_index(TlsAlloc()) {}
    ~ObjectSlot() {
        if (m_index != TLS_OUT_OF_INDEXES) TlsFree(m_index);
    }
    ObjectSlot(ObjectSlot const&) = delete;
    ObjectSlot& operator=(ObjectSlot const&) = delete;

    // With no slot to be had (the process used up all of them) every
    // thread reads null: the layer's threads count as threads it did not
    // start, which is less than right but safe.
    void* Get() const noexcept { return m_index != TLS_OUT_OF_INDEXES ? TlsGetValue(m_index) : nullptr; }
    void Set(void* object) const noexcept {
        if (m_index != TLS_OUT_OF_INDEXES) TlsSetValue(m_index, object);
    }

private:
    DWORD m_index;
};

ObjectSlot const& Slot() noexcept {
    static ObjectSlot const slot;
    return slot;
}

// SetThreadDescription came with Windows 10 (1607); it is looked up at run
// time so that the library still loads on older systems.  There the name
// stays the library's own: the older way, an exception that only an attached
// debugger catches, would end a process that has no debugger and no
// structured handler, and this compiler has no structured handlers.
using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

SetThreadDescriptionFunction FindSetThreadDescription() noexcept {
    for (wchar_t const* module : {L"kernel32.dll", L"kernelbase.dll"}) {
        if (HMODULE const handle = GetModuleHandleW(module)) {
            if (FARPROC const function = GetProcAddress(handle, "SetThreadDescription")) {
                return reinterpret_cast<SetThreadDescriptionFunction>(reinterpret_cast<void (*)()>(function));
            }
        }
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(ThreadEntry entry, void* argument) {
    auto impl = std::make_unique<Impl>();
    impl->entry = entry;
    impl->argument = argument;
    std::unique_ptr<Thread> thread(new Thread(nullptr));
    // Default security and stack size; the thread object stays valid (and
    // its exit code readable) until the handle is closed.
    // A 32-bit process that has just let many threads go may not have their
    // stacks back yet (Wine gives them back late): a few more tries after a pause.
    HANDLE handle = nullptr;
    for (int attempt = 0; handle == nullptr && attempt < 4; ++attempt) {
        if (attempt > 0) Sleep(20);
        handle = CreateThread(nullptr, 0, Trampoline, impl.get(), CREATE_SUSPENDED, nullptr);
    }
    impl->handle = handle;
    if (impl->handle == nullptr) {
        return nullptr;
    }
    thread->m_impl = impl.release();
    return thread;
}

Thread::~Thread() {
    if (m_impl == nullptr) {
        return;
    }
    if (!m_impl->resumed) {
        // It never ran a line of its own: ending it loses nothing.
        TerminateThread(m_impl->handle, 0);
    }
    WaitForSingleObject(m_impl->handle, INFINITE);
    CloseHandle(m_impl->handle);
    delete m_impl;
}

bool Thread::Resume() noexcept {
    if (m_impl->resumed) {
        return true;
    }
    m_impl->resumed = ResumeThread(m_impl->handle) != static_cast<DWORD>(-1);
    return m_impl->resumed;
}

void Thread::SetPriority(int priority) noexcept { SetThreadPriority(m_impl->handle, priority); }

void Thread::SetSystemName(char const* name) noexcept {
    static SetThreadDescriptionFunction const setDescription = FindSetThreadDescription();
    if (setDescription == nullptr) {
        return;
    }
    // Names are texts in the ANSI code page; the system wants UTF-16.
    char const* const text = name != nullptr ? name : "";
    try {
        setDescription(m_impl->handle, WideFromBytes(CP_ACP, text).c_str());
    } catch (std::bad_alloc const&) {
        // Without memory the system keeps the name it has.
    }
}

bool Thread::GetExitCode(std::uint32_t& exitCode) noexcept {
    DWORD code = 0;
    if (GetExitCodeThread(m_impl->handle, &code) == 0) {
        return false;
    }
    exitCode = code;
    return true;
}

bool Thread::WaitForEnd(std::uint32_t milliseconds) noexcept {
    return WaitForSingleObject(m_impl->handle, milliseconds) == WAIT_OBJECT_0;
}

void ExitCurrentThread(std::uint32_t exitCode) { ExitThread(exitCode); }

void Sleep(std::uint32_t milliseconds) noexcept { ::Sleep(milliseconds); }

void YieldThread() noexcept { SwitchToThread(); }

void* CurrentObject() noexcept { return Slot().Get(); }

void SetCurrentObject(void* object) noexcept { Slot().Set(object); }

ThreadId CurrentThreadId() noexcept { return GetCurrentThreadId(); }

}  // namespace zelk::os
