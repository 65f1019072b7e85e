#include "platform/thread.h"

#include "platform/win32/win32.h"

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

}  // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(ThreadEntry entry, void* argument) {
    auto impl = std::make_unique<Impl>();
    impl->entry = entry;
    impl->argument = argument;
    std::unique_ptr<Thread> thread(new Thread(nullptr));
    // Default security and stack size; the thread object stays valid (and
    // its exit code readable) until the handle is closed.
    impl->handle = CreateThread(nullptr, 0, Trampoline, impl.get(), CREATE_SUSPENDED, nullptr);
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

ThreadId CurrentThreadId() noexcept { return GetCurrentThreadId(); }

}  // namespace zelk::os
