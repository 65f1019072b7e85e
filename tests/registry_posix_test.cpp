// The POSIX registry's own cases: where its database lives, and what each
// fault gives (a corrupt or foreign file, a folder that cannot be written,
// a lock held past the timeout, over-long names, stale handles, fork).
#include "platform/posix/registry_store.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zelk::os;

// Restores an environment variable at the end of a scope.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(char const* name) : m_name(name) {
        if (char const* value = std::getenv(name)) {
            m_value = value;
            m_had = true;
        }
    }
    ~EnvironmentGuard() {
        if (m_had) {
            setenv(m_name, m_value.c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    EnvironmentGuard(EnvironmentGuard const&) = delete;
    EnvironmentGuard& operator=(EnvironmentGuard const&) = delete;

private:
    char const* m_name;
    std::string m_value;
    bool m_had = false;
};

class RegistryPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("zelk-posix-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        RegistryClose();
    }
    void TearDown() override {
        RegistryClose();
        RegistrySetBusyTimeout(5000);
        // Folders a test locked must open again, or they cannot be removed.
        std::error_code ignored;
        fs::permissions(m_folder, fs::perms::owner_all, ignored);
        for (auto it = fs::recursive_directory_iterator(m_folder, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored)) {
            if (it->is_directory(ignored)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
        fs::remove_all(m_folder, ignored);
    }

    // Points the registry at `path` (the next call opens it).
    void Use(fs::path const& path) {
        setenv("ZELK_REGISTRY", path.c_str(), 1);
        RegistryClose();
    }

    static long SetDword(HKEY key, char const* name, std::uint32_t value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&value), 4);
    }
    static long GetDword(HKEY key, char const* name, std::uint32_t& value) {
        std::uint32_t size = 4;
        return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<unsigned char*>(&value), &size);
    }

    EnvironmentGuard m_registry{"ZELK_REGISTRY"};
    EnvironmentGuard m_config{"XDG_CONFIG_HOME"};
    EnvironmentGuard m_home{"HOME"};
    fs::path m_folder;
};

// Runs `body` in a child process whose exit code it returns; as an
// unprivileged user when `unprivileged` (root ignores file permissions).
template <typename Body>
int InChild(bool unprivileged, Body body) {
    pid_t const child = fork();
    if (child == 0) {
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

}  // namespace

TEST_F(RegistryPosixTest, TheDatabaseIsMadeWhereTheEnvironmentSays) {
    unsetenv("ZELK_REGISTRY");
    enum Config { kAbsolute, kUnset, kEmpty, kRelative };
    struct Case {
        Config config;  // what XDG_CONFIG_HOME holds
        char const* home;
        char const* expected;  // below the test folder
    };
    Case const cases[] = {
        {kAbsolute, "home", "cfg/zelk/registry.db"},
        {kUnset, "home", "home/.config/zelk/registry.db"},
        {kEmpty, "home", "home/.config/zelk/registry.db"},
        {kRelative, "home2", "home2/.config/zelk/registry.db"},  // a relative one is ignored
    };
    for (Case const& c : cases) {
        switch (c.config) {
        case kAbsolute:
            setenv("XDG_CONFIG_HOME", (m_folder / "cfg").c_str(), 1);
            break;
        case kUnset:
            unsetenv("XDG_CONFIG_HOME");
            break;
        case kEmpty:
            setenv("XDG_CONFIG_HOME", "", 1);
            break;
        case kRelative:
            setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
            break;
        }
        setenv("HOME", (m_folder / c.home).c_str(), 1);
        RegistryClose();
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Made", &key), kErrorSuccess) << c.expected;
        RegCloseKey(key);
        EXPECT_TRUE(fs::is_regular_file(m_folder / c.expected)) << c.expected;
        fs::perms const folder = fs::status((m_folder / c.expected).parent_path()).permissions();
        EXPECT_EQ(folder & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << c.expected;
    }
    // ZELK_REGISTRY wins over both, and its folders are made too.
    Use(m_folder / "chosen" / "deep" / "reg.db");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Made", &key), kErrorSuccess);
    RegCloseKey(key);
    EXPECT_TRUE(fs::is_regular_file(m_folder / "chosen" / "deep" / "reg.db"));
}

TEST_F(RegistryPosixTest, ValuesPersistAcrossReopening) {
    Use(m_folder / "registry.db");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Kept", &key), kErrorSuccess);
    ASSERT_EQ(SetDword(key, "n", 1234), kErrorSuccess);
    RegCloseKey(key);
    RegistryClose();
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\kept", &key), kErrorSuccess);
    std::uint32_t value = 0;
    EXPECT_EQ(GetDword(key, "N", value), kErrorSuccess);
    EXPECT_EQ(value, 1234u);
    RegCloseKey(key);
    // The hives are separate.
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Kept", &key), kErrorFileNotFound);
    EXPECT_EQ(RegOpenKeyA(HKEY_USERS, "Software\\Kept", &key), kErrorFileNotFound);
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Software\\Kept", &key), kErrorFileNotFound);
}

TEST_F(RegistryPosixTest, AGarbageFileIsABadDatabaseAndStaysUntouched) {
    fs::path const file = m_folder / "garbage.db";
    std::string const garbage(4096, 'G');
    std::ofstream(file, std::ios::binary) << garbage;
    Use(file);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "x", &key), kErrorBadDb);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "x", &key), kErrorBadDb);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), kErrorBadDb);
    std::uint32_t value = 0;
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "v", value), kErrorBadDb);
    char name[16];
    EXPECT_EQ(RegEnumKeyA(HKEY_CURRENT_USER, 0, name, sizeof(name)), kErrorBadDb);
    std::ifstream in(file, std::ios::binary);
    std::string const after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, garbage);
}

TEST_F(RegistryPosixTest, SomeoneElsesDatabaseIsRefusedUnaltered) {
    fs::path const file = m_folder / "foreign.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    Use(file);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "x", &key), kErrorBadDb);
    RegistryClose();
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 1);  // only its own table
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

TEST_F(RegistryPosixTest, ACorruptPageGivesBadDatabaseNeverWrongData) {
    fs::path const file = m_folder / "registry.db";
    Use(file);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Bulk", &key), kErrorSuccess);
    std::string const block(1000, 'b');
    for (int i = 0; i < 60; ++i) {
        std::string const name = "v" + std::to_string(i);
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<unsigned char const*>(block.data()),
                                 static_cast<std::uint32_t>(block.size())),
                  kErrorSuccess);
    }
    RegCloseKey(key);
    RegistryClose();  // folds the log into the file
    ASSERT_FALSE(fs::exists(m_folder / "registry.db-wal"));
    // Smash every page after the first two (the header and the schema).
    auto const size = fs::file_size(file);
    ASSERT_GT(size, 8 * 4096u);
    {
        std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(2 * 4096);
        std::string const junk(size - 2 * 4096, '\xFF');
        out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    long opened = RegOpenKeyA(HKEY_CURRENT_USER, "Bulk", &key);
    if (opened == kErrorSuccess) {
        int bad = 0;
        std::string back(block.size(), '\0');
        for (int i = 0; i < 60; ++i) {
            std::string const name = "v" + std::to_string(i);
            std::uint32_t got = static_cast<std::uint32_t>(back.size());
            long const result = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                                 reinterpret_cast<unsigned char*>(back.data()), &got);
            if (result == kErrorSuccess) {
                EXPECT_EQ(back, block) << name;
            } else {
                EXPECT_EQ(result, kErrorBadDb) << name;
                ++bad;
            }
        }
        EXPECT_GT(bad, 0);
        RegCloseKey(key);
    } else {
        EXPECT_EQ(opened, kErrorBadDb);
    }
}

TEST_F(RegistryPosixTest, AFolderThatCannotBeWrittenIsAccessDenied) {
    fs::path const locked = m_folder / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // The parent must be enterable by the unprivileged child.
    fs::permissions(m_folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    // A database made earlier, in a folder that is locked since.
    fs::path const earlier = m_folder / "earlier";
    Use(earlier / "registry.db");
    ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_SZ, reinterpret_cast<unsigned char const*>("x"), 2),
              kErrorSuccess);
    RegistryClose();
    fs::permissions(earlier, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    for (fs::path const& path : {locked / "registry.db", locked / "sub" / "registry.db", earlier / "registry.db"}) {
        setenv("ZELK_REGISTRY", path.c_str(), 1);
        int const code = InChild(true, [] {
            RegistryClose();
            HKEY key = nullptr;
            long const created = RegCreateKeyA(HKEY_CURRENT_USER, "x", &key);
            long const read = RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, nullptr);
            if (created != kErrorAccessDenied || read != kErrorAccessDenied) {
                std::fprintf(stderr, "create %ld, query %ld\n", created, read);
                return 1;
            }
            return 0;
        });
        EXPECT_EQ(code, 0) << path;
    }
    // A file where a folder should be.
    std::ofstream(m_folder / "plain") << "x";
    Use(m_folder / "plain" / "registry.db");
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "x", &key), kErrorPathNotFound);
}

TEST_F(RegistryPosixTest, ALockHeldPastTheTimeoutIsALockViolation) {
    fs::path const file = m_folder / "registry.db";
    Use(file);
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "before", 1), kErrorSuccess);
    RegistrySetBusyTimeout(100);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "during", 2), kErrorLockViolation);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "during", &key), kErrorLockViolation);
    // Readers are not held up by a writer.
    std::uint32_t value = 0;
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "before", value), kErrorSuccess);
    EXPECT_EQ(value, 1u);
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "after", 3), kErrorSuccess);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "during", value), kErrorFileNotFound);
}

TEST_F(RegistryPosixTest, KeyNamesOverWindowsLimitIsAnInvalidParameter) {
    Use(m_folder / "registry.db");
    std::string const long256(kMaxKeyNameLength + 1, 'k');
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, long256.c_str(), &key), kErrorInvalidParameter);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, long256.c_str(), &key), kErrorInvalidParameter);
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, ("ok\\" + long256).c_str(), &key), kErrorInvalidParameter);
    // Nothing was made on the way.
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "ok", &key), kErrorFileNotFound);
    // Bad arguments are refused, not followed.
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "x", nullptr), kErrorInvalidParameter);
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "x", 0, REG_BINARY, nullptr, 4), kErrorInvalidParameter);
    EXPECT_EQ(RegEnumKeyA(HKEY_CURRENT_USER, 0, nullptr, 10), kErrorInvalidParameter);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), kErrorAccessDenied);  // a hive stays
}

TEST_F(RegistryPosixTest, StaleHandlesAreRefusedEvenWhenTheirSlotIsReused) {
    Use(m_folder / "registry.db");
    HKEY first = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "first", &first), kErrorSuccess);
    ASSERT_EQ(RegCloseKey(first), kErrorSuccess);
    HKEY second = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "second", &second), kErrorSuccess);
    EXPECT_NE(first, second);
    EXPECT_EQ(SetDword(first, "v", 1), kErrorInvalidHandle);
    EXPECT_EQ(SetDword(second, "v", 1), kErrorSuccess);
    // Made-up handles.
    for (std::uintptr_t const made : {std::uintptr_t{4}, std::uintptr_t{5}, std::uintptr_t{0x7FFFFFFC},
                                      reinterpret_cast<std::uintptr_t>(second) + 1}) {
        EXPECT_EQ(SetDword(reinterpret_cast<HKEY>(made), "v", 1), kErrorInvalidHandle) << made;
    }
    // Closing the database invalidates every handle but the roots.
    RegistryClose();
    EXPECT_EQ(SetDword(second, "v", 1), kErrorInvalidHandle);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), kErrorSuccess);
}

TEST_F(RegistryPosixTest, AForkedChildUsesTheRegistryOnItsOwn) {
    Use(m_folder / "registry.db");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "family", &key), kErrorSuccess);
    ASSERT_EQ(SetDword(key, "parent", 1), kErrorSuccess);
    int const code = InChild(false, [key] {
        // The parent's handle is not the child's; the database is shared.
        if (SetDword(key, "x", 1) != kErrorInvalidHandle) {
            return 1;
        }
        HKEY own = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, "family", &own) != kErrorSuccess) {
            return 2;
        }
        std::uint32_t value = 0;
        if (GetDword(own, "parent", value) != kErrorSuccess || value != 1) {
            return 3;
        }
        return SetDword(own, "child", 2) == kErrorSuccess ? 0 : 4;
    });
    EXPECT_EQ(code, 0);
    std::uint32_t value = 0;
    EXPECT_EQ(GetDword(key, "child", value), kErrorSuccess);
    EXPECT_EQ(value, 2u);
    RegCloseKey(key);
}
