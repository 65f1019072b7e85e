// The exported headers after <windows.h>: the handle type, the roots and
// the value types must agree with the system's, without clashes.
#include "windows_host.h"

#include <zelk/freg.h>

#include <gtest/gtest.h>

#include <type_traits>

TEST(FRegHost, HeadersAgreeWithTheSystemsOwn) {
    static_assert(std::is_same_v<HKEY, HKEY__*>);
#if defined(_WIN32)
    // Both spellings name the same objects.
    EXPECT_EQ(HKEY_CURRENT_USER, reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))));
    // A handle of the system's goes straight into a wrapper.
    HKEY software = nullptr;
    ASSERT_EQ(::RegOpenKeyA(HKEY_CURRENT_USER, "Software", &software), ERROR_SUCCESS);
    EXPECT_TRUE(FReg(software, "", false).IsValid());
    EXPECT_EQ(::RegCloseKey(software), ERROR_SUCCESS);  // still open: the wrapper only borrowed it
#endif
    EXPECT_FALSE(FReg(nullptr, "anything", false).IsValid());
}
