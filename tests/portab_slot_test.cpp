// Contract tests of the slot for the host's portability object.
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The library never looks inside the host's object, so any address will do.
alignas(16) unsigned char g_first[16], g_second[16];
CZelkPortab* const kFirst = reinterpret_cast<CZelkPortab*>(g_first);
CZelkPortab* const kSecond = reinterpret_cast<CZelkPortab*>(g_second);

TEST(PortabSlot, TheFirstObjectStaysUntilWithdrawn) {
    SetZelkPortab(nullptr);
    SetZelkPortab(kFirst);
    SetZelkPortab(kSecond);
    EXPECT_EQ(&GetZelkPortab(), kFirst) << "a second object does not replace the first";
    SetZelkPortab(nullptr);
    SetZelkPortab(kSecond);
    EXPECT_EQ(&GetZelkPortab(), kSecond) << "null empties the slot for another object";
    SetZelkPortab(nullptr);
}

void SayExitHandlersRan() { std::fputs("exit handlers ran\n", stderr); }

// An empty slot (never filled, emptied twice, or withdrawn) ends the process
// through the normal exit, handlers and all, with status 10.
TEST(PortabSlotDeathTest, AskingAnEmptySlotEndsTheProcessWithStatus10) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SetZelkPortab(nullptr);
    SetZelkPortab(nullptr);
    EXPECT_EXIT(
        {
            std::atexit(SayExitHandlersRan);
            GetZelkPortab();
            std::fputs("GetZelkPortab returned\n", stderr);
        },
        ::testing::ExitedWithCode(10), "exit handlers ran");
    SetZelkPortab(kFirst);
    SetZelkPortab(nullptr);
    EXPECT_EXIT(GetZelkPortab(), ::testing::ExitedWithCode(10), "");
}

}  // namespace
