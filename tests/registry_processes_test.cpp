// Two processes on one registry database at once, and a writer killed in
// the middle of its work: nothing committed is lost, the database stays usable.
#include <zelk/freg.h>

#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

unsigned long Written(long i) { return static_cast<unsigned long>(i) * 7 + 1; }

unsigned long Read(std::string const& path, std::string const& name) {
    return FReg(HKEY_CURRENT_USER, BinChar(path.c_str()), false).GetDWORD(name.c_str(), 0);
}

// A forked writer: sets <prefix><i> = Written(i) under `path` (for ever when
// count is 0) and reports each i on its pipe once written.  With `other`, it
// also reads the other writer's value of the same number: exit 3 if wrong.
struct Writer {
    pid_t pid = -1;
    FILE* out = nullptr;
    Writer(std::string const& path, std::string const& prefix, long count, std::string const& other = "") {
        int fds[2];
        if (pipe(fds) != 0) return;
        zelk::os::RegistryClose();  // the child opens its own connection
        if ((pid = fork()) == 0) {
            FILE* report = fdopen(fds[1], "w");
            FReg key(HKEY_CURRENT_USER, BinChar(path.c_str()), true);
            for (long i = 0; count == 0 || i < count; ++i) {
                if (!key.SetDWORD((prefix + std::to_string(i)).c_str(), Written(i))) _exit(2);
                std::fprintf(report, "%ld\n", i);
                std::fflush(report);
                unsigned long const seen = other.empty() ? 0 : key.GetDWORD((other + std::to_string(i)).c_str(), 0);
                if (seen != 0 && seen != Written(i)) _exit(3);
            }
            _exit(0);
        }
        close(fds[1]);
        out = fdopen(fds[0], "r");
    }
    ~Writer() { Kill(); }
    long Next() {
        long number = -1;
        return out && std::fscanf(out, "%ld", &number) == 1 ? number : -1;
    }
    // The exit code, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        if (pid <= 0 || waitpid(std::exchange(pid, -1), &status, 0) < 0) return -1;
        std::fclose(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Kill() {
        if (pid > 0) kill(pid, SIGKILL);
        return Wait();
    }
};

class RegistryProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZELK_REGISTRY", (m_folder / "registry.db").c_str(), 1);
        zelk::os::RegistryClose();
    }
    void TearDown() override {
        zelk::os::RegistryClose();
        std::filesystem::remove_all(m_folder);
    }
    std::string IntegrityCheck() const {
        sqlite3* db = nullptr;
        std::string result = "cannot check";
        auto const first = [](void* out, int, char** row, char**) { return *static_cast<std::string*>(out) = row[0], 1; };
        if (sqlite3_open((m_folder / "registry.db").c_str(), &db) == SQLITE_OK)
            sqlite3_exec(db, "PRAGMA integrity_check", first, &result, nullptr);
        sqlite3_close(db);
        return result;
    }
    std::filesystem::path m_folder = zelk::test::FreshFolder("processes");
};

}  // namespace

TEST_F(RegistryProcessesTest, TwoProcessesWriteAndReadTheSameKeyAtOnce) {
    constexpr int kCount = 150;
    Writer first("Software\\Shared", "a", kCount, "b"), second("Software\\Shared", "b", kCount, "a");
    int seen = 0;
    for (long number = first.Next(); number >= 0; number = first.Next(), ++seen)
        EXPECT_EQ(Read("Software\\Shared", "a" + std::to_string(number)), Written(number)) << "reported means readable";
    EXPECT_EQ(seen, kCount);
    while (second.Next() >= 0) continue;
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(Read("Software\\Shared", "b" + std::to_string(i)), Written(i)) << i;
    EXPECT_EQ(IntegrityCheck(), "ok");
}

TEST_F(RegistryProcessesTest, AWriterKilledMidWayLosesNothingCommitted) {
    for (int round = 0; round < 3; ++round) {
        std::string const path = "Software\\Killed" + std::to_string(round);
        long last = -1;
        {
            Writer writer(path, "v", 0);
            for (long const stopAt = 40 + round * 37; last < stopAt; ++last) ASSERT_EQ(writer.Next(), last + 1);
            EXPECT_EQ(writer.Kill(), 128 + SIGKILL);
        }
        for (long i = 0; i <= last; ++i) ASSERT_EQ(Read(path, "v" + std::to_string(i)), Written(i)) << i;
        EXPECT_TRUE(FReg(HKEY_CURRENT_USER, BinChar(path.c_str()), true).SetDWORD("after", 99));  // still takes writes
        EXPECT_EQ(IntegrityCheck(), "ok");
    }
}
