// The per-thread error functions: ERRAdd, ERRMyList, ERRClearErrors,
// CZelkError::GetLast and ErrorListPos::Rollback.
#include "layer_thread.h"
#include "test_errors.h"

#include <zelk/error_list.h>
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using zelk::test::LayerThread;
using zelk::test::Numbers;
using zelk::test::TestError;
using Numbers_t = std::vector<std::uint32_t>;

std::uint32_t Add(int code = 1) { return ERRAdd(TestError("lists.cpp", code, code)).GetOrdinalNumber().Get(); }

// A host's static objects report errors before main and after it: the
// library's own objects are there on both sides.
struct StaticReporter {
    std::uint32_t before = 0;
    StaticReporter() { before = ERRAdd(TestError("static.cpp", 1, 11)).GetOrdinalNumber().Get(); }
    ~StaticReporter() {
        TestError const late("static.cpp", 2, 12);
        ERRAdd(late);
        if (late.GetOrdinalNumber().Get() == 0 ||
            ERRMyList().GetLast().GetOrdinalNumber().Get() != late.GetOrdinalNumber().Get() ||
            std::string(late.GetThreadName()) != "Main") {
            std::fputs("an error reported from a static destructor was lost\n", stderr);
            std::_Exit(3);
        }
    }
} const g_staticReporter;

TEST(StaticObjects, ReportBeforeMain) { EXPECT_NE(g_staticReporter.before, 0u); }

struct ThreadLists : ::testing::Test {
    void SetUp() override { ERRClearErrors(); }
    void TearDown() override { ERRClearErrors(); }
};

// ERRAdd returns the caller's object and files a snapshot in the thread
// object's list: a started thread has a list of its own, threads the library
// did not start share the main thread object's list.
TEST_F(ThreadLists, EachThreadAddsToItsOwnList) {
    TestError const error("lists.cpp", 1, 5);
    EXPECT_EQ(&ERRAdd(error), &error);
    CZelkErrorList *layerList = nullptr, *layerOwn = nullptr;
    std::size_t inLayer = 0;
    LayerThread([&] {
        layerList = &ERRMyList();
        layerOwn = &MyZelkThread().GetErrorList();
        Add();
        inLayer = ERRMyList().GetErrorCount();
        return 0ul;
    }).Join();
    EXPECT_EQ(layerList, layerOwn);
    EXPECT_EQ(inLayer, 1u);
    std::uint32_t added = 0;
    std::thread([&] { added = Add(3); }).join();
    EXPECT_EQ(Numbers(ERRMyList()), (Numbers_t{error.GetOrdinalNumber().Get(), added}));
}

// Rollback removes what came after the position, from any thread sharing the
// list, and acts on the calling thread's list only; the null position taken
// from an empty list empties it, errors added meanwhile included.
TEST_F(ThreadLists, GetLastAndRollback) {
    ErrorListPos const empty = CZelkError::GetLast();
    EXPECT_TRUE(empty.IsNull());
    std::uint32_t const a = Add(), b = Add();
    ErrorListPos const mark = CZelkError::GetLast();
    std::thread([] { Add(); }).join();
    unsigned inThread = 99;
    LayerThread([&] {
        Add();
        mark.Rollback();
        inThread = ERRMyList().GetErrorCount();
        return 0ul;
    }).Join();
    EXPECT_EQ(inThread, 1u);
    EXPECT_EQ(ERRMyList().GetErrorCount(), 3u);
    mark.Rollback();
    EXPECT_EQ(Numbers(ERRMyList()), (Numbers_t{a, b}));
    empty.Rollback();
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
}

// An error keeps the thread name it was made with when the thread is
// renamed or joined afterwards.
TEST_F(ThreadLists, ErrorsKeepTheirThreadName) {
    std::unique_ptr<TestError> early, renamed;
    LayerThread thread([&] {
        early = std::make_unique<TestError>("lists.cpp", 1, 1);
        ERRAdd(*early);
        MyZelkThread().SetName("renamed");
        renamed = std::make_unique<TestError>("lists.cpp", 2, 2);
        return 0ul;
    });
    thread.Join();
    EXPECT_STREQ(early->GetThreadName(), "layer test thread");
    EXPECT_STREQ(renamed->GetThreadName(), "renamed");
    CErrorClone snapshot;
    ASSERT_EQ(thread.Thread().GetErrorList().GetError(snapshot, thread.Thread().GetErrorList().GetFirst()), 1);
    EXPECT_STREQ(snapshot.GetThreadName(), "layer test thread");
    EXPECT_STREQ(thread.Thread().GetName(), "joined");
}

// ERRClearErrors empties the list of every running thread and the main list;
// a thread object that is not registered (joined) keeps its list.
TEST_F(ThreadLists, ClearErrorsReachesEveryRegisteredThread) {
    constexpr int kThreads = 3;
    std::atomic<int> added{0}, emptyAfterClear{0};
    std::atomic<bool> cleared{false};
    std::vector<std::unique_ptr<LayerThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::make_unique<LayerThread>([&] {
            Add();
            ++added;
            while (!cleared.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            emptyAfterClear += ERRMyList().GetErrorCount() == 0;
            return 0ul;
        }));
    }
    ASSERT_TRUE(zelk::test::WaitFor([&] { return added.load() == kThreads; }));
    Add();
    LayerThread joined([] { return Add(), 0ul; });
    joined.Join();
    ERRClearErrors();
    cleared = true;
    for (auto& thread : threads) thread->Join();
    EXPECT_EQ(emptyAfterClear.load(), kThreads);
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
    EXPECT_EQ(joined.Thread().GetErrorList().GetErrorCount(), 1u);
}

}  // namespace
