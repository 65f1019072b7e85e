// FReg as a host uses it: through the shared library and its exported
// headers only, with <windows.h> included after ours on Windows.
#include <zelk/freg.h>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <process.h>
#  define ZELK_TEST_PID _getpid()
#else
#  include <unistd.h>
#  define ZELK_TEST_PID getpid()
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string const g_keyPath = "Software\\ZelkErrTest-host-" + std::to_string(ZELK_TEST_PID);

// POSIX: a registry database of this run's own, named before the first
// registry call.  Windows: the real registry, cleaned after the run.
class HostRegistry : public ::testing::Environment {
    std::filesystem::path m_folder = std::filesystem::temp_directory_path() / ("zelk-host-" + std::to_string(ZELK_TEST_PID));
    void SetUp() override {
#if !defined(_WIN32)
        std::filesystem::create_directories(m_folder);
        setenv("ZELK_REGISTRY", (m_folder / "registry.db").c_str(), 1);
#endif
    }
    void TearDown() override {
#if defined(_WIN32)
        ::RegDeleteTreeA(HKEY_CURRENT_USER, g_keyPath.c_str());
#else
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
#endif
    }
};

auto* const g_environment = ::testing::AddGlobalTestEnvironment(new HostRegistry);

}  // namespace

TEST(FRegHost, RootsAndTypesHaveWindowsValues) {
    // Sign-extended 32-bit values, as Windows' own (LONG) casts make them.
    std::intptr_t const base = static_cast<std::int32_t>(0x80000000u);
    HKEY const roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reinterpret_cast<std::intptr_t>(roots[i]), base + i) << i;
    EXPECT_TRUE(REG_SZ == 1 && REG_BINARY == 3 && REG_DWORD == 4);
}

TEST(FRegHost, WritesReadsAndWalksThroughTheSharedLibrary) {
    ASSERT_TRUE(FReg(HKEY_CURRENT_USER, BinChar((g_keyPath + "\\App\\Settings").c_str()), true).SetDWORD("Width", 640));
    FReg app(HKEY_CURRENT_USER, BinChar((g_keyPath + "\\App").c_str()), false);
    HKEY const found = app.FindSubKey("set*", 3);
    ASSERT_NE(found, nullptr);
    FReg settings(found, "", false);
    EXPECT_TRUE(settings.SetString("Title", "Zelk"));
    EXPECT_EQ(settings.GetInt("width", 0), 640);
    EXPECT_EQ(std::string(settings.GetString("title", "")), "Zelk");
    // A literal 0 for a text is no text, as in C; an int variable is its decimal text.
    int const count = 7;
    EXPECT_TRUE(settings.SetString("Empty", 0) && settings.SetString("Count", count));
    EXPECT_EQ(std::string(settings.GetString("empty", "x")), "");
    EXPECT_EQ(std::string(settings.GetString("count", 0)), "7");
    EXPECT_EQ(std::string(settings.GetString("missing", 0)), "");
}
