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
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::LayerThread;
using zelk::test::WaitFor;
using Thread = std::unique_ptr<CAbstractThread>;

int NiceOf(pid_t tid) {
    errno = 0;
    int const nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return nice == -1 && errno != 0 ? 99 : nice;
}

int Expected(int base, int level) { return std::clamp(base - 5 * level, -20, 19); }

// Adds a line to `found` when a thread's nice value is not the expected one.
void ExpectNice(std::string& found, pid_t tid, int expected, std::string const& what) {
    int const nice = NiceOf(tid);
    if (nice != expected)
        found += what + ": nice " + std::to_string(nice) + ", expected " + std::to_string(expected) + "\n";
}

enum class As { kRoot, kUnprivileged };

// Runs `body` in a forked child and returns what it found wrong ("" when
// all held).  An unprivileged child cannot lower any thread's nice value:
// no capability, and a nice limit of 0.
std::string InChild(As as, std::function<void(std::string&)> const& body) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "no pipe";
    pid_t const child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string found;
        rlimit const none{0, 0};
        if (as == As::kUnprivileged && geteuid() == 0 &&
            (setrlimit(RLIMIT_NICE, &none) != 0 || setgroups(0, nullptr) != 0 || setgid(65534) != 0 ||
             setuid(65534) != 0)) {
            found = "could not drop privileges";
        } else {
            body(found);
        }
        (void)!write(pipeEnds[1], found.data(), found.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string found;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        found.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) found += "the child did not end normally\n";
    return found;
}

// A thread of the layer at a level that records its kernel id and waits
// until `go`.
struct Parked {
    Parked(int level, std::atomic<bool> const& go)
        : thread([this, &go] {
              tid = gettid();
              WaitFor([&] { return go.load(); });
              return 0UL;
          }) {
        thread.Thread().SetPriority(level);
    }
    std::atomic<pid_t> tid{0};
    LayerThread thread;
};

// A thread runs at the process's base plus its own level, whatever the
// level of the thread that started it: an unprivileged thread cannot come
// back down from a creator's lower priority by itself.
TEST(ThreadPriorityPosix, ThreadsRunAtTheBasePlusTheirOwnLevelWhoeverStartsThem) {
    struct Case {
        int creator, started;
    } const cases[] = {{-2, 0}, {-2, -1}, {0, -2}, {-3, -3}};
    EXPECT_EQ(InChild(As::kUnprivileged,
                      [&](std::string& found) {
                          int const base = NiceOf(getpid());
                          for (Case const& c : cases) {
                              std::string const row =
                                  std::to_string(c.creator) + " starts " + std::to_string(c.started);
                              // Each thread looks once Start has returned: the level comes
                              // just after the thread is let go.
                              std::atomic<bool> innerStarted{false}, outerStarted{false};
                              FunctionRunnable started("started", [&] {
                                  WaitFor([&] { return innerStarted.load(); });
                                  return ExpectNice(found, gettid(), Expected(base, c.started), row + ", started"), 0UL;
                              });
                              FunctionRunnable creator("creator", [&] {
                                  WaitFor([&] { return outerStarted.load(); });
                                  ExpectNice(found, gettid(), Expected(base, c.creator), row + ", creator");
                                  Thread inner(CreateZelkThread());
                                  inner->SetPriority(c.started);
                                  innerStarted = inner->Start(&started) == 1;
                                  return 0UL;
                              });
                              Thread outer(CreateZelkThread());
                              outer->SetPriority(c.creator);
                              outerStarted = outer->Start(&creator) == 1;
                              outer->Join();
                              if (!outerStarted || !innerStarted) found += row + ": not started\n";
                          }
                          ExpectNice(found, getpid(), base, "first thread");
                      }),
              "");
}

// The process's class moves its base; every thread keeps its level above
// or below it (host threads their own distance), as Win32 thread levels
// stay relative to the class.  Raising a class needs privileges: as root.
TEST(ThreadPriorityPosix, ProcessClassMovesEveryThreadWithItsLevel) {
    if (geteuid() != 0) GTEST_SKIP() << "raising priority needs privileges";
    EXPECT_EQ(
        InChild(As::kRoot,
                [](std::string& found) {
                    std::atomic<bool> go{false};
                    Parked above(1, go), below(-2, go), normal(0, go);
                    std::atomic<pid_t> hostTid{0};
                    std::atomic<int> hostDistance{0};
                    std::thread host([&] {  // a host thread at its own distance (less when the run is niced near 19)
                        setpriority(PRIO_PROCESS, 0, NiceOf(gettid()) + 3);
                        hostDistance = NiceOf(gettid()) - NiceOf(getpid());
                        hostTid = gettid();
                        WaitFor([&] { return go.load(); });
                    });
                    if (!WaitFor([&] { return above.tid && below.tid && normal.tid && hostTid; }))
                        found += "threads not started\n";
                    // Idle clamps every thread to 19 and Normal after it must bring
                    // back each level: the levels, not the clamped values, count.  A
                    // host thread's own distance is known only while nothing clamps it.
                    struct Step {
                        ePriorityClass value;
                        bool hostKnown;
                    } const steps[] = {
                        {PriorityHigh, true}, {PriorityNormal, true}, {PriorityIdle, false}, {PriorityNormal, false}};
                    for (auto const [value, hostKnown] : steps) {
                        SetProcessPriority(value);
                        int const base = NiceOf(getpid());
                        std::string const row = "class " + std::to_string(value);
                        if (GetProcessPriority() != value) found += row + " not set\n";
                        ExpectNice(found, above.tid, Expected(base, 1), row + ", level 1");
                        ExpectNice(found, below.tid, Expected(base, -2), row + ", level -2");
                        ExpectNice(found, normal.tid, base, row + ", level 0");
                        if (hostKnown) ExpectNice(found, hostTid, base + hostDistance, row + ", host thread");
                    }
                    go = true;
                    host.join();
                }),
        "");
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
    for (int attempt = 0; attempt < 100 && bystander != tid; ++attempt) {
        if (bystander > 0) kill(bystander, SIGKILL), waitpid(bystander, nullptr, 0), usleep(2000);
        std::ofstream("/proc/sys/kernel/ns_last_pid") << tid - 1;
        if ((bystander = fork()) == 0) pause(), _exit(0);
    }
    bool const reused = bystander == tid;
    int const before = NiceOf(bystander);
    if (reused) thread->SetPriority(-2);
    int const after = NiceOf(bystander);
    kill(bystander, SIGKILL);
    waitpid(bystander, nullptr, 0);
    EXPECT_EQ(thread->Join(), 0UL);
    if (!reused) GTEST_SKIP() << "the id went elsewhere every time";
    EXPECT_EQ(after, before) << "the other process's priority changed";
}

// A host that has reached its limit of threads: Start makes nothing, reports
// 0 and leaves the object as it was, which starts once a thread can be had.
TEST(ThreadPosix, StartWithoutAThreadToBeHadLeavesTheObjectAsItWas) {
    EXPECT_EQ(InChild(As::kUnprivileged,
                      [](std::string& found) {
                          rlimit limit{};
                          getrlimit(RLIMIT_NPROC, &limit);
                          rlimit const full{1, limit.rlim_max};  // this process alone fills it
                          if (setrlimit(RLIMIT_NPROC, &full) != 0) return void(found = "no limit set");
                          FunctionRunnable quick("quick", [] { return 3UL; });
                          Thread thread(CreateZelkThread());
                          if (thread->Start(&quick) != 0) found += "Start reported a thread\n";
                          if (thread->IsRunning() != 0 || thread->Join() != 0xFFFFFFFFUL ||
                              std::string(thread->GetName()) != "unstarted")
                              found += "the object changed\n";
                          setrlimit(RLIMIT_NPROC, &limit);
                          if (thread->Start(&quick) != 1 || thread->Join() != 3UL)
                              found += "no start once threads could be had\n";
                      }),
              "");
}

// A host's Run may leave through pthread_exit itself: Join still ends, with
// the low word of the pthread result as the exit code.
TEST(ThreadPosix, RunLeavingThroughPthreadExitStillJoins) {
    Thread thread(CreateZelkThread());
    FunctionRunnable runnable("leaves", []() -> unsigned long { pthread_exit(reinterpret_cast<void*>(42)); });
    ASSERT_EQ(thread->Start(&runnable), 1);
    EXPECT_EQ(thread->Join(), 42UL);
}

// The kernel knows a started thread by its name when Start returns, before
// the thread runs a line of its own, and a timer's thread once it is made.
TEST(ThreadPosix, TheKernelKnowsTheNameWhenStartReturns) {
    auto count = [](std::string const& name) {
        int found = 0;
        for (auto const& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::string comm;
            found += std::getline(std::ifstream(task.path() / "comm"), comm) && comm == name;
        }
        return found;
    };
    for (int round = 0; round < 20; ++round) {
        // A name of its own each round: a joined thread may still be listed
        // for a moment after its join returned.
        std::string const name = "named " + std::to_string(round);
        std::unique_ptr<CAbstractSemaphore> go(CreateZelkSemaphore(0));
        Thread thread(CreateZelkThread());
        FunctionRunnable runnable(name.c_str(), [&]() -> unsigned long { return go->Lock(); });
        ASSERT_EQ(thread->Start(&runnable), 1);
        EXPECT_EQ(count(name), 1) << "round " << round;
        go->Unlock();
        thread->Join();
    }
    std::unique_ptr<CAbstractTimer> const timer(CreateZelkTimer());
    EXPECT_EQ(count("timer thread"), 1);
}

}  // namespace
