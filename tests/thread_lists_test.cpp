// The per-thread error functions: ERRAdd, ERRMyList, ERRClearErrors,
// CZelkError::GetLast and ErrorListPos::Rollback.
#include "base_errors.h"
#include "layer_thread.h"

#include <zelk/error_list.h>
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using zelk::test::LayerThread;
using zelk::test::TestError;

std::uint32_t Number(ErrorListPos const& position) { return position.GetOrdinalNumber().Get(); }

std::vector<std::uint32_t> Numbers(CZelkErrorList const& list) {
    std::vector<std::uint32_t> numbers;
    for (ErrorListPos p = list.GetFirst(); !p.IsNull(); p = list.GetNext(p)) numbers.push_back(Number(p));
    return numbers;
}

std::uint32_t Add(int code = 1) { return ERRAdd(TestError("lists.cpp", code, code)).GetOrdinalNumber().Get(); }

class ThreadLists : public ::testing::Test {
protected:
    void SetUp() override { ERRClearErrors(); }
    void TearDown() override { ERRClearErrors(); }
};

TEST_F(ThreadLists, AddReturnsTheCallersObject) {
    TestError const error("lists.cpp", 1, 5);
    IZelkError const& result = ERRAdd(error);
    EXPECT_EQ(&result, &error);
    ASSERT_EQ(ERRMyList().GetErrorCount(), 1u);
    CErrorClone snapshot;
    ASSERT_EQ(ERRMyList().GetError(snapshot, ERRMyList().GetLast()), 1);
    EXPECT_EQ(snapshot.GetOrdinalNumber(), error.GetOrdinalNumber());
    EXPECT_EQ(snapshot.GetError(), 5);
}

TEST_F(ThreadLists, MyListIsTheThreadObjectsList) {
    EXPECT_EQ(&ERRMyList(), &MyZelkThread().GetErrorList());
    CZelkErrorList* layerList = nullptr;
    CZelkErrorList* layerOwn = nullptr;
    {
        LayerThread thread([&] {
            layerList = &ERRMyList();
            layerOwn = &MyZelkThread().GetErrorList();
            return 0ul;
        });
    }
    EXPECT_EQ(layerList, layerOwn);
    EXPECT_NE(layerList, &ERRMyList());  // a started thread has a list of its own
}

// Threads the library did not start share the main thread object's list.
TEST_F(ThreadLists, HostThreadsShareTheMainList) {
    CZelkErrorList* hostList = nullptr;
    std::uint32_t added = 0;
    std::thread([&] {
        hostList = &ERRMyList();
        added = Add(3);
    }).join();
    EXPECT_EQ(hostList, &ERRMyList());
    EXPECT_EQ(Numbers(ERRMyList()), std::vector<std::uint32_t>{added});
    std::vector<std::uint32_t> seen;
    std::thread([&] { seen = Numbers(ERRMyList()); }).join();
    EXPECT_EQ(seen, std::vector<std::uint32_t>{added});
}

TEST_F(ThreadLists, ErrorsOfAStartedThreadStayInItsList) {
    std::vector<std::uint32_t> inThread;
    {
        LayerThread thread([&] {
            Add();
            Add();
            inThread = Numbers(ERRMyList());
            return 0ul;
        });
    }
    EXPECT_EQ(inThread.size(), 2u);
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
}

TEST_F(ThreadLists, GetLastAndRollback) {
    EXPECT_TRUE(CZelkError::GetLast().IsNull());
    std::uint32_t const a = Add();
    std::uint32_t const b = Add();
    ErrorListPos const mark = CZelkError::GetLast();
    EXPECT_EQ(Number(mark), b);
    Add();
    Add();
    mark.Rollback();
    EXPECT_EQ(Numbers(ERRMyList()), (std::vector<std::uint32_t>{a, b}));
    mark.Rollback();  // nothing after it: nothing goes
    EXPECT_EQ(Numbers(ERRMyList()), (std::vector<std::uint32_t>{a, b}));
}

// A position taken on an empty list is the null position: rolling back to
// it empties the list, errors that other code added in between included.
TEST_F(ThreadLists, RollbackToTheNullPositionEmptiesTheList) {
    ErrorListPos const mark = CZelkError::GetLast();
    ASSERT_TRUE(mark.IsNull());
    Add();
    std::thread([] { Add(); }).join();  // another thread sharing the main list
    ASSERT_EQ(ERRMyList().GetErrorCount(), 2u);
    mark.Rollback();
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
}

// When the error at the position has left the list, nothing is removed.
TEST_F(ThreadLists, RollbackToAVanishedPositionRemovesNothing) {
    Add();
    ErrorListPos const mark = CZelkError::GetLast();
    ERRMyList().ClearErrors();
    std::uint32_t const later = Add();
    mark.Rollback();
    EXPECT_EQ(Numbers(ERRMyList()), std::vector<std::uint32_t>{later});
}

// Rollback acts on the calling thread's list only.
TEST_F(ThreadLists, RollbackOnAnotherThreadLeavesThisListAlone) {
    Add();
    Add();
    ErrorListPos const mark = CZelkError::GetLast();
    unsigned inThread = 99;
    {
        LayerThread thread([&] {
            Add();
            ErrorListPos().Rollback();
            inThread = ERRMyList().GetErrorCount();
            mark.Rollback();
            return 0ul;
        });
    }
    EXPECT_EQ(inThread, 0u);
    EXPECT_EQ(ERRMyList().GetErrorCount(), 2u);
}

TEST_F(ThreadLists, AFullListDropsNewErrors) {
    for (int i = 0; i < 1005; ++i) Add(i);
    EXPECT_EQ(ERRMyList().GetErrorCount(), 1000u);
}

// ERRClearErrors empties the list of every running thread and the main list;
// a thread object that is not registered (joined) keeps its list.
TEST_F(ThreadLists, ClearErrorsReachesEveryRegisteredThread) {
    constexpr int kThreads = 4;
    std::atomic<int> added{0};
    std::atomic<bool> cleared{false};
    std::atomic<int> emptyAfterClear{0};
    std::vector<std::unique_ptr<LayerThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::make_unique<LayerThread>([&] {
            Add();
            Add();
            ++added;
            while (!cleared.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (ERRMyList().GetErrorCount() == 0) ++emptyAfterClear;
            return 0ul;
        }));
    }
    ASSERT_TRUE(zelk::test::WaitFor([&] { return added.load() == kThreads; }));
    Add();
    std::thread([] { Add(); }).join();

    // A thread object that ran and was joined is no longer registered.
    LayerThread joined([] {
        Add();
        return 0ul;
    });
    joined.Join();
    // Its list is reachable only through the object: put an error there.
    joined.Thread().GetErrorList().AddError(TestError("joined.cpp", 1, 1));
    unsigned const joinedBefore = joined.Thread().GetErrorList().GetErrorCount();

    ERRClearErrors();
    cleared = true;
    for (auto& thread : threads) thread->Join();
    EXPECT_EQ(emptyAfterClear.load(), kThreads);
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
    EXPECT_EQ(joined.Thread().GetErrorList().GetErrorCount(), joinedBefore);
    EXPECT_GE(joinedBefore, 1u);
}

}  // namespace
