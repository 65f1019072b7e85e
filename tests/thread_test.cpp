// Contract tests of thread objects, MyZelkThread and the main thread object.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::LetOthersRun;
using zelk::test::WaitFor;
using Thread = std::unique_ptr<CAbstractThread>;

constexpr unsigned long kNoThread = 0xFFFFFFFFUL;

// Neither Join of nothing nor a refused Start renames; SetName keeps a copy.
TEST(Thread, UnstartedObjectJoinsNothingAndRefusesANullRunnable) {
    Thread thread(CreateZelkThread());
    EXPECT_STREQ(thread->GetName(), "unstarted");
    EXPECT_EQ(thread->IsRunning(), 0);
    EXPECT_EQ(thread->Join(), kNoThread);
    EXPECT_EQ(thread->Start(nullptr), 0);
    EXPECT_STREQ(thread->GetName(), "unstarted");
    std::string name = "first name";
    thread->SetName(name.c_str());
    name = "changed afterwards";
    EXPECT_STREQ(thread->GetName(), "first name");
    thread->SetName(nullptr);
    EXPECT_STREQ(thread->GetName(), "");
}

// How a thread ends decides its exit code; 259 reads "still running" to the
// system, so it ends as 0 whether returned or passed to Exit.  Exit on
// another object still ends the calling thread.
TEST(Thread, ExitCodeComesFromRunOrExit) {
    enum How { kReturn, kExit, kExitOnOther };
    struct Case {
        char const* name;
        unsigned long code;
        How how;
        unsigned long joined;
    } const cases[] = {{"Run returns 7", 7, kReturn, 7}, {"Run returns 259", 259, kReturn, 0}, {"Exit(5)", 5, kExit, 5},
                       {"Exit(259)", 259, kExit, 0},   {"Exit(12) on another object", 12, kExitOnOther, 12}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Thread thread(CreateZelkThread()), bystander(CreateZelkThread());
        std::atomic<bool> afterExit{false};
        FunctionRunnable runnable("exit code", [&]() -> unsigned long {
            if (c.how != kReturn) {
                (c.how == kExit ? MyZelkThread() : *bystander).Exit(c.code);
                afterExit = true;  // never reached
            }
            return c.code;
        });
        ASSERT_EQ(thread->Start(&runnable), 1);
        EXPECT_EQ(thread->Join(), c.joined);
        EXPECT_FALSE(afterExit.load()) << "Exit returned";
        EXPECT_STREQ(thread->GetName(), "joined");
        EXPECT_EQ(thread->Join(), kNoThread) << "joined once only";
    }
}

// Start is refused while a thread is attached (running, or ended but not
// joined), and the object starts again after Join.
TEST(Thread, StartRefusedWhileAttachedAndWorksAgainAfterJoin) {
    Thread thread(CreateZelkThread());
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

}  // namespace
