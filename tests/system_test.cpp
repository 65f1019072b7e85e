// The system queries as a host calls them.
#include <zelk/system.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "windows_host.h"

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
#  include <sys/resource.h>
#  include <unistd.h>
constexpr bool kWindows = false;
#endif

TEST(ProcessPriority, ClassesRoundTripWherePermittedAndOthersAreRefused) {
    ASSERT_EQ(SetProcessPriority(PriorityNormal), 1);
    for (int const bad : {-1, 4}) {
        EXPECT_EQ(SetProcessPriority(static_cast<ePriorityClass>(bad)), 0) << bad;
        EXPECT_EQ(GetProcessPriority(), PriorityNormal) << bad;
    }
    // Raising the priority may need privileges; the call still returns 1.
    for (ePriorityClass const value : {PriorityHigh, PriorityRealtime, PriorityNormal}) {
        EXPECT_EQ(SetProcessPriority(value), 1);
        EXPECT_TRUE(GetProcessPriority() == value || GetProcessPriority() == PriorityNormal)
            << "refused, so still normal";
    }

    // A class set by other means (the platform's own call) that is not in
    // the table reads as normal.
#if defined(_WIN32)
    ::SetPriorityClass(::GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS);
#else
    setpriority(PRIO_PROCESS, 0, 5);
#endif
    EXPECT_EQ(GetProcessPriority(), PriorityNormal);
    // Idle comes last: an unprivileged process cannot come back from it.
    EXPECT_EQ(SetProcessPriority(PriorityIdle), 1);
    EXPECT_EQ(GetProcessPriority(), PriorityIdle);  // lowering is always allowed
}

TEST(SpecialFolder, EveryFolderNumberGivesThePersonalDocumentsFolder) {
    EXPECT_EQ(GetSpecialFolder(5, nullptr), 0);
#if !defined(_WIN32)
    setenv("XDG_DOCUMENTS_DIR", "/tmp/Zelk Docs//", 1);
#endif
    char first[260];
    ASSERT_EQ(GetSpecialFolder(5, first), 1);
    for (int const folder : {0, -1}) {
        char path[260];
        std::memset(path, 'x', sizeof(path));
        ASSERT_EQ(GetSpecialFolder(folder, path), 1) << folder;
        EXPECT_STREQ(path, first) << folder;
    }
#if defined(_WIN32)
    EXPECT_EQ(first[1], ':');
#else
    EXPECT_STREQ(first, "z:\\tmp\\Zelk Docs");
    // A name past MAX_PATH is not cut to a wrong folder.
    setenv("XDG_DOCUMENTS_DIR", ("/" + std::string(300, 'd')).c_str(), 1);
    char path[260] = "unchanged";
    EXPECT_EQ(GetSpecialFolder(5, path) == 1 ? std::string(path) : "failed", "");
    unsetenv("XDG_DOCUMENTS_DIR");
#endif
}

TEST(WindowsVersion, AnswersAgreeWithTheVersionNumbers) {
    unsigned long major = 999, minor = 999;
    GetWindowsVersion(major, minor);
    // Every system the library runs on today is an NT at XP or later; POSIX reports 10.0.
    EXPECT_TRUE(kWindows ? major > 5 && major < 256 && minor < 256 : major == 10 && minor == 0)
        << major << "." << minor;
    EXPECT_EQ((std::vector{IsWindowsNTOrHigher(), IsWindows2kOrHigher(), IsWindowsXPOrHigher(), IsWinME()}),
              (std::vector{1, 1, 1, 0}));
}
