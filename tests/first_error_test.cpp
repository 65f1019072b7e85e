// The first error a process makes is number 1, the next 2, whichever thread
// makes them.  This executable makes no error before these checks: it holds
// this one test only.
#include "base_errors.h"
#include "layer_thread.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using zelk::test::TestError;

TEST(FirstError, NumberingStartsAtOne) {
    std::uint32_t second = 0;
    std::uint32_t third = 0;
    TestError const first("first.cpp", 1, 1);
    EXPECT_EQ(first.GetOrdinalNumber().Get(), 1u);
    std::thread([&] { second = TestError("second.cpp", 2, 2).GetOrdinalNumber().Get(); }).join();
    EXPECT_EQ(second, 2u);
    {
        zelk::test::LayerThread thread([&] {
            third = TestError("third.cpp", 3, 3).GetOrdinalNumber().Get();
            return 0ul;
        });
    }
    EXPECT_EQ(third, 3u);
    TestError const copy(first);  // copies draw no number
    EXPECT_EQ(copy.GetOrdinalNumber().Get(), 1u);
    EXPECT_EQ(TestError("fourth.cpp", 4, 4).GetOrdinalNumber().Get(), 4u);
}

}  // namespace
