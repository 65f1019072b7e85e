#include "portab/thread.h"

#include "portab/library.h"
#include "portab/thread_registry.h"

namespace zelk {

namespace {

// What Join returns for an object with no thread attached.
constexpr unsigned long kNoThread = 0xFFFFFFFFUL;
// How often Join looks at the exit code at the latest; the end of the
// thread wakes it earlier.
constexpr std::uint32_t kPollMilliseconds = 100;

std::string CopyName(char const* name) { return name != nullptr ? std::string(name) : std::string(); }

// Exit codes are the system's 32-bit words; 259 marks a running thread, so
// a thread that ends with it ends with 0 instead.
std::uint32_t ToExitCode(unsigned long result) noexcept {
    auto const code = static_cast<std::uint32_t>(result);
    return code == os::kStillActive ? 0 : code;
}

}  // namespace

CZelkThread::CZelkThread(char const* name)
    : m_errorList(), m_name(CopyName(name)), m_priority(MyZelkThread().GetPriority()) {}

CZelkThread::CZelkThread(char const* name, MainThreadTag) : m_errorList(), m_name(CopyName(name)), m_priority(0) {}

CZelkThread::~CZelkThread() { Join(); }

std::uint32_t CZelkThread::EntryFunction(void* self) {
    auto* const thread = static_cast<CZelkThread*>(self);
    // MyZelkThread is asked on every error and every attempt on a critical
    // section, so the thread keeps its object in a thread-local word: one
    // read, without lock or allocation.  The registry stays the record of
    // which threads are attached (for walks, Start and Join).  The word is
    // never cleared: code that runs while the thread ends (thread-local
    // destructors, thread-exit handlers) still belongs to this object, and
    // the object outlives all of it, since Join waits for the system
    // thread's very end.
    os::SetCurrentObject(static_cast<CAbstractThread*>(thread));
    return ToExitCode(thread->m_runnable->Run());
}

int CZelkThread::Start(CAbstractRunnable* runnable) {
    if (m_native != nullptr || runnable == nullptr) {
        return 0;  // attached already (running or not yet joined), or nothing to run
    }
    // Everything that may throw comes before the thread is registered, so a
    // failure leaves the object as it was (the parked thread ends unrun).
    std::string name = CopyName(runnable->GetName());
    std::unique_ptr<os::Thread> native = os::Thread::CreateSuspended(&CZelkThread::EntryFunction, this);
    if (native == nullptr) {
        return 0;
    }
    m_runnable = runnable;
    Registry().Insert(native.get(), this);
    m_native = std::move(native);
    m_name = std::move(name);
    m_native->SetSystemName(m_name.c_str());
    if (!m_native->Resume()) {
        Registry().Remove(m_native.get());
        m_native.reset();
        m_name = "thread startup failed";
        return 0;
    }
    // The thread runs at normal priority until here.
    SetPriority(GetPriority());
    return 1;
}

unsigned long CZelkThread::Join() {
    if (m_native == nullptr) {
        return kNoThread;
    }
    std::uint32_t exitCode = os::kStillActive;
    for (;;) {
        if (m_native->GetExitCode(exitCode) && exitCode != os::kStillActive) {
            break;
        }
        if (m_native->WaitForEnd(kPollMilliseconds)) {
            if (m_native->GetExitCode(exitCode) && exitCode != os::kStillActive) {
                break;
            }
            // Ended, yet the code is unreadable or reads "still active":
            // keep looking, at the poll's pace rather than in a tight loop.
            os::Sleep(kPollMilliseconds);
        }
    }
    Registry().Remove(m_native.get());
    m_native.reset();  // waits for the last of the thread's own unwinding
    m_name = "joined";
    return exitCode;
}

bool CZelkThread::WaitForEnd(std::uint32_t milliseconds) {
    return m_native == nullptr || m_native->WaitForEnd(milliseconds);
}

void CZelkThread::Exit(unsigned long exitCode) {
    // Whatever object this is called on, it is the calling thread that ends.
    os::ExitCurrentThread(ToExitCode(exitCode));
}

int CZelkThread::IsRunning() {
    if (m_native == nullptr) {
        return 0;
    }
    std::uint32_t exitCode = 0;
    return m_native->GetExitCode(exitCode) && exitCode == os::kStillActive ? 1 : 0;
}

CZelkErrorList& CZelkThread::GetErrorList() { return m_errorList; }

char const* CZelkThread::GetName() { return m_name.c_str(); }

// The system learns the name too, for debuggers and process lists.  Only a
// started thread's: the main object's name is never pushed onto the host's
// own threads.
void CZelkThread::SetName(char const* name) {
    m_name = CopyName(name);
    if (m_native != nullptr) {
        m_native->SetSystemName(m_name.c_str());
    }
}

void CZelkThread::SetPriority(int priority) {
    m_priority.store(priority, std::memory_order_relaxed);
    if (m_native != nullptr) {
        m_native->SetPriority(priority);
    }
}

int CZelkThread::GetPriority() { return m_priority.load(std::memory_order_relaxed); }

}  // namespace zelk

CAbstractThread* CreateZelkThread() { return new zelk::CZelkThread("unstarted"); }

namespace zelk {
namespace {

// The first call on a thread the library did not start: from then on the
// thread keeps the main object in its word.  (Out of line, so that the hot
// path stays a leaf without a stack frame.)
[[gnu::noinline]] CAbstractThread& FirstLookOfAnotherThread() {
    CAbstractThread& main = MainThread();
    os::SetCurrentObject(&main);
    return main;
}

}  // namespace
}  // namespace zelk

// The word holds the object already converted to its interface: a host pays
// a call, one read and a compare.  A started thread's word is set before its
// Run, any other thread's at its first call.
CAbstractThread& MyZelkThread() {
    if (void* const current = zelk::os::CurrentObject()) {
        return *static_cast<CAbstractThread*>(current);
    }
    return zelk::FirstLookOfAnotherThread();
}
