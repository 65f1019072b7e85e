// The first error a process makes is number 1, the next 2, whichever thread
// makes them; copies draw none.  This executable makes no error before these
// checks: it holds these tests only, the first of them first.
#include "layer_thread.h"
#include "test_errors.h"

#include "portab/library.h"
#include "portab/semaphore.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using zelk::test::TestError;

std::uint32_t Number(IZelkError const& error) { return error.GetOrdinalNumber().Get(); }

TEST(FirstError, NumberingStartsAtOne) {
    std::uint32_t second = 0, third = 0;
    TestError const first("first.cpp", 1, 1);
    EXPECT_EQ(Number(first), 1u);
    std::thread([&] { second = Number(TestError("second.cpp", 2, 2)); }).join();
    EXPECT_EQ(second, 2u);
    zelk::test::LayerThread([&] { return third = Number(TestError("third.cpp", 3, 3)), 0ul; }).Join();
    EXPECT_EQ(third, 3u);
    EXPECT_EQ(Number(TestError(first)), 1u);
    EXPECT_EQ(Number(TestError("fourth.cpp", 4, 4)), 4u);
}

// A process that lives long enough draws every number: the counter goes on
// round the circle of 2^32 instead of sticking at its top.
TEST(FirstError, NumberingWrapsPastTheTop) {
    {
        zelk::SemaphoreLock guard(zelk::NumberingLock());
        zelk::NumberingCounter() = 0xFFFFFFFEu;
    }
    EXPECT_EQ(Number(TestError("top.cpp", 1, 1)), 0xFFFFFFFFu);
    EXPECT_EQ(Number(TestError("top.cpp", 2, 2)), 0u);
    EXPECT_EQ(Number(TestError("top.cpp", 3, 3)), 1u);
}

}  // namespace
