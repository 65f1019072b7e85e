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
using Semaphore = std::unique_ptr<CAbstractSemaphore>;

constexpr unsigned long kNoThread = 0xFFFFFFFFUL;

TEST(Thread, UnstartedObjectJoinsNothingAndRefusesANullRunnable) {
    Thread thread(CreateZelkThread());
    EXPECT_STREQ(thread->GetName(), "unstarted");
    EXPECT_EQ(thread->IsRunning(), 0);
    EXPECT_EQ(thread->Join(), kNoThread);
    EXPECT_EQ(thread->Start(nullptr), 0);
    EXPECT_STREQ(thread->GetName(), "unstarted") << "neither Join of nothing nor a refused Start renames";
    EXPECT_EQ(thread->Join(), kNoThread);
}

// How a thread ends decides its exit code; 259 reads "still running" to the
// system, so it ends as 0 whether returned or passed to Exit.
TEST(Thread, ExitCodeComesFromRunOrExit) {
    struct Case {
        char const* name;
        unsigned long code;
        bool viaExit;
        unsigned long joined;
    };
    for (Case const c : {Case{"Run returns 7", 7, false, 7}, Case{"Run returns 259", 259, false, 0},
                         Case{"Run returns 260", 260, false, 260}, Case{"Run returns 0xFFFFFFFE", 0xFFFFFFFEUL, false, 0xFFFFFFFEUL},
                         Case{"Exit(5)", 5, true, 5}, Case{"Exit(259)", 259, true, 0}}) {
        SCOPED_TRACE(c.name);
        Thread thread(CreateZelkThread());
        std::atomic<bool> afterExit{false};
        FunctionRunnable runnable("exit code", [&]() -> unsigned long {
            if (c.viaExit) {
                MyZelkThread().Exit(c.code);
                afterExit = true;  // never reached
            }
            return c.code;
        });
        ASSERT_EQ(thread->Start(&runnable), 1);
        EXPECT_EQ(thread->Join(), c.joined);
        EXPECT_FALSE(afterExit.load()) << "Exit returned";
        EXPECT_STREQ(thread->GetName(), "joined");
        EXPECT_EQ(thread->IsRunning(), 0);
        EXPECT_EQ(thread->Join(), kNoThread) << "joined once only";
    }
}

TEST(Thread, ExitOnAnotherObjectStillEndsTheCaller) {
    Thread caller(CreateZelkThread());
    Thread bystander(CreateZelkThread());
    FunctionRunnable runnable("exits through another object", [&]() -> unsigned long {
        bystander->Exit(12);
        return 1;  // never reached
    });
    ASSERT_EQ(caller->Start(&runnable), 1);
    EXPECT_EQ(caller->Join(), 12UL);
    EXPECT_STREQ(bystander->GetName(), "unstarted");
}

// Start is refused while a thread is attached (running, or ended but not
// joined); Join waits for Run and the object starts again afterwards.
TEST(Thread, StartRefusedWhileAttachedAndWorksAgainAfterJoin) {
    Thread thread(CreateZelkThread());
    Semaphore go(CreateZelkSemaphore(0));
    FunctionRunnable first("first", [&] {
        go->Lock();
        return 7UL;
    });
    FunctionRunnable second(nullptr, [] { return std::string(MyZelkThread().GetName()).empty() ? 8UL : 9UL; });
    ASSERT_EQ(thread->Start(&first), 1);
    EXPECT_EQ(thread->IsRunning(), 1);
    EXPECT_EQ(thread->Start(&second), 0) << "running";
    EXPECT_STREQ(thread->GetName(), "first");
    go->Unlock();
    ASSERT_TRUE(WaitFor([&] { return thread->IsRunning() == 0; }));
    EXPECT_EQ(thread->Start(&second), 0) << "ended but not joined";
    EXPECT_EQ(thread->Join(), 7UL);

    ASSERT_EQ(thread->Start(&second), 1) << "an object starts again after Join";
    EXPECT_EQ(thread->Join(), 8UL) << "a null runnable name is an empty thread name";
    EXPECT_STREQ(thread->GetName(), "joined");

    std::atomic<bool> runEnded{false};
    FunctionRunnable slow("slow", [&] {
        LetOthersRun();
        runEnded = true;
        return 3UL;
    });
    ASSERT_EQ(thread->Start(&slow), 1);
    EXPECT_EQ(thread->Join(), 3UL);
    EXPECT_TRUE(runEnded.load()) << "Join returned before Run";
}

TEST(Thread, SetNameStoresACopyAndNullIsEmpty) {
    Thread thread(CreateZelkThread());
    std::string name = "first name";
    thread->SetName(name.c_str());
    name = "changed afterwards";
    EXPECT_STREQ(thread->GetName(), "first name");
    thread->SetName(nullptr);
    EXPECT_STREQ(thread->GetName(), "");
}

// Inside Run a thread finds its own object, named after the runnable, with
// its own error list kept across restarts; threads the library did not start
// (even one made inside a library thread) share the object "Main".
TEST(Thread, EachThreadFindsItsOwnObject) {
    CAbstractThread& main = MyZelkThread();
    EXPECT_STREQ(main.GetName(), "Main");
    EXPECT_EQ(main.IsRunning(), 0);
    EXPECT_EQ(main.Join(), kNoThread);

    Thread thread(CreateZelkThread());
    CZelkErrorList* const before = &thread->GetErrorList();
    EXPECT_NE(before, &main.GetErrorList());
    CAbstractThread* self = nullptr;
    CAbstractThread* nestedHost = nullptr;
    std::string name;
    CZelkErrorList* inside = nullptr;
    FunctionRunnable runnable("worker seven", [&] {
        self = &MyZelkThread();
        name = MyZelkThread().GetName();
        inside = &MyZelkThread().GetErrorList();
        std::thread host([&] { nestedHost = &MyZelkThread(); });
        host.join();
        return 0UL;
    });
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(thread->Start(&runnable), 1);
        thread->Join();
        EXPECT_EQ(self, thread.get());
        EXPECT_EQ(name, "worker seven");
        EXPECT_EQ(inside, before) << "round " << round;
        EXPECT_EQ(nestedHost, &main);
    }
}

TEST(Thread, PriorityIsStoredAndInheritedFromTheCreatorsObject) {
    CAbstractThread& main = MyZelkThread();
    ASSERT_EQ(main.GetPriority(), 0);
    main.SetPriority(-1);  // the main object only stores the value
    EXPECT_EQ(Thread(CreateZelkThread())->GetPriority(), -1) << "from the main object";
    main.SetPriority(0);

    Thread parent(CreateZelkThread());
    parent->SetPriority(2);  // stored only: nothing attached yet
    int childPriority = -100;
    FunctionRunnable runnable("creates a child", [&] {
        childPriority = Thread(CreateZelkThread())->GetPriority();
        return static_cast<unsigned long>(MyZelkThread().GetPriority() + 100);
    });
    ASSERT_EQ(parent->Start(&runnable), 1);
    EXPECT_EQ(parent->Join(), 102UL);
    EXPECT_EQ(childPriority, 2) << "the creator's stored value, not the system's";
    // Values pass to the system unchanged and are stored whatever it says.
    for (int const priority : {-15, 15}) {
        parent->SetPriority(priority);
        ASSERT_EQ(parent->Start(&runnable), 1);
        EXPECT_EQ(parent->Join(), static_cast<unsigned long>(priority + 100));
        EXPECT_EQ(parent->GetPriority(), priority);
    }
}

// Deleting waits for a running thread, joins an ended one and returns at once
// for an unstarted one; through either interface the whole object goes.
TEST(Thread, DeletingTheObjectEndsItsThreadFirst) {
    delete CreateZelkThread();
    std::atomic<bool> runEnded{false};
    FunctionRunnable slow("slow", [&] {
        LetOthersRun();
        runEnded = true;
        return 0UL;
    });
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
