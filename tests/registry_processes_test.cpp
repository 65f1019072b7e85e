// Two processes on one registry database at once, and a writer killed in
// the middle of its work: nothing committed is lost, the database stays
// usable.
#include "platform/posix/registry_store.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace zelk::os;

// A running helper whose standard output the test reads.
class Helper {
public:
    explicit Helper(std::vector<std::string> const& arguments) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<char*> argv;
        std::string program = ZELK_REGISTRY_HELPER;
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fdopen(fds[0], "r");
    }
    ~Helper() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out) {
            std::fclose(m_out);
        }
    }
    Helper(Helper const&) = delete;
    Helper& operator=(Helper const&) = delete;

    bool Started() const { return m_pid > 0 && m_out; }
    // The next number the helper reported, or -1 at its end.
    long Next() {
        long number = -1;
        return std::fscanf(m_out, "%ld", &number) == 1 ? number : -1;
    }
    void Kill() { kill(m_pid, SIGKILL); }
    // The exit code, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        if (m_pid <= 0 || waitpid(m_pid, &status, 0) != m_pid) {
            return -1;
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    FILE* m_out = nullptr;
};

class RegistryProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / ("zelk-processes-" + std::to_string(getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        m_database = m_folder / "registry.db";
        setenv("ZELK_REGISTRY", m_database.c_str(), 1);
        RegistryClose();
    }
    void TearDown() override {
        RegistryClose();
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    // The number stored under `name` in HKEY_CURRENT_USER\<path>, or 0.
    static std::uint32_t Read(std::string const& path, std::string const& name) {
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &key) != kErrorSuccess) {
            return 0;
        }
        std::uint32_t value = 0;
        std::uint32_t size = 4;
        long const result = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                             reinterpret_cast<unsigned char*>(&value), &size);
        RegCloseKey(key);
        return result == kErrorSuccess ? value : 0;
    }

    std::string IntegrityCheck() const {
        sqlite3* db = nullptr;
        std::string result = "cannot open";
        if (sqlite3_open(m_database.c_str(), &db) == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_ROW) {
                result = reinterpret_cast<char const*>(sqlite3_column_text(statement, 0));
            }
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
        return result;
    }

    fs::path m_folder;
    fs::path m_database;
};

}  // namespace

TEST_F(RegistryProcessesTest, TwoProcessesWriteAndReadTheSameKeyAtOnce) {
    constexpr int kCount = 150;
    std::string const path = "Software\\Shared";
    Helper first({path, "a", std::to_string(kCount), "b"});
    Helper second({path, "b", std::to_string(kCount), "a"});
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(second.Started());
    // This process reads along while both write.
    int seen = 0;
    for (long number = first.Next(); number >= 0; number = first.Next()) {
        std::uint32_t const value = Read(path, "a" + std::to_string(number));
        EXPECT_EQ(value, static_cast<std::uint32_t>(number * 7 + 1)) << number;  // reported means readable
        ++seen;
    }
    EXPECT_EQ(seen, kCount);
    while (second.Next() >= 0) {
    }
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(Read(path, "a" + std::to_string(i)), static_cast<std::uint32_t>(i * 7 + 1)) << i;
        EXPECT_EQ(Read(path, "b" + std::to_string(i)), static_cast<std::uint32_t>(i * 7 + 1)) << i;
    }
    EXPECT_EQ(IntegrityCheck(), "ok");
}

TEST_F(RegistryProcessesTest, AWriterKilledMidWayLosesNothingCommitted) {
    for (int round = 0; round < 3; ++round) {
        std::string const path = "Software\\Killed" + std::to_string(round);
        long last = -1;
        {
            Helper writer({path, "v", "0"});
            ASSERT_TRUE(writer.Started());
            long const stopAt = 40 + round * 37;
            while (last < stopAt) {
                long const number = writer.Next();
                ASSERT_EQ(number, last + 1);
                last = number;
            }
            writer.Kill();
            EXPECT_EQ(writer.Wait(), 128 + SIGKILL);
        }
        // Every reported write is there with its value.
        for (long i = 0; i <= last; ++i) {
            ASSERT_EQ(Read(path, "v" + std::to_string(i)), static_cast<std::uint32_t>(i * 7 + 1)) << i;
        }
        // And the database takes new writes.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key), kErrorSuccess);
        std::uint32_t const after = 99;
        EXPECT_EQ(RegSetValueExA(key, "after", 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&after), 4),
                  kErrorSuccess);
        RegCloseKey(key);
        EXPECT_EQ(Read(path, "after"), 99u);
        EXPECT_EQ(IntegrityCheck(), "ok");
    }
}
