// Contract tests of thread objects, MyZelkThread and the main thread object.
#include <zelk/portab.h>

#include "portab_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

using zelk::portab_test::Eventually;
using zelk::portab_test::FunctionRunnable;
using zelk::portab_test::LetOthersRun;
using Thread = std::unique_ptr<CAbstractThread>;
using Semaphore = std::unique_ptr<CAbstractSemaphore>;

constexpr unsigned long kNoThread = 0xFFFFFFFFUL;

TEST(Thread, NewObjectIsUnstartedAndJoinsNothing) {
    Thread thread(CreateZelkThread());
    EXPECT_STREQ(thread->GetName(), "unstarted");
    EXPECT_EQ(thread->IsRunning(), 0);
    EXPECT_EQ(thread->Join(), kNoThread);
    EXPECT_STREQ(thread->GetName(), "unstarted") << "Join of nothing changes nothing";
    EXPECT_EQ(thread->Join(), kNoThread);
}

TEST(Thread, RunResultBecomesTheExitCode) {
    struct Case {
        unsigned long result;
        unsigned long exitCode;
    };
    // 259 reads "still running" to the system, so it ends as 0.
    for (Case const c : {Case{7, 7}, Case{0, 0}, Case{259, 0}, Case{258, 258}, Case{260, 260}, Case{0xFFFFFFFEUL, 0xFFFFFFFEUL}}) {
        Thread thread(CreateZelkThread());
        FunctionRunnable runnable("exit code", [&] { return c.result; });
        ASSERT_EQ(thread->Start(&runnable), 1);
        EXPECT_EQ(thread->Join(), c.exitCode) << "Run returned " << c.result;
        EXPECT_STREQ(thread->GetName(), "joined");
        EXPECT_EQ(thread->IsRunning(), 0);
        EXPECT_EQ(thread->Join(), kNoThread) << "joined once only";
    }
}

TEST(Thread, StartRefusedWhileAttachedAndWorksAgainAfterJoin) {
    Thread thread(CreateZelkThread());
    Semaphore go(CreateZelkSemaphore(0));
    FunctionRunnable first("first", [&] {
        go->Lock();
        return 7UL;
    });
    FunctionRunnable second("second", [] { return 8UL; });
    ASSERT_EQ(thread->Start(&first), 1);
    EXPECT_EQ(thread->IsRunning(), 1);
    EXPECT_EQ(thread->Start(&second), 0) << "running";
    EXPECT_STREQ(thread->GetName(), "first");
    go->Unlock();
    ASSERT_TRUE(Eventually([&] { return thread->IsRunning() == 0; }));
    EXPECT_EQ(thread->Start(&second), 0) << "ended but not joined";
    EXPECT_STREQ(thread->GetName(), "first");
    EXPECT_EQ(thread->Join(), 7UL);
    EXPECT_STREQ(thread->GetName(), "joined");

    ASSERT_EQ(thread->Start(&second), 1) << "an object starts again after Join";
    EXPECT_EQ(thread->Join(), 8UL);
    EXPECT_STREQ(thread->GetName(), "joined");
}

TEST(Thread, StartOfNothingIsRefused) {
    Thread thread(CreateZelkThread());
    EXPECT_EQ(thread->Start(nullptr), 0);
    EXPECT_STREQ(thread->GetName(), "unstarted");
    EXPECT_EQ(thread->IsRunning(), 0);
    EXPECT_EQ(thread->Join(), kNoThread);
}

TEST(Thread, NameDuringRunIsTheRunnablesName) {
    Thread thread(CreateZelkThread());
    std::string seen;
    FunctionRunnable named("worker seven", [&] {
        seen = MyZelkThread().GetName();
        return 0UL;
    });
    ASSERT_EQ(thread->Start(&named), 1);
    thread->Join();
    EXPECT_EQ(seen, "worker seven");

    FunctionRunnable unnamed(nullptr, [&] {
        seen = MyZelkThread().GetName();
        return 0UL;
    });
    ASSERT_EQ(thread->Start(&unnamed), 1);
    thread->Join();
    EXPECT_EQ(seen, "") << "a null name is an empty name";
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

TEST(Thread, ExitEndsTheCallingThreadAtOnce) {
    Thread thread(CreateZelkThread());
    std::atomic<bool> afterExit{false};
    FunctionRunnable runnable("exits", [&]() -> unsigned long {
        MyZelkThread().Exit(5);
        afterExit.store(true);  // never reached
        return 1;
    });
    ASSERT_EQ(thread->Start(&runnable), 1);
    EXPECT_EQ(thread->Join(), 5UL);
    EXPECT_FALSE(afterExit.load());
    EXPECT_STREQ(thread->GetName(), "joined");
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
    EXPECT_EQ(bystander->Join(), kNoThread);
}

TEST(Thread, ExitWith259EndsWith0) {
    Thread thread(CreateZelkThread());
    FunctionRunnable runnable("exits 259", [&]() -> unsigned long {
        MyZelkThread().Exit(259);
        return 1;  // never reached
    });
    ASSERT_EQ(thread->Start(&runnable), 1);
    EXPECT_EQ(thread->Join(), 0UL);
}

TEST(Thread, JoinWaitsForTheEndOfRun) {
    Thread thread(CreateZelkThread());
    Semaphore go(CreateZelkSemaphore(0));
    std::atomic<bool> runEnded{false};
    FunctionRunnable runnable("waits", [&] {
        go->Lock();
        runEnded.store(true);
        return 3UL;
    });
    ASSERT_EQ(thread->Start(&runnable), 1);
    std::thread releaser([&] {
        LetOthersRun();
        go->Unlock();
    });
    EXPECT_EQ(thread->Join(), 3UL);
    EXPECT_TRUE(runEnded.load());
    releaser.join();
}

TEST(Thread, MyZelkThreadInsideRunIsTheStartedObject) {
    Thread thread(CreateZelkThread());
    CAbstractThread* seen = nullptr;
    FunctionRunnable runnable("self", [&] {
        seen = &MyZelkThread();
        return 0UL;
    });
    ASSERT_EQ(thread->Start(&runnable), 1);
    thread->Join();
    EXPECT_EQ(seen, thread.get());
}

TEST(Thread, ThreadsTheLibraryDidNotStartShareMain) {
    CAbstractThread& main = MyZelkThread();
    EXPECT_STREQ(main.GetName(), "Main");
    EXPECT_EQ(main.IsRunning(), 0) << "the main object has no thread attached";
    EXPECT_EQ(main.Join(), kNoThread);
    CAbstractThread* onHostThread = nullptr;
    std::string hostName;
    std::thread host([&] {
        onHostThread = &MyZelkThread();
        hostName = MyZelkThread().GetName();
    });
    host.join();
    EXPECT_EQ(onHostThread, &main);
    EXPECT_EQ(hostName, "Main");
    EXPECT_EQ(&onHostThread->GetErrorList(), &main.GetErrorList()) << "one list shared";

    // A host thread made inside a library thread is still a host thread.
    Thread thread(CreateZelkThread());
    CAbstractThread* nested = nullptr;
    FunctionRunnable runnable("spawns a host thread", [&] {
        std::thread inner([&] { nested = &MyZelkThread(); });
        inner.join();
        return 0UL;
    });
    ASSERT_EQ(thread->Start(&runnable), 1);
    thread->Join();
    EXPECT_EQ(nested, &main);
}

TEST(Thread, EachObjectHasItsOwnErrorListAcrossRestarts) {
    Thread a(CreateZelkThread());
    Thread b(CreateZelkThread());
    EXPECT_NE(&a->GetErrorList(), &b->GetErrorList());
    EXPECT_NE(&a->GetErrorList(), &MyZelkThread().GetErrorList());
    CZelkErrorList* before = &a->GetErrorList();
    CZelkErrorList* inside = nullptr;
    FunctionRunnable runnable("list", [&] {
        inside = &MyZelkThread().GetErrorList();
        return 0UL;
    });
    ASSERT_EQ(a->Start(&runnable), 1);
    a->Join();
    EXPECT_EQ(inside, before);
    EXPECT_EQ(&a->GetErrorList(), before);
}

TEST(Thread, PriorityIsStoredAndInheritedFromTheCreatorsObject) {
    CAbstractThread& main = MyZelkThread();
    ASSERT_EQ(main.GetPriority(), 0);
    {
        Thread onMain(CreateZelkThread());
        EXPECT_EQ(onMain->GetPriority(), 0) << "from the main object";
    }
    main.SetPriority(-1);  // the main object only stores the value
    EXPECT_EQ(main.GetPriority(), -1);
    {
        Thread onMain(CreateZelkThread());
        EXPECT_EQ(onMain->GetPriority(), -1);
    }
    main.SetPriority(0);

    Thread parent(CreateZelkThread());
    parent->SetPriority(2);  // stored only: nothing attached yet
    EXPECT_EQ(parent->GetPriority(), 2);
    int childPriority = -100;
    int runningPriority = -100;
    FunctionRunnable runnable("creates a child", [&] {
        runningPriority = MyZelkThread().GetPriority();
        Thread child(CreateZelkThread());
        childPriority = child->GetPriority();
        return 0UL;
    });
    ASSERT_EQ(parent->Start(&runnable), 1);
    parent->Join();
    EXPECT_EQ(runningPriority, 2);
    EXPECT_EQ(childPriority, 2) << "the creator's stored value, not the system's";
    EXPECT_EQ(parent->GetPriority(), 2) << "kept across Join";

    // Values pass to the system unchanged and are stored whatever it says.
    for (int const priority : {-15, -2, 1, 15, 0}) {
        parent->SetPriority(priority);
        EXPECT_EQ(parent->GetPriority(), priority);
        FunctionRunnable check("priority", [] { return static_cast<unsigned long>(MyZelkThread().GetPriority() + 100); });
        ASSERT_EQ(parent->Start(&check), 1);
        EXPECT_EQ(parent->Join(), static_cast<unsigned long>(priority + 100));
    }
}

TEST(Thread, DeletingAnUnstartedObjectReturnsAtOnce) {
    for (int i = 0; i < 100; ++i) {
        CAbstractThread* thread = CreateZelkThread();
        delete thread;
    }
    SUCCEED();
}

TEST(Thread, DeletingARunningObjectWaitsForRun) {
    std::atomic<bool> runEnded{false};
    FunctionRunnable runnable("slow", [&] {
        LetOthersRun();
        runEnded.store(true);
        return 0UL;
    });
    CAbstractThread* thread = CreateZelkThread();
    ASSERT_EQ(thread->Start(&runnable), 1);
    CAbstractSignals* asSignals = thread;
    delete asSignals;  // through the other interface: the whole object goes
    EXPECT_TRUE(runEnded.load());
}

TEST(Thread, DeletingAnEndedObjectJoinsIt) {
    FunctionRunnable runnable("quick", [] { return 1UL; });
    CAbstractThread* thread = CreateZelkThread();
    ASSERT_EQ(thread->Start(&runnable), 1);
    ASSERT_TRUE(Eventually([&] { return thread->IsRunning() == 0; }));
    delete thread;
    SUCCEED();
}

}  // namespace
