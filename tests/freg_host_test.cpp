// FReg as a host uses it: through the shared library and its exported
// headers only, with <windows.h> included after ours on Windows.
#include <zelk/freg.h>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <process.h>
#else
#  include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

#if defined(_WIN32)
int Pid() { return _getpid(); }
#else
int Pid() { return static_cast<int>(getpid()); }
#endif

std::string const g_keyPath = "Software\\ZelkErrTest-host-" + std::to_string(Pid());

// POSIX: a registry database of this run's own, named before the first
// registry call.  Windows: the real registry, cleaned after the run.
class HostRegistry : public ::testing::Environment {
public:
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

private:
    std::filesystem::path m_folder =
        std::filesystem::temp_directory_path() / ("zelk-host-" + std::to_string(Pid()));
};

auto* const g_environment = ::testing::AddGlobalTestEnvironment(new HostRegistry);

}  // namespace

TEST(FRegHost, RootsAndTypesHaveWindowsValues) {
    // Sign-extended 32-bit values, as Windows' own (LONG) casts make them.
    std::intptr_t const base = static_cast<std::int32_t>(0x80000000u);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(HKEY_CLASSES_ROOT), base);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(HKEY_CURRENT_USER), base + 1);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(HKEY_LOCAL_MACHINE), base + 2);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(HKEY_USERS), base + 3);
    EXPECT_EQ(REG_SZ, 1);
    EXPECT_EQ(REG_BINARY, 3);
    EXPECT_EQ(REG_DWORD, 4);
}

TEST(FRegHost, WritesReadsAndListsThroughTheSharedLibrary) {
    ASSERT_TRUE(FReg(HKEY_CURRENT_USER, BinChar((g_keyPath + "\\App\\Settings").c_str()), true).SetDWORD("Width", 640));
    FReg app(HKEY_CURRENT_USER, BinChar((g_keyPath + "\\App").c_str()), false);
    BinChar name;
    int index = 0;
    ASSERT_TRUE(app.FindKeys("*", name, index));
    EXPECT_EQ(std::string(name), "Settings");
    EXPECT_FALSE(app.FindKeys("*", name, index));
    HKEY const found = app.FindSubKey("set*", 3);
    ASSERT_NE(found, nullptr);
    FReg settings(found, "", false);
    EXPECT_TRUE(settings.SetString("Title", "Zelk"));
    EXPECT_EQ(settings.GetInt("width", 0), 640);
    EXPECT_EQ(std::string(settings.GetString("title", "")), "Zelk");
    EXPECT_EQ(app.FindSubKey("set*", 3), nullptr);
}
