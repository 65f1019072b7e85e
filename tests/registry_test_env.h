// A registry of the test's own.
//
// POSIX: ZELK_REGISTRY points at a database in a fresh temporary folder,
// set before the first registry call, and the folder goes at the end.
// Windows (Wine): the real registry, under a key of the test's own below
// HKEY_CURRENT_USER\Software that is deleted at the end.
//
// Tests that include this header link the static archive (they reach
// platform/registry.h for set-up and clean-up).
#pragma once

#include "platform/registry.h"

#if !defined(_WIN32)
#  include "platform/posix/registry_store.h"
#  include <unistd.h>
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

// "Software\ZelkErrTest-<tag>-<pid>": parallel test programs sharing one
// Wine prefix never meet.
inline std::string const& TestKeyPath(char const* tag = nullptr) {
    static std::string const path = std::string("Software\\ZelkErrTest-") + (tag ? tag : "registry") + "-" +
                                    std::to_string(ProcessId());
    return path;
}

class TestRegistryEnvironment : public ::testing::Environment {
public:
    explicit TestRegistryEnvironment(char const* tag) : m_tag(tag) {}

    void SetUp() override {
        (void)TestKeyPath(m_tag);
#if !defined(_WIN32)
        m_folder = std::filesystem::temp_directory_path() /
                   (std::string("zelk-") + m_tag + "-" + std::to_string(ProcessId()));
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        std::string const database = (m_folder / "registry.db").string();
        setenv("ZELK_REGISTRY", database.c_str(), 1);
        zelk::os::RegistryClose();  // a database opened before now is not ours
#endif
    }

    void TearDown() override {
        zelk::os::RegDeleteTreeA(HKEY_CURRENT_USER, TestKeyPath().c_str());
#if !defined(_WIN32)
        zelk::os::RegistryClose();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
#endif
    }

private:
    char const* m_tag;
    std::filesystem::path m_folder;
};

// Closes a registry handle at the end of a scope.
class KeyHolder {
public:
    KeyHolder() = default;
    explicit KeyHolder(HKEY key) : m_key(key) {}
    ~KeyHolder() { Reset(); }
    KeyHolder(KeyHolder const&) = delete;
    KeyHolder& operator=(KeyHolder const&) = delete;
    HKEY* Out() {
        Reset();
        return &m_key;
    }
    HKEY get() const { return m_key; }
    operator HKEY() const { return m_key; }
    void Reset() {
        if (m_key) {
            zelk::os::RegCloseKey(Release());
        }
    }
    HKEY Release() { return std::exchange(m_key, nullptr); }

private:
    HKEY m_key = nullptr;
};

}  // namespace zelk::test
