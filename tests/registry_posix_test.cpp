// The POSIX registry's own cases: where its database lives, and what each
// fault gives (a corrupt or foreign file, a folder that cannot be written,
// a lock held past the timeout, over-long names, stale handles, fork).
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace zelk::os;
using zelk::test::CreateKey;
using zelk::test::GetDword;
using zelk::test::SetDword;

// Runs `body` in a child process whose exit code it returns; as an
// unprivileged user when `unprivileged` (root ignores file permissions).
int InChild(bool unprivileged, std::function<int()> const& body) {
    pid_t const child = fork();
    if (child == 0) {
        _exit(unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0) ? 100 : body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

class RegistryPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = zelk::test::FreshFolder(std::string("posix-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (int i = 0; i < 3; ++i) m_saved[i] = std::getenv(kSaved[i]) ? std::optional<std::string>(std::getenv(kSaved[i])) : std::nullopt;
        Use(m_folder / "registry.db");
    }
    void TearDown() override {
        RegistryClose();
        RegistrySetBusyTimeout(5000);
        for (int i = 0; i < 3; ++i) m_saved[i] ? setenv(kSaved[i], m_saved[i]->c_str(), 1) : unsetenv(kSaved[i]);
        // Folders a test locked must open again, or they cannot be removed.
        std::error_code ignored;
        fs::permissions(m_folder, fs::perms::owner_all, ignored);
        for (auto it = fs::recursive_directory_iterator(m_folder, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_folder, ignored);
    }

    void Use(fs::path const& path) {
        setenv("ZELK_REGISTRY", path.c_str(), 1);
        RegistryClose();
    }

    // The environment the registry reads, restored after each test.
    static constexpr char const* kSaved[3] = {"ZELK_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
    std::optional<std::string> m_saved[3];
    fs::path m_folder;
};

}  // namespace

TEST_F(RegistryPosixTest, TheDatabaseIsMadeWhereTheEnvironmentSaysAndKeepsItsValues) {
    unsetenv("ZELK_REGISTRY");
    std::string const absolute = (m_folder / "cfg").string();
    struct Case { char const* config; char const* home; char const* expected; };  // config null: unset
    Case const cases[] = {
        {absolute.c_str(), "home", "cfg/zelk/registry.db"},
        {nullptr, "home", "home/.config/zelk/registry.db"},
        {"relative/ignored", "home2", "home2/.config/zelk/registry.db"},
    };
    for (Case const& c : cases) {
        c.config ? setenv("XDG_CONFIG_HOME", c.config, 1) : unsetenv("XDG_CONFIG_HOME");
        setenv("HOME", (m_folder / c.home).c_str(), 1);
        RegistryClose();
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Made"), kErrorSuccess) << c.expected;
        EXPECT_TRUE(fs::is_regular_file(m_folder / c.expected)) << c.expected;
        fs::perms const folder = fs::status((m_folder / c.expected).parent_path()).permissions();
        EXPECT_EQ(folder & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << c.expected;
    }
    // ZELK_REGISTRY wins over both, its folders are made too, and values outlive closing the database.
    Use(m_folder / "chosen" / "deep" / "reg.db");
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "n", 1234), kErrorSuccess);
    EXPECT_TRUE(fs::is_regular_file(m_folder / "chosen" / "deep" / "reg.db"));
    RegistryClose();
    std::uint32_t value = 0;
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "N", value), kErrorSuccess);
    EXPECT_EQ(value, 1234u);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "n", value), kErrorFileNotFound);  // hives are separate
}

TEST_F(RegistryPosixTest, AGarbageOrForeignFileIsABadDatabaseAndStaysUntouched) {
    fs::path const garbage = m_folder / "garbage.db";
    std::ofstream(garbage, std::ios::binary) << std::string(4096, 'G');
    fs::path const foreign = m_folder / "foreign.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    for (fs::path const& file : {garbage, foreign}) {
        Use(file);
        std::uint32_t value = 0;
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "x"), kErrorBadDb) << file;
        EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "v", value), kErrorBadDb) << file;
    }
    RegistryClose();
    std::ostringstream contents;
    contents << std::ifstream(garbage, std::ios::binary).rdbuf();
    EXPECT_TRUE(contents.str() == std::string(4096, 'G'));
    std::string tables;  // the foreign database keeps its own schema and nothing of ours
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    auto const collect = [](void* out, int, char** row, char**) {
        *static_cast<std::string*>(out) += std::string(row[0]) + ";";
        return 0;
    };
    sqlite3_exec(db, "SELECT name FROM sqlite_master", collect, &tables, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(tables, "notes;");
}

TEST_F(RegistryPosixTest, ACorruptPageGivesBadDatabaseNeverWrongData) {
    std::string const block(1000, 'b');
    auto const name = [](int i) { return "v" + std::to_string(i); };
    auto const bytes = reinterpret_cast<unsigned char const*>(block.data());
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, name(i).c_str(), 0, REG_BINARY, bytes, 1000), kErrorSuccess);
    RegistryClose();  // folds the log into the file
    ASSERT_FALSE(fs::exists(m_folder / "registry.db-wal"));
    // Smash every page after the first two (the header and the schema).
    fs::path const file = m_folder / "registry.db";
    auto const size = fs::file_size(file);
    ASSERT_GT(size, 8 * 4096u);
    std::fstream(file, std::ios::binary | std::ios::in | std::ios::out).seekp(2 * 4096)
        << std::string(size - 2 * 4096, '\xFF');
    int bad = 0;
    for (int i = 0; i < 60; ++i) {
        std::string back(block.size(), '\0');
        std::uint32_t got = 1000;
        long const result = RegQueryValueExA(HKEY_CURRENT_USER, name(i).c_str(), nullptr, nullptr,
                                             reinterpret_cast<unsigned char*>(back.data()), &got);
        EXPECT_TRUE(result == kErrorSuccess ? back == block : result == kErrorBadDb) << i << ": " << result;
        bad += result != kErrorSuccess;
    }
    EXPECT_GT(bad, 0);
}

TEST_F(RegistryPosixTest, AFolderThatCannotBeWrittenIsAccessDenied) {
    fs::perms const readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::path const locked = m_folder / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, readOnly);
    fs::permissions(m_folder, readOnly | fs::perms::owner_write);  // enterable by the unprivileged child
    // A database made earlier, in a folder that is locked since.
    fs::path const earlier = m_folder / "earlier";
    Use(earlier / "registry.db");
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), kErrorSuccess);
    RegistryClose();
    fs::permissions(earlier, readOnly);
    for (fs::path const& path : {locked / "sub" / "registry.db", earlier / "registry.db"}) {
        setenv("ZELK_REGISTRY", path.c_str(), 1);
        int const code = InChild(true, [] {
            RegistryClose();
            return (CreateKey(HKEY_CURRENT_USER, "x") == kErrorAccessDenied) +
                   2 * (RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, nullptr) ==
                        kErrorAccessDenied);
        });
        EXPECT_EQ(code, 3) << path;  // both refused
    }
    std::ofstream(m_folder / "plain") << "x";  // a file where a folder should be
    Use(m_folder / "plain" / "registry.db");
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "x"), kErrorPathNotFound);
}

TEST_F(RegistryPosixTest, ALockHeldPastTheTimeoutIsALockViolation) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "before", 1), kErrorSuccess);
    RegistrySetBusyTimeout(100);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((m_folder / "registry.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "during", 2), kErrorLockViolation);
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "during"), kErrorLockViolation);
    std::uint32_t value = 0;  // readers are not held up by a writer
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "before", value), kErrorSuccess);
    sqlite3_close(other);  // rolls back and lets go
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "after", 3), kErrorSuccess);
}

TEST_F(RegistryPosixTest, OverLongNamesBadArgumentsAndStaleHandlesAreRefused) {
    std::string const long256(kMaxKeyNameLength + 1, 'k');
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, long256.c_str(), &key), kErrorInvalidParameter);
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, ("ok\\" + long256).c_str()), kErrorInvalidParameter);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "ok", &key), kErrorFileNotFound);  // nothing made on the way
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "x", nullptr), kErrorInvalidParameter);
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "x", 0, REG_BINARY, nullptr, 4), kErrorInvalidParameter);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), kErrorAccessDenied);  // a hive stays

    // A closed handle stays refused even when its slot is reused.
    HKEY first = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "first", &first), kErrorSuccess);
    ASSERT_EQ(RegCloseKey(first), kErrorSuccess);
    HKEY second = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "second", &second), kErrorSuccess);
    EXPECT_EQ(SetDword(first, "v", 1), kErrorInvalidHandle);
    EXPECT_EQ(SetDword(second, "v", 1), kErrorSuccess);
    EXPECT_EQ(SetDword(reinterpret_cast<HKEY>(reinterpret_cast<std::uintptr_t>(second) + 1), "v", 1), kErrorInvalidHandle);
    // Closing the database invalidates every handle but the roots.
    RegistryClose();
    EXPECT_EQ(SetDword(second, "v", 1), kErrorInvalidHandle);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), kErrorSuccess);
}

TEST_F(RegistryPosixTest, AForkedChildUsesTheRegistryOnItsOwn) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "family", &key), kErrorSuccess);
    ASSERT_EQ(SetDword(key, "parent", 1), kErrorSuccess);
    int const code = InChild(false, [key] {
        // The parent's handle is not the child's; the database is shared.
        HKEY own = nullptr;
        std::uint32_t value = 0;
        bool const ok = SetDword(key, "x", 1) == kErrorInvalidHandle &&
                        RegOpenKeyA(HKEY_CURRENT_USER, "family", &own) == kErrorSuccess &&
                        GetDword(own, "parent", value) == kErrorSuccess && value == 1 && SetDword(own, "child", 2) == kErrorSuccess;
        return ok ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    std::uint32_t value = 0;
    EXPECT_EQ(GetDword(key, "child", value) == kErrorSuccess ? value : 0, 2u);
    RegCloseKey(key);
}

TEST_F(RegistryPosixTest, ATransactionDroppedWithoutCommitLeavesNothing) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "before", 1), kErrorSuccess);
    std::uint32_t value = 0;
    {
        RegistryTransaction transaction;
        ASSERT_EQ(transaction.Begin(), kErrorSuccess);
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "lost", 2), kErrorSuccess);
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "LostKey\\below"), kErrorSuccess);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "LostKey"), kErrorAccessDenied);  // a failed step undoes only itself
        ASSERT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, "before"), kErrorSuccess);
        EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "lost", value), kErrorSuccess);  // the thread sees its own writes
        RegistryTransaction second;
        EXPECT_EQ(second.Begin(), kErrorInvalidParameter);  // one at a time per thread
    }
    HKEY key = nullptr;
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "lost", value), kErrorFileNotFound);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "LostKey", &key), kErrorFileNotFound);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "before", value), kErrorSuccess);
}
