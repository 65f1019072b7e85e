// A registry of the test's own, and the small calls the registry tests share.
// POSIX: ZELK_REGISTRY points at a database in a fresh temporary folder, set
// before the first registry call.  Windows (Wine): the real registry, under
// a key of the test's own below HKEY_CURRENT_USER\Software, deleted at the end.
#pragma once

#include "platform/registry.h"

#if !defined(_WIN32)
#  include <unistd.h>
#  include "platform/posix/registry/connections.h"
#  include "platform/posix/registry/location.h"
#  include "platform/posix/registry/name_order.h"
#else
#  include <process.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace zelk::test {

inline int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// An empty folder below the temporary directory, unique to this process.
inline std::filesystem::path FreshFolder(std::string const& name) {
    auto const folder = std::filesystem::temp_directory_path() / ("zelk-" + name + "-" + std::to_string(ProcessId()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// "Software\ZelkErrTest-<pid>": parallel test programs sharing one Wine prefix never meet.
inline std::string const& TestKeyPath() {
    static std::string const path = "Software\\ZelkErrTest-" + std::to_string(ProcessId());
    return path;
}

inline long SetDword(HKEY key, char const* name, std::uint32_t value) {
    return os::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&value), 4);
}
inline long GetDword(HKEY key, char const* name, std::uint32_t& value) {
    std::uint32_t size = 4;
    return os::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<unsigned char*>(&value), &size);
}
inline long CreateKey(HKEY parent, char const* path) {
    HKEY key = nullptr;
    long const result = os::RegCreateKeyA(parent, path, &key);
    if (key) os::RegCloseKey(key);
    return result;
}

// Closes a registry handle at the end of a scope.
struct KeyHolder {
    HKEY key = nullptr;
    KeyHolder() = default;
    KeyHolder(KeyHolder const&) = delete;
    KeyHolder& operator=(KeyHolder const&) = delete;
    ~KeyHolder() { Reset(); }
    HKEY* Out() { return Reset(), &key; }
    HKEY get() const { return key; }
    operator HKEY() const { return key; }
    void Reset() {
        if (key) os::RegCloseKey(Release());
    }
    HKEY Release() { return std::exchange(key, nullptr); }
};

// A key of its own below the test key for each test, deleted afterwards.
// POSIX: each suite has a database of its own, in a fresh folder.
class RegistryKeyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#if !defined(_WIN32)
        setenv("ZELK_REGISTRY", (FreshFolder("registry") / "registry.db").c_str(), 1);
        unsetenv("ZELK_MACHINE_REGISTRY");  // every hive in that one file
        os::RegistryClose();  // a database opened before now is not ours
#endif
    }
    static void TearDownTestSuite() {
        os::RegDeleteTreeA(HKEY_CURRENT_USER, TestKeyPath().c_str());
#if !defined(_WIN32)
        os::RegistryClose();
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(std::getenv("ZELK_REGISTRY")).parent_path(), ignored);
#endif
    }
    void SetUp() override {
        m_path = TestKeyPath() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        os::RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
        ASSERT_EQ(os::RegCreateKeyA(HKEY_CURRENT_USER, m_path.c_str(), m_base.Out()), os::kErrorSuccess);
    }
    void TearDown() override {
        m_base.Reset();
        os::RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
    }
    std::string m_path;
    KeyHolder m_base;
};

}  // namespace zelk::test
