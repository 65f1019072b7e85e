// Contract tests of thread objects, MyZelkThread and the main thread object.
#include <zelk/error_list.h>
#include <zelk/error_scope.h>
#include <zelk/portab.h>

#include "layer_thread.h"
#include "system_thread_name.h"
#include "test_errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::LayerThread;
using zelk::test::LetOthersRun;
using zelk::test::TestError;
using zelk::test::WaitFor;
using Thread = std::unique_ptr<CAbstractThread>;

constexpr unsigned long kNoThread = 0xFFFFFFFFUL;

// How a thread ends decides its exit code; 259 reads "still running" to the
// system, so it ends as 0 whether returned or passed to Exit.  Exit on
// another object still ends the calling thread.  Exit ends it where it
// stands on every system: a catch (...) cannot stop it, and an error scope
// it leaves keeps its error (a return ends the scope).
TEST(Thread, ExitCodeComesFromRunOrExit) {
    enum How { kReturn, kExit, kExitOnOther };
    // clang-format off
    struct Case {
        char const* name;
        unsigned long code;
        How how;
        unsigned long joined;
    } const cases[] = {{"Run returns 7", 7, kReturn, 7}, {"Run returns 259", 259, kReturn, 0}, {"Exit(5)", 5, kExit, 5},
                       {"Exit(259)", 259, kExit, 0},   {"Exit(12) on another object", 12, kExitOnOther, 12}};
    // clang-format on
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Thread thread(CreateZelkThread()), bystander(CreateZelkThread());
        std::atomic<bool> afterExit{false};
        FunctionRunnable runnable("exit code", [&]() -> unsigned long {
            CZelkErrorScope scope;
            ERRAdd(TestError("exit.cpp", 1, 1));
            try {
                if (c.how != kReturn) throw 1;
            } catch (...) {
                (c.how == kExit ? MyZelkThread() : *bystander).Exit(c.code);
            }
            afterExit = c.how != kReturn;  // never reached after an Exit
            return c.code;
        });
        ASSERT_EQ(thread->Start(&runnable), 1);
        EXPECT_EQ(thread->Join(), c.joined);
        EXPECT_FALSE(afterExit.load()) << "Exit returned";
        EXPECT_EQ(thread->GetErrorList().GetErrorCount(), c.how == kReturn ? 0u : 1u);
        EXPECT_STREQ(thread->GetName(), "joined");
        EXPECT_EQ(thread->Join(), kNoThread) << "joined once only";
    }
}

// An unstarted object joins nothing and refuses a null runnable; Start is
// refused while a thread is attached (running, or ended but not joined),
// and the object starts again after Join.  Neither a refused Start nor a
// Join of nothing renames; SetName keeps a copy.
TEST(Thread, StartRefusedWhileAttachedAndWorksAgainAfterJoin) {
    Thread thread(CreateZelkThread());
    EXPECT_EQ(thread->IsRunning(), 0);
    EXPECT_EQ(thread->Join(), kNoThread);
    EXPECT_EQ(thread->Start(nullptr), 0);
    EXPECT_STREQ(thread->GetName(), "unstarted");
    std::unique_ptr<CAbstractSemaphore> go(CreateZelkSemaphore(0));
    FunctionRunnable first("first", [&] { return go->Lock(), 7UL; });
    FunctionRunnable second(nullptr, [] { return std::string(MyZelkThread().GetName()).empty() ? 8UL : 9UL; });
    ASSERT_EQ(thread->Start(&first), 1);
    EXPECT_EQ(thread->Start(&second), 0) << "running";
    EXPECT_STREQ(thread->GetName(), "first");
    go->Unlock();
    ASSERT_TRUE(WaitFor([&] { return thread->IsRunning() == 0; }));
    EXPECT_EQ(thread->Start(&second), 0) << "ended but not joined";
    EXPECT_EQ(thread->Join(), 7UL);
    ASSERT_EQ(thread->Start(&second), 1) << "an object starts again after Join";
    EXPECT_EQ(thread->Join(), 8UL) << "a null runnable name is an empty thread name";
    std::string name = "first name";
    thread->SetName(name.c_str());
    name = "changed afterwards";
    EXPECT_STREQ(thread->GetName(), "first name");
    thread->SetName(nullptr);
    EXPECT_STREQ(thread->GetName(), "");
}

// Inside Run a thread finds its own object, named after the runnable, with
// its own error list; threads the library did not start
// (even one made inside a library thread) share the object "Main".
TEST(Thread, EachThreadFindsItsOwnObject) {
    CAbstractThread& main = MyZelkThread();
    EXPECT_STREQ(main.GetName(), "Main");
    Thread thread(CreateZelkThread());
    CZelkErrorList* const before = &thread->GetErrorList();
    EXPECT_NE(before, &main.GetErrorList());
    CAbstractThread *self = nullptr, *nestedHost = nullptr;
    std::string name;
    CZelkErrorList* inside = nullptr;
    FunctionRunnable runnable("worker seven", [&] {
        self = &MyZelkThread();
        name = self->GetName();
        inside = &self->GetErrorList();
        std::thread([&] { nestedHost = &MyZelkThread(); }).join();
        return 0UL;
    });
    ASSERT_EQ(thread->Start(&runnable), 1);
    thread->Join();
    EXPECT_EQ(self, thread.get());
    EXPECT_EQ(name, "worker seven");
    EXPECT_EQ(inside, before);
    EXPECT_EQ(nestedHost, &main);
}

// A new object takes the priority stored in its creator's object (not the
// system's); values pass to the system unchanged and are stored whatever it
// says.
TEST(Thread, PriorityIsStoredAndInheritedFromTheCreatorsObject) {
    CAbstractThread& main = MyZelkThread();
    ASSERT_EQ(main.GetPriority(), 0);
    main.SetPriority(-1);  // the main object only stores the value
    EXPECT_EQ(Thread(CreateZelkThread())->GetPriority(), -1);
    main.SetPriority(0);
    Thread parent(CreateZelkThread());
    int childPriority = -100;
    FunctionRunnable runnable("creates a child", [&] {
        childPriority = Thread(CreateZelkThread())->GetPriority();
        return static_cast<unsigned long>(MyZelkThread().GetPriority() + 100);
    });
    parent->SetPriority(2);  // stored before the thread is attached
    ASSERT_EQ(parent->Start(&runnable), 1);
    EXPECT_EQ(parent->Join(), 102UL);
    EXPECT_EQ(childPriority, 2);
}

// Deleting waits for a running thread, joins an ended one and returns at once
// for an unstarted one; through either interface the whole object goes.
TEST(Thread, DeletingTheObjectEndsItsThreadFirst) {
    delete CreateZelkThread();
    std::atomic<bool> runEnded{false};
    FunctionRunnable slow("slow", [&] { return LetOthersRun(), runEnded = true, 0UL; });
    CAbstractThread* running = CreateZelkThread();
    ASSERT_EQ(running->Start(&slow), 1);
    delete static_cast<CAbstractSignals*>(running);
    EXPECT_TRUE(runEnded.load());
    FunctionRunnable quick("quick", [] { return 1UL; });
    CAbstractThread* ended = CreateZelkThread();
    ASSERT_EQ(ended->Start(&quick), 1);
    ASSERT_TRUE(WaitFor([&] { return ended->IsRunning() == 0; }));
    delete ended;
}

// What a host's clean-up code does on a thread that ends: it asks for its
// thread, re-enters a critical section the thread still holds and reports
// an error.  One ending thread at a time.
struct Ending {
    CAbstractThread* object = nullptr;
    std::string name;
    std::unique_ptr<CAbstractCriticalSection> held{CreateZelkCriticalSection()};
    std::atomic<int> ran{0}, wrong{0};
    std::atomic<bool> inLast{false}, go{false}, lastDone{false};
};
Ending* g_ending = nullptr;

void CleanUp(int code) {
    CAbstractThread& mine = MyZelkThread();
    bool const own = &mine == g_ending->object && g_ending->name == mine.GetName() && mine.IsRunning() == 1;
    bool const reentered = g_ending->held->TryLock() == 1;
    if (reentered) g_ending->held->Unlock();
    ERRAdd(TestError("ending.cpp", code, code));
    g_ending->wrong += !own || !reentered;
    ++g_ending->ran;
}

// A host's thread_local with a destructor.  The one made first is
// destroyed last: it lets the controlling thread look at the object while
// the thread is still in its destructor, then gives up the critical section.
struct HostLocal {
    int code;
    bool last;
    ~HostLocal() {
        CleanUp(code);
        if (!last) return;
        g_ending->inLast = true;
        WaitFor([] { return g_ending->go.load(); });
        LetOthersRun();  // Join must still wait for this
        g_ending->held->Unlock();
        g_ending->lastDone = true;
    }
};
HostLocal& EarlyLocal() {
    thread_local HostLocal local{101, true};
    return local;
}
HostLocal& LateLocal() {
    thread_local HostLocal local{102, false};
    return local;
}
struct OnTheStack {
    ~OnTheStack() { CleanUp(103); }
};

// Until the system thread has ended, everything that runs on it belongs to
// its object: the stack's destructors after a return from Run, and the
// host's thread_local destructors, made before or after the thread's first
// call into the library, after a return or an Exit (which abandons the
// stack on every system).  They find the object still running, its
// critical sections theirs and its error list; Join waits for the last of
// them.
TEST(Thread, CodeThatRunsAsTheThreadEndsStillBelongsToIt) {
    ERRClearErrors();
    for (bool const exits : {false, true}) {
        SCOPED_TRACE(exits ? "Exit(5) holding a critical section" : "Run returns 7 holding a critical section");
        Ending ending;
        g_ending = &ending;
        Thread thread(CreateZelkThread());
        ending.object = thread.get();
        ending.name = exits ? "exits early" : "returns";
        FunctionRunnable runnable(ending.name.c_str(), [&]() -> unsigned long {
            EarlyLocal();
            ending.held->Lock();
            LateLocal();
            OnTheStack const onTheStack;
            if (exits) MyZelkThread().Exit(5);
            return 7;
        });
        ASSERT_EQ(thread->Start(&runnable), 1);
        ASSERT_TRUE(WaitFor([&] { return ending.inLast.load(); }));
        EXPECT_EQ(thread->IsRunning(), 1) << "still in a thread_local destructor";
        ending.go = true;
        EXPECT_EQ(thread->Join(), exits ? 5UL : 7UL);
        EXPECT_TRUE(ending.lastDone.load()) << "Join returned before the thread's last code";
        EXPECT_EQ(ending.wrong.load(), 0);
        EXPECT_EQ(ending.ran.load(), exits ? 2 : 3) << "both thread_local destructors ran, the stack's only on return";
        EXPECT_EQ(ending.held->TryLock(), 1) << "released by the ending thread's last Unlock";
        ending.held->Unlock();
        EXPECT_EQ(static_cast<int>(thread->GetErrorList().GetErrorCount()), ending.ran.load());
        EXPECT_EQ(ERRMyList().GetErrorCount(), 0u) << "nothing went to the main list";
        g_ending = nullptr;
    }
}

// The system shows a started thread by the library's name for it, from its
// start and after SetName (the kernel keeps the start of a long name, and no
// half of a UTF-8 character); the host's own threads keep the names they
// have, whatever they do with the library.
TEST(Thread, TheSystemShowsTheNamesOfStartedThreadsOnly) {
    std::optional<std::string> const mainName = zelk::test::SystemThreadName();
    if (!mainName) GTEST_SKIP() << "the system does not tell thread names";
    auto shown = [](std::string const& name) {
        std::size_t const limit = zelk::test::SystemThreadNameLimit();
        if (limit == 0 || name.size() <= limit) return name;
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        return name.substr(0, cut);
    };
    for (std::string const name : {"worker seven", "a name longer than fifteen bytes",
                                   "\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4x"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> seen;
        LayerThread thread(
            [&] {
                seen.push_back(zelk::test::SystemThreadName().value_or("?"));
                MyZelkThread().SetName(("re" + name).c_str());
                seen.push_back(zelk::test::SystemThreadName().value_or("?"));
                return 0UL;
            },
            name.c_str());
        ASSERT_TRUE(thread.Started());
        thread.Join();
        EXPECT_EQ(seen, (std::vector<std::string>{shown(name), shown("re" + name)}));
    }
    std::optional<std::string> hostBefore, hostAfter;
    std::thread host([&] {
        hostBefore = zelk::test::SystemThreadName();
        LayerThread([] { return 0UL; }, "started by host").Join();
        MyZelkThread().SetName(MyZelkThread().GetName());
        ERRAdd(TestError("names.cpp", 1, 1));
        hostAfter = zelk::test::SystemThreadName();
    });
    host.join();
    ERRClearErrors();
    EXPECT_EQ(hostAfter, hostBefore);
    EXPECT_EQ(zelk::test::SystemThreadName(), mainName);
}

}  // namespace
