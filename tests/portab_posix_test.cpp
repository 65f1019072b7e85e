// Thread objects on Linux as the system shows them.  Priorities: each
// thread's nice value read back with getpriority.  Those cases run in a
// forked child, which drops to an unprivileged user where the point is what
// such a process can do, and reports what it found through a pipe.  (The
// test process itself starts no thread before it forks.)
#include <zelk/portab.h>
#include <zelk/system.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::WaitFor;
using Thread = std::unique_ptr<CAbstractThread>;

int NiceOf(pid_t tid) {
    errno = 0;
    int const nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return nice == -1 && errno != 0 ? 99 : nice;
}

int Expected(int base, int level) { return std::clamp(base - 5 * level, -20, 19); }

// Collects what a child found wrong, one line per finding.
class Findings {
public:
    void Check(bool ok, std::string const& what) {
        if (!ok) m_text += what + "\n";
    }
    void Equal(int found, int expected, std::string const& what) {
        Check(found == expected, what + ": nice " + std::to_string(found) + ", expected " + std::to_string(expected));
    }
    std::string const& Text() const { return m_text; }

private:
    std::string m_text;
};

enum class As { kRoot, kUnprivileged };

// Runs `body` in a forked child and returns its findings ("" when all held).
// An unprivileged child cannot lower any thread's nice value: no
// capability, and a nice limit of 0.
std::string InChild(As as, std::function<void(Findings&)> const& body) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "no pipe";
    pid_t const child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        Findings findings;
        if (as == As::kUnprivileged && geteuid() == 0) {
            rlimit const none{0, 0};
            bool const dropped = setrlimit(RLIMIT_NICE, &none) == 0 && setgroups(0, nullptr) == 0 &&
                                 setgid(65534) == 0 && setuid(65534) == 0;
            findings.Check(dropped, "could not drop privileges");
        }
        if (findings.Text().empty()) body(findings);
        std::string const& text = findings.Text();
        (void)!write(pipeEnds[1], text.data(), text.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) text += "the child did not end normally\n";
    return text;
}

// A thread of the layer that records its kernel id, then waits until let go.
class ParkedThread {
public:
    ParkedThread(int level, char const* name = "parked") : m_runnable(name, [this] {
        m_tid = gettid();
        WaitFor([this] { return m_go.load(); });
        return 0UL;
    }) {
        m_thread->SetPriority(level);
        m_started = m_thread->Start(&m_runnable) == 1 && WaitFor([this] { return m_tid.load() != 0; });
    }
    ~ParkedThread() {
        m_go = true;
        m_thread->Join();
    }
    ParkedThread(ParkedThread const&) = delete;
    ParkedThread& operator=(ParkedThread const&) = delete;

    bool Started() const { return m_started; }
    pid_t Tid() const { return m_tid; }
    CAbstractThread& Object() { return *m_thread; }

private:
    std::atomic<pid_t> m_tid{0};
    std::atomic<bool> m_go{false};
    FunctionRunnable m_runnable;
    Thread m_thread{CreateZelkThread()};
    bool m_started = false;
};

// A thread runs at the process's base plus its own level, whatever the
// level of the thread that started it: an unprivileged thread cannot come
// back down from a creator's lower priority by itself.
TEST(ThreadPriorityPosix, ThreadsRunAtTheBasePlusTheirOwnLevelWhoeverStartsThem) {
    struct Case {
        int creator, started;
    } const cases[] = {{-2, 0}, {-2, -1}, {0, -2}, {-3, -3}};
    std::string const found = InChild(As::kUnprivileged, [&](Findings& findings) {
        int const base = NiceOf(getpid());
        for (Case const& c : cases) {
            std::string const row = std::to_string(c.creator) + " starts " + std::to_string(c.started);
            // Each thread looks once Start has returned: the level comes
            // just after the thread is let go.
            int creatorNice = 99, startedNice = 99;
            std::atomic<bool> innerStarted{false}, outerStarted{false};
            FunctionRunnable started("started", [&] {
                WaitFor([&] { return innerStarted.load(); });
                return startedNice = NiceOf(gettid()), 0UL;
            });
            FunctionRunnable creator("creator", [&] {
                WaitFor([&] { return outerStarted.load(); });
                creatorNice = NiceOf(gettid());
                Thread inner(CreateZelkThread());
                inner->SetPriority(c.started);
                innerStarted = inner->Start(&started) == 1;
                return 0UL;
            });
            Thread outer(CreateZelkThread());
            outer->SetPriority(c.creator);
            outerStarted = outer->Start(&creator) == 1;
            findings.Check(outerStarted, row + ": not started");
            outer->Join();
            findings.Equal(creatorNice, Expected(base, c.creator), row + ", creator");
            findings.Equal(startedNice, Expected(base, c.started), row + ", started");
        }
        findings.Equal(NiceOf(getpid()), base, "first thread");
    });
    EXPECT_EQ(found, "");
}

// The process's class moves its base; every thread keeps its level above
// or below it (host threads their own distance), as Win32 thread levels
// stay relative to the class.  Raising a class needs privileges: as root.
TEST(ThreadPriorityPosix, ProcessClassMovesEveryThreadWithItsLevel) {
    if (geteuid() != 0) GTEST_SKIP() << "raising priority needs privileges";
    std::string const found = InChild(As::kRoot, [](Findings& findings) {
        ParkedThread above(1), below(-2), normal(0);
        std::atomic<pid_t> hostTid{0};
        std::atomic<bool> release{false};
        std::thread host([&] {
            setpriority(PRIO_PROCESS, 0, 3);  // a host thread at its own distance
            hostTid = gettid();
            WaitFor([&] { return release.load(); });
        });
        findings.Check(above.Started() && below.Started() && normal.Started() && WaitFor([&] { return hostTid != 0; }),
                       "threads not started");
        // Idle clamps every thread to 19 and Normal after it must bring
        // back each level: the levels, not the clamped values, count.  A
        // host thread's own distance is known only while nothing clamps it.
        for (ePriorityClass const value : {PriorityHigh, PriorityIdle, PriorityNormal}) {
            SetProcessPriority(value);
            int const base = NiceOf(getpid());
            std::string const row = "class " + std::to_string(value);
            findings.Check(GetProcessPriority() == value, row + " not set");
            findings.Equal(NiceOf(above.Tid()), Expected(base, 1), row + ", level 1");
            findings.Equal(NiceOf(below.Tid()), Expected(base, -2), row + ", level -2");
            findings.Equal(NiceOf(normal.Tid()), base, row + ", level 0");
            findings.Check(above.Object().GetPriority() == 1 && below.Object().GetPriority() == -2, row + ": levels");
            if (value == PriorityHigh) findings.Equal(NiceOf(hostTid), base + 3, row + ", host thread");
        }
        release = true;
        host.join();
    });
    EXPECT_EQ(found, "");
}

// A thread that has ended has given its kernel id back, and the system may
// hand it to an unrelated process at once: SetPriority on the object, not
// yet joined, must leave that process alone.  The test gets the id handed
// out again by setting the kernel's last process id (root only).
TEST(ThreadPriorityPosix, EndedThreadsIdIsNotTouchedWhenReusedByAnotherProcess) {
    std::ofstream probe("/proc/sys/kernel/ns_last_pid");
    if (!probe) GTEST_SKIP() << "cannot choose the next process id";
    probe.close();
    std::atomic<pid_t> tid{0};
    FunctionRunnable quick("quick", [&] { return tid = gettid(), 0UL; });
    Thread thread(CreateZelkThread());
    ASSERT_EQ(thread->Start(&quick), 1);
    ASSERT_TRUE(WaitFor([&] { return thread->IsRunning() == 0; }));
    pid_t bystander = -1;
    int release[2] = {-1, -1};
    for (int attempt = 0; attempt < 100 && bystander != tid; ++attempt) {
        if (bystander > 0) {
            close(release[1]);
            waitpid(bystander, nullptr, 0);
        }
        ASSERT_EQ(pipe(release), 0);
        std::ofstream("/proc/sys/kernel/ns_last_pid") << tid - 1;
        bystander = fork();
        if (bystander == 0) {
            char byte;
            close(release[1]);
            (void)!read(release[0], &byte, 1);
            _exit(0);
        }
        close(release[0]);
        if (bystander != tid) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    bool const reused = bystander == tid;
    int const before = NiceOf(bystander);
    if (reused) thread->SetPriority(-2);
    int const after = NiceOf(bystander);
    close(release[1]);
    waitpid(bystander, nullptr, 0);
    EXPECT_EQ(thread->Join(), 0UL);
    if (!reused) GTEST_SKIP() << "the id went elsewhere every time";
    EXPECT_EQ(after, before) << "the other process's priority changed";
}

// A host's Run may leave through pthread_exit itself: Join still ends, with
// the low word of the pthread result as the exit code.
TEST(ThreadPosix, RunLeavingThroughPthreadExitStillJoins) {
    Thread thread(CreateZelkThread());
    FunctionRunnable runnable("leaves", []() -> unsigned long { pthread_exit(reinterpret_cast<void*>(42)); });
    ASSERT_EQ(thread->Start(&runnable), 1);
    EXPECT_EQ(thread->Join(), 42UL);
}

}  // namespace
