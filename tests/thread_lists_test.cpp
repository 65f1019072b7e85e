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

// ERRAdd returns the caller's object and files a snapshot in the thread
// object's list: a started thread has a list of its own, threads the library
// did not start share the main thread object's list.
TEST_F(ThreadLists, EachThreadAddsToItsOwnList) {
    TestError const error("lists.cpp", 1, 5);
    EXPECT_EQ(&ERRAdd(error), &error);
    CErrorClone snapshot;
    ASSERT_EQ(ERRMyList().GetError(snapshot, ERRMyList().GetLast()), 1);
    EXPECT_EQ(snapshot.GetOrdinalNumber(), error.GetOrdinalNumber());
    EXPECT_EQ(snapshot.GetError(), 5);
    EXPECT_EQ(&ERRMyList(), &MyZelkThread().GetErrorList());

    CZelkErrorList* layerList = nullptr;
    CZelkErrorList* layerOwn = nullptr;
    std::size_t inLayer = 0;
    {
        LayerThread thread([&] {
            layerList = &ERRMyList();
            layerOwn = &MyZelkThread().GetErrorList();
            Add();
            Add();
            inLayer = Numbers(ERRMyList()).size();
            return 0ul;
        });
    }
    EXPECT_EQ(layerList, layerOwn);
    EXPECT_NE(layerList, &ERRMyList());
    EXPECT_EQ(inLayer, 2u);

    CZelkErrorList* hostList = nullptr;
    std::uint32_t added = 0;
    std::thread([&] {
        hostList = &ERRMyList();
        added = Add(3);
    }).join();
    EXPECT_EQ(hostList, &ERRMyList());
    EXPECT_EQ(Numbers(ERRMyList()), (std::vector<std::uint32_t>{error.GetOrdinalNumber().Get(), added}));
    for (int i = 0; i < 1005; ++i) Add(i);  // a full list drops new errors
    EXPECT_EQ(ERRMyList().GetErrorCount(), 1000u);
}

TEST_F(ThreadLists, GetLastAndRollback) {
    ErrorListPos const empty = CZelkError::GetLast();
    EXPECT_TRUE(empty.IsNull());
    std::uint32_t const a = Add();
    std::uint32_t const b = Add();
    ErrorListPos const mark = CZelkError::GetLast();
    EXPECT_EQ(Number(mark), b);
    Add();
    std::thread([] { Add(); }).join();  // another thread sharing the main list
    mark.Rollback();
    EXPECT_EQ(Numbers(ERRMyList()), (std::vector<std::uint32_t>{a, b}));
    mark.Rollback();  // nothing after it: nothing goes
    EXPECT_EQ(Numbers(ERRMyList()), (std::vector<std::uint32_t>{a, b}));
    // When the error at the position has left the list, nothing is removed.
    ERRMyList().ClearErrors();
    std::uint32_t const later = Add();
    mark.Rollback();
    EXPECT_EQ(Numbers(ERRMyList()), std::vector<std::uint32_t>{later});
    // A position taken on an empty list is the null one: rolling back to it empties the list.
    empty.Rollback();
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
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
