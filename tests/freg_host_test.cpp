// The exported headers as a host uses them, with <windows.h> included after
// ours on Windows (freg_host_windows_first_test.cpp has the other order).
#include <zelk/freg.h>

#include "windows_host.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(FRegHost, RootsAndTypesHaveWindowsValues) {
    // Sign-extended 32-bit values, as Windows' own (LONG) casts make them.
    std::intptr_t const base = static_cast<std::int32_t>(0x80000000u);
    HKEY const roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reinterpret_cast<std::intptr_t>(roots[i]), base + i) << i;
    EXPECT_TRUE(REG_SZ == 1 && REG_BINARY == 3 && REG_DWORD == 4);
}
