// Two processes on one registry database at once, and a writer killed in
// the middle of its work: nothing committed is lost, the database stays
// usable.
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace zelk::os;

// A running registry_helper whose standard output the test reads; it
// reports its process id first.
class Helper {
public:
    explicit Helper(std::string const& arguments)
        : m_out(popen(("exec '" ZELK_REGISTRY_HELPER "' " + arguments).c_str(), "r")), m_pid(m_out ? Next() : -1) {}
    ~Helper() { Kill(); }
    Helper(Helper const&) = delete;
    Helper& operator=(Helper const&) = delete;

    bool Started() const { return m_pid > 0; }
    // The next number the helper reported, or -1 at its end.
    long Next() {
        long number = -1;
        return std::fscanf(m_out, "%ld", &number) == 1 ? number : -1;
    }
    // The exit code, or 128 + the signal that ended it.
    int Wait() {
        int const status = m_out ? pclose(m_out) : -1;
        m_out = nullptr;
        return status < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Kill() {
        if (m_out && m_pid > 0) kill(static_cast<pid_t>(m_pid), SIGKILL);
        return Wait();
    }

private:
    FILE* m_out;
    long m_pid;
};

class RegistryProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = zelk::test::FreshFolder("processes");
        setenv("ZELK_REGISTRY", (m_folder / "registry.db").c_str(), 1);
        RegistryClose();
    }
    void TearDown() override {
        RegistryClose();
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    // The number stored under `name` in HKEY_CURRENT_USER\<path>, or 0.
    static std::uint32_t Read(std::string const& path, std::string const& name) {
        zelk::test::KeyHolder key;
        std::uint32_t value = 0;
        if (RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), key.Out()) != kErrorSuccess ||
            zelk::test::GetDword(key, name.c_str(), value) != kErrorSuccess) {
            return 0;
        }
        return value;
    }

    std::string IntegrityCheck() const {
        sqlite3* db = nullptr;
        std::string result = "cannot check";
        if (sqlite3_open((m_folder / "registry.db").c_str(), &db) == SQLITE_OK) {
            auto const first = [](void* out, int, char** row, char**) {
                *static_cast<std::string*>(out) = row[0];
                return 1;  // the first row says it all
            };
            sqlite3_exec(db, "PRAGMA integrity_check", first, &result, nullptr);
        }
        sqlite3_close(db);
        return result;
    }

    fs::path m_folder;
};

// What the helper writes as value number i.
std::uint32_t Written(long i) { return static_cast<std::uint32_t>(i * 7 + 1); }

}  // namespace

TEST_F(RegistryProcessesTest, TwoProcessesWriteAndReadTheSameKeyAtOnce) {
    constexpr int kCount = 150;
    std::string const path = "Software\\Shared";
    // Each helper also reads the other's values and fails on a wrong one.
    Helper first("'" + path + "' a " + std::to_string(kCount) + " b");
    Helper second("'" + path + "' b " + std::to_string(kCount) + " a");
    ASSERT_TRUE(first.Started() && second.Started());
    int seen = 0;
    for (long number = first.Next(); number >= 0; number = first.Next(), ++seen) {
        EXPECT_EQ(Read(path, "a" + std::to_string(number)), Written(number)) << "reported means readable";
    }
    EXPECT_EQ(seen, kCount);
    while (second.Next() >= 0) continue;
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(Read(path, "a" + std::to_string(i)), Written(i)) << i;
        EXPECT_EQ(Read(path, "b" + std::to_string(i)), Written(i)) << i;
    }
    EXPECT_EQ(IntegrityCheck(), "ok");
}

TEST_F(RegistryProcessesTest, AWriterKilledMidWayLosesNothingCommitted) {
    for (int round = 0; round < 3; ++round) {
        std::string const path = "Software\\Killed" + std::to_string(round);
        long last = -1;
        {
            Helper writer("'" + path + "' v 0");  // writes until killed
            ASSERT_TRUE(writer.Started());
            for (long const stopAt = 40 + round * 37; last < stopAt;) {
                long const number = writer.Next();
                ASSERT_EQ(number, last + 1);
                last = number;
            }
            EXPECT_EQ(writer.Kill(), 128 + SIGKILL);
        }
        for (long i = 0; i <= last; ++i) {
            ASSERT_EQ(Read(path, "v" + std::to_string(i)), Written(i)) << i;
        }
        // And the database takes new writes.
        zelk::test::KeyHolder key;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), key.Out()), kErrorSuccess);
        EXPECT_EQ(zelk::test::SetDword(key, "after", 99), kErrorSuccess);
        EXPECT_EQ(Read(path, "after"), 99u);
        EXPECT_EQ(IntegrityCheck(), "ok");
    }
}
