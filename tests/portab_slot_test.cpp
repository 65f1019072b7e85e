// Contract tests of the slot for the host's portability object.
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The library never looks inside the host's object, so any address will do.
alignas(16) unsigned char g_first[16];
alignas(16) unsigned char g_second[16];
CZelkPortab* const kFirst = reinterpret_cast<CZelkPortab*>(g_first);
CZelkPortab* const kSecond = reinterpret_cast<CZelkPortab*>(g_second);

class PortabSlot : public ::testing::Test {
protected:
    void SetUp() override { SetZelkPortab(nullptr); }
    void TearDown() override { SetZelkPortab(nullptr); }
};

TEST_F(PortabSlot, TheFirstObjectInstalledStays) {
    SetZelkPortab(kFirst);
    EXPECT_EQ(&GetZelkPortab(), kFirst);
    SetZelkPortab(kSecond);
    EXPECT_EQ(&GetZelkPortab(), kFirst) << "a second object does not replace the first";
    SetZelkPortab(kFirst);
    EXPECT_EQ(&GetZelkPortab(), kFirst);
}

TEST_F(PortabSlot, NullEmptiesTheSlotForAnotherObject) {
    SetZelkPortab(kFirst);
    SetZelkPortab(nullptr);
    SetZelkPortab(kSecond);
    EXPECT_EQ(&GetZelkPortab(), kSecond);
}

void SayExitHandlersRan() { std::fputs("exit handlers ran\n", stderr); }

using PortabSlotDeathTest = PortabSlot;

TEST_F(PortabSlotDeathTest, AskingAnEmptySlotEndsTheProcessWithStatus10) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(SayExitHandlersRan);
            GetZelkPortab();
            std::fputs("GetZelkPortab returned\n", stderr);
        },
        ::testing::ExitedWithCode(10), "exit handlers ran");
}

TEST_F(PortabSlotDeathTest, NullOnAnEmptySlotLeavesItEmpty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SetZelkPortab(nullptr);
    EXPECT_EXIT(GetZelkPortab(), ::testing::ExitedWithCode(10), "");
}

TEST_F(PortabSlotDeathTest, WithdrawnObjectLeavesTheSlotEmpty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SetZelkPortab(kFirst);
    SetZelkPortab(nullptr);
    EXPECT_EXIT(GetZelkPortab(), ::testing::ExitedWithCode(10), "");
}

}  // namespace
