// The POSIX registry as hosts and administrators meet it: where each hive
// lives, files that are not ours or not writable, other users, other
// processes (holding locks, writing at once, killed, forking as daemons do),
// network file systems, stale handles and transactions.
#include "registry_test_env.h"

#include "platform/codepage.h"

#include <zelk/freg.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zelk::os;
using zelk::test::CreateKey;
using zelk::test::GetDword;
using zelk::test::SetDword;

// A forked child running `body(child)`, whose result is the exit code; it
// may report numbers, which the test reads in order.
class Child {
public:
    template <class Body>
    explicit Child(Body const& body) {
        int ends[2];
        std::fflush(nullptr);  // nothing buffered is written twice
        if (pipe(ends) != 0) return;
        if ((m_pid = fork()) == 0) {
            close(ends[0]);
            m_report = ends[1];
            _exit(body(*this));
        }
        close(ends[1]);
        m_in = fdopen(ends[0], "r");
    }
    ~Child() { Kill(); }

    void Report(long number) const { dprintf(m_report, "%ld\n", number); }
    // The next number the child reported, or -1 at its end.
    long Next() {
        long number = -1;
        return m_in && std::fscanf(m_in, "%ld", &number) == 1 ? number : -1;
    }
    // The exit code, or 128 + the signal that ended it.
    int Wait() {
        int status = -1;
        if (m_pid > 0) waitpid(std::exchange(m_pid, -1), &status, 0);
        if (m_in) std::fclose(std::exchange(m_in, nullptr));
        return status < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Kill() {
        if (m_pid > 0) kill(m_pid, SIGKILL);
        return Wait();
    }

private:
    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    int m_report = -1;
};

std::string Bytes(fs::path const& file) {
    std::ostringstream contents;
    contents << std::ifstream(file, std::ios::binary).rdbuf();
    return contents.str();
}

std::set<std::string> Listing(fs::path const& folder) {
    std::set<std::string> names;
    for (auto const& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// The number stored under `name` in <root>\<path>, or 0.
std::uint32_t Read(HKEY root, std::string const& path, char const* name) {
    return static_cast<std::uint32_t>(FReg(root, path.c_str(), false).GetDWORD(name, 0));
}

// Polls (for at most ten seconds) until `done` holds.
bool Await(std::function<bool()> const& done) {
    for (int i = 0; i < 1000 && !done(); ++i) usleep(10000);
    return done();
}

// SQLite's own check of a registry file (with the registry's name order).
std::string IntegrityCheck(fs::path const& file) {
    sqlite3* db = nullptr;
    sqlite3_stmt* check = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_create_collation(db, "zelk_names", SQLITE_UTF8, nullptr,
                             [](void*, int n, void const* a, int m, void const* b) {
                                 return registry::CompareNames({static_cast<char const*>(a), std::size_t(n)},
                                                               {static_cast<char const*>(b), std::size_t(m)});
                             });
    bool const checked = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
                         sqlite3_step(check) == SQLITE_ROW;
    std::string const result = checked ? reinterpret_cast<char const*>(sqlite3_column_text(check, 0)) : "cannot check";
    sqlite3_finalize(check);
    sqlite3_close(db);
    return result;
}

// A database made with SQLite itself, as another program or an earlier version makes it.
void MakeDatabase(fs::path const& file, char const* sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class RegistryPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = zelk::test::FreshFolder(std::string("posix-") +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::permissions(m_folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
        for (int i = 0; i < kVariables; ++i)
            m_saved[i] = std::getenv(kSaved[i]) ? std::optional<std::string>(std::getenv(kSaved[i])) : std::nullopt;
        setenv("ZELK_REGISTRY", (m_folder / "registry.db").c_str(), 1);
        unsetenv("ZELK_MACHINE_REGISTRY");  // one file for every hive
        RegistryClose();
    }
    void TearDown() override {
        RegistryClose();
        RegistrySetBusyTimeout(5000);
        registry::SetFileSystemProbe(nullptr);
        for (int i = 0; i < kVariables; ++i)
            m_saved[i] ? setenv(kSaved[i], m_saved[i]->c_str(), 1) : unsetenv(kSaved[i]);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    // The environment the registry reads, restored after each test.
    static constexpr int kVariables = 4;
    static constexpr char const* kSaved[kVariables] = {"ZELK_REGISTRY", "ZELK_MACHINE_REGISTRY", "XDG_CONFIG_HOME",
                                                       "HOME"};
    std::optional<std::string> m_saved[kVariables];
    fs::path m_folder;
};

}  // namespace

TEST_F(RegistryPosixTest, EachHiveLivesInItsFile) {
    std::string const config = (m_folder / "cfg").string(), single = (m_folder / "one.db").string(),
                      machine = (m_folder / "machine" / "machine.db").string();
    // clang-format off
    struct Case { char const* single; char const* machine; char const* config; char const* userFile; char const* machineFile; };
    Case const cases[] = {  // null: unset; HOME is m_folder/home
        {nullptr, machine.c_str(), config.c_str(), "cfg/zelk/registry.db", "machine/machine.db"},
        {nullptr, machine.c_str(), nullptr, "home/.config/zelk/registry.db", "machine/machine.db"},
        {nullptr, machine.c_str(), "relative/ignored", "home/.config/zelk/registry.db", "machine/machine.db"},
        {single.c_str(), nullptr, config.c_str(), "one.db", "one.db"},  // every hive in the one file
        {single.c_str(), machine.c_str(), nullptr, "one.db", "machine/machine.db"},
    };
    // clang-format on
    setenv("HOME", (m_folder / "home").c_str(), 1);
    for (Case const& c : cases) {
        for (auto const& [name, value] :
             {std::pair{"ZELK_REGISTRY", c.single}, std::pair{"ZELK_MACHINE_REGISTRY", c.machine},
              std::pair{"XDG_CONFIG_HOME", c.config}})
            value ? setenv(name, value, 1) : unsetenv(name);
        RegistryClose();
        fs::remove_all(m_folder / "machine");
        SCOPED_TRACE(std::string(c.userFile) + " + " + c.machineFile);
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "user", 1), kErrorSuccess);
        EXPECT_TRUE(fs::is_regular_file(m_folder / c.userFile));
        if (!c.single) {  // the folders made for the user are the user's alone
            EXPECT_EQ(fs::status((m_folder / c.userFile).parent_path()).permissions() &
                          (fs::perms::group_all | fs::perms::others_all),
                      fs::perms::none);
        }
        // HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes (none yet: an empty
        // listing); HKEY_USERS is beside it.
        char name[16];
        std::uint32_t nameSize = sizeof name;
        EXPECT_EQ(RegEnumKeyA(HKEY_CLASSES_ROOT, 0, name, sizeof name), kErrorNoMoreItems);
        EXPECT_EQ(RegEnumValueA(HKEY_CLASSES_ROOT, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
                  kErrorNoMoreItems);
        ASSERT_EQ(SetDword(HKEY_CLASSES_ROOT, "class", 2), kErrorSuccess);
        ASSERT_EQ(SetDword(HKEY_USERS, "users", 3), kErrorSuccess);
        EXPECT_TRUE(fs::is_regular_file(m_folder / c.machineFile));
        RegistryClose();  // values outlive the connections
        EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Classes", "class"), 2u);
        EXPECT_EQ(Read(HKEY_USERS, "", "users"), 3u);
        EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "", "user"), 0u);  // hives are separate
    }
    // The machine file is for every user to read, whatever the umask.
    EXPECT_EQ(fs::status(machine).permissions() & fs::perms::others_read, fs::perms::others_read);
}

TEST_F(RegistryPosixTest, AFileThatIsNotARegistryIsRefusedAndLeftAsItWas) {
    std::ofstream(m_folder / "garbage.db", std::ios::binary) << std::string(4096, 'G');
    std::ofstream(m_folder / "short.db", std::ios::binary) << "SQLite format 3";
    MakeDatabase(m_folder / "notes.db", "CREATE TABLE notes(x); INSERT INTO notes VALUES(1)");
    MakeDatabase(m_folder / "wal.db", "PRAGMA journal_mode = WAL; CREATE TABLE keys(id); INSERT INTO keys VALUES(1)");
    MakeDatabase(m_folder / "empty.db", "PRAGMA user_version = 3");  // no tables, but not empty
    std::set<std::string> const before = Listing(m_folder);
    for (char const* name : {"garbage.db", "short.db", "notes.db", "wal.db", "empty.db"}) {
        std::string const bytes = Bytes(m_folder / name);
        setenv("ZELK_REGISTRY", (m_folder / name).c_str(), 1);
        RegistryClose();
        std::uint32_t value = 0;
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "x"), kErrorBadDb) << name;
        EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "v", value), kErrorBadDb) << name;
        RegistryClose();
        EXPECT_TRUE(Bytes(m_folder / name) == bytes) << name;
    }
    EXPECT_EQ(Listing(m_folder), before);  // no side files made
}

// Everything below `key` as text, and whether any call failed on the way.
void Dump(HKEY key, std::string& out, bool& failed) {
    std::string name, data;
    std::uint32_t type = 0;
    long r = kErrorSuccess;
    for (std::uint32_t i = 0; (r = RegEnumValueU(key, i, name, &type, &data)) == kErrorSuccess; ++i)
        out += name + "=" + std::to_string(type) + ":" + data + ";";
    failed |= r != kErrorNoMoreItems;
    for (std::uint32_t i = 0; (r = RegEnumKeyU(key, i, name)) == kErrorSuccess; ++i) {
        HKEY sub = nullptr;
        out += "[" + name + "]";
        if (long const opened = RegOpenKeyU(key, name, RegView::kDefault, &sub); opened != kErrorSuccess) {
            failed = true;
            continue;
        }
        Dump(sub, out, failed);
        RegCloseKey(sub);
    }
    failed |= r != kErrorNoMoreItems;
}

TEST_F(RegistryPosixTest, DamageAnywhereGivesBadDatabaseNeverWrongDataAndTheFileIsNotWrittenAgain) {
    for (int i = 0; i < 150; ++i) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyU(HKEY_CURRENT_USER, "Software\\k" + std::to_string(i), RegView::kDefault, &key),
                  kErrorSuccess);
        ASSERT_EQ(RegSetValueU(key, "v", REG_BINARY, std::string(40 + i, static_cast<char>(i))), kErrorSuccess);
        RegCloseKey(key);
    }
    RegistryClose();  // folds the log into the file
    fs::path const file = m_folder / "registry.db", damaged = m_folder / "registry.db-damaged";
    std::string const good = Bytes(file);
    std::string expected;
    bool failed = false;
    Dump(HKEY_CURRENT_USER, expected, failed);
    ASSERT_FALSE(failed);
    RegistryClose();
    // One changed byte at several places of every page, then every 512-byte sector rewritten.
    std::vector<std::pair<std::size_t, std::string>> damage;
    for (std::size_t page = 0; page < good.size(); page += 4096)
        for (std::size_t at : {0, 5, 20, 21, 60, 100, 1000, 2048, 4000, 4095})
            damage.push_back({page + at, std::string(1, good[page + at] ^ '\x5A')});
    for (std::size_t sector = 0; sector < good.size(); sector += 512)
        damage.push_back({sector, std::string(512, '\xA5')});
    RegistrySetBusyTimeout(100);
    int wrong = 0, detected = 0, written = 0;
    for (auto const& [at, bytes] : damage) {
        std::string bad = good;
        bad.replace(at, bytes.size(), bytes);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bad;
        fs::remove(damaged);
        std::string seen;
        failed = false;
        Dump(HKEY_CURRENT_USER, seen, failed);
        wrong += !failed && seen != expected;
        if (failed) {
            ++detected;
            RegSetValueU(HKEY_CURRENT_USER, "later", REG_DWORD, std::string(4, '\1'));  // refused, wherever it goes
            RegistryClose();
            written += Bytes(file) != bad;
        }
        RegistryClose();
    }
    std::printf("damage sweep: %zu cases, %d detected, %d wrong data, %d written after\n", damage.size(), detected,
                wrong, written);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(written, 0);
    EXPECT_GT(detected, static_cast<int>(damage.size()) / 2);

    // Pages read back from the log are checked too: while this thread keeps
    // the log in use, a byte of every frame's page changes under another.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << good;
    fs::remove(damaged);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(RegSetValueU(HKEY_CURRENT_USER, "logged" + std::to_string(i), REG_SZ, "\0"), kErrorSuccess);
    std::string log = Bytes(file.string() + "-wal");
    ASSERT_GT(log.size(), 32u + 4096);
    for (std::size_t page = 32 + 24; page + 4096 <= log.size(); page += 4096 + 24) log[page + 3000] ^= 1;
    std::fstream(file.string() + "-wal", std::ios::binary | std::ios::in | std::ios::out) << log;
    std::thread([&] {
        std::string seen;
        failed = false;
        Dump(HKEY_CURRENT_USER, seen, failed);
        EXPECT_TRUE(failed);
    }).join();
}

// An installer (this process, as root) writes; a user without write access
// reads what it wrote and is refused writes, as with a key one may read but
// not write on Windows.
TEST_F(RegistryPosixTest, AnotherUserReadsWhatTheOwnerWroteAndIsRefusedWrites) {
    fs::path const own = m_folder / "own", machine = m_folder / "machine", missing = m_folder / "nothing";
    for (fs::path const& folder : {own, machine, missing}) fs::create_directories(folder);
    fs::permissions(own, fs::perms::all);  // the other user's own config folder
    setenv("XDG_CONFIG_HOME", own.c_str(), 1);
    // clang-format off
    struct Case { char const* what; fs::path single; fs::path machine; bool written; };
    Case const cases[] = {
        {"a user file made read-only", m_folder / "readonly.db", {}, true},
        {"the machine file", {}, machine / "machine.db", true},
        {"a machine file not made yet", {}, missing / "machine.db", false},
    };
    // clang-format on
    for (Case const& c : cases) {
        c.single.empty() ? unsetenv("ZELK_REGISTRY") : setenv("ZELK_REGISTRY", c.single.c_str(), 1);
        c.machine.empty() ? unsetenv("ZELK_MACHINE_REGISTRY") : setenv("ZELK_MACHINE_REGISTRY", c.machine.c_str(), 1);
        RegistryClose();
        if (c.written) {
            ASSERT_TRUE(FReg(HKEY_LOCAL_MACHINE, "Software\\Suite", true).SetDWORD("Installed", 5)) << c.what;
            ASSERT_TRUE(FReg(HKEY_CLASSES_ROOT, ".zelk", true).SetString("", "Zelk.Document")) << c.what;
            RegistryClose();
        }
        // Others may read the user file and its log, not write them.
        for (auto const& entry : fs::directory_iterator(m_folder))
            if (entry.is_regular_file())
                fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                                  fs::perms::others_read);
        // Each check that fails sets its bit of the child's exit status.
        int const code =
            Child([&](Child const&) {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    return 100;  // root ignores permissions
                bool const held[] = {
                    FReg(HKEY_LOCAL_MACHINE, "Software\\Suite", false).GetDWORD("Installed", 0) ==
                        (c.written ? 5u : 0u),
                    std::string(FReg(HKEY_CLASSES_ROOT, ".zelk", false).GetString("", "")) ==
                        (c.written ? "Zelk.Document" : ""),
                    RegQueryValueExA(HKEY_CLASSES_ROOT, "none", nullptr, nullptr, nullptr, nullptr) ==
                        kErrorFileNotFound,
                    SetDword(HKEY_LOCAL_MACHINE, "v", 1) == kErrorAccessDenied,
                    CreateKey(HKEY_LOCAL_MACHINE, "Software\\Other") == kErrorAccessDenied,
                    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software") ==
                        (c.written ? kErrorAccessDenied : kErrorFileNotFound),
                    // The user's own hive is the user's own (unless one file holds every hive).
                    SetDword(HKEY_CURRENT_USER, "mine", 1) == (c.single.empty() ? kErrorSuccess : kErrorAccessDenied),
                };
                int failed = 0;
                for (std::size_t i = 0; i < std::size(held); ++i) failed |= !held[i] << i;
                return failed;
            }).Wait();
        EXPECT_EQ(code, 0) << c.what;
    }
    EXPECT_FALSE(fs::exists(missing / "machine.db"));
    // A file in the way of a folder.
    std::ofstream(m_folder / "plain") << "x";
    setenv("ZELK_REGISTRY", (m_folder / "plain" / "registry.db").c_str(), 1);
    RegistryClose();
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "x"), kErrorPathNotFound);
}

// Another process holds the write lock: a write waits for it (and gives up
// after the busy timeout); a read on another thread goes on meanwhile.
TEST_F(RegistryPosixTest, AReadNeverWaitsBehindAWriteWaitingForALock) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "before", 1), kErrorSuccess);
    RegistrySetBusyTimeout(100);
    Child holder([&](Child const& me) {  // another process takes the write lock with SQLite itself
        sqlite3* db = nullptr;
        if (sqlite3_open_v2((m_folder / "registry.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return 2;
        me.Report(0);
        for (;;) pause();
    });
    ASSERT_EQ(holder.Next(), 0);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "during", 2), kErrorLockViolation);
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "during"), kErrorLockViolation);
    RegistrySetBusyTimeout(60000);
    std::atomic<long> written{-1};
    std::thread writer([&] { written = SetDword(HKEY_CURRENT_USER, "waited", 3); });
    usleep(100000);  // the writer is waiting for the lock by now (if not, the test proves less, never fails)
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "", "before"), 1u);
    EXPECT_EQ(written.load(), -1) << "the read waited for the write";
    holder.Kill();
    writer.join();
    EXPECT_EQ(written.load(), kErrorSuccess);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "", "waited"), 3u);
}

// Programs started together on a machine where the registry file is not
// made yet: the first call of each of their two threads gets it, made once.
TEST_F(RegistryPosixTest, ProcessesStartingTogetherOnANewFileAllGetIt) {
    constexpr int kRounds = 40, kProcesses = 4;
    for (int round = 0; round < kRounds; ++round) {
        setenv("ZELK_REGISTRY", (m_folder / ("new" + std::to_string(round) + ".db")).c_str(), 1);
        RegistryClose();
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        std::vector<std::unique_ptr<Child>> children;
        for (int p = 0; p < kProcesses; ++p) {
            children.push_back(std::make_unique<Child>([&](Child const& me) {
                close(go[1]);
                char byte;
                (void)!read(go[0], &byte, 1);  // all start when the pipe closes
                long second = -1;
                std::thread other([&] { second = SetDword(HKEY_CURRENT_USER, ("q" + std::to_string(p)).c_str(), 1); });
                me.Report(SetDword(HKEY_CURRENT_USER, ("p" + std::to_string(p)).c_str(), 1));
                other.join();
                me.Report(second);
                return 0;
            }));
        }
        close(go[0]);
        close(go[1]);
        for (int p = 0; p < kProcesses; ++p) {
            for (char const* name : {"p", "q"}) {
                EXPECT_EQ(children[p]->Next(), kErrorSuccess) << "round " << round << ", process " << p << name;
                EXPECT_EQ(Read(HKEY_CURRENT_USER, "", (name + std::to_string(p)).c_str()), 1u)
                    << "round " << round << name;
            }
        }
    }
}

// Killed with its writes still in the log: the next process to open the
// file rebuilds the log's index from the log itself (its running checksums
// must hold up) and finds every write.
TEST_F(RegistryPosixTest, WritesLeftInTheLogByAKilledProcessAreAllFound) {
    Child writer([](Child const&) {
        FReg key(HKEY_CURRENT_USER, "Software\\Log", true);
        for (long i = 0; i < 60; ++i) key.SetDWORD(("a" + std::to_string(i)).c_str(), i * 7 + 1);
        return kill(getpid(), SIGKILL);
    });
    EXPECT_EQ(writer.Wait(), 128 + SIGKILL);
    EXPECT_GT(fs::file_size(m_folder / "registry.db-wal"), 0u);
    for (long i = 0; i < 60; ++i)
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Log", ("a" + std::to_string(i)).c_str()), i * 7u + 1) << i;
}

// A program reads its settings and forks; one of parent and child exits
// normally (running the exit handlers), the other goes on writing, and
// another process writes too.
TEST_F(RegistryPosixTest, ADaemonsWritesSurviveWhicheverSideExitsFirst) {
    for (bool const parentFirst : {true, false}) {
        std::string const path = parentFirst ? "Software\\DaemonP" : "Software\\DaemonC";
        Child program([&](Child const& me) -> int {
            FReg key(HKEY_CURRENT_USER, path.c_str(), true);
            pid_t const parent = getpid();
            pid_t const child = key.SetDWORD("parent", 1) ? fork() : -1;
            int status = 0;
            if (child > 0) {
                me.Report(child);
                if (!parentFirst) waitpid(child, &status, 0);
                std::exit(parentFirst || (status == 0 && key.SetDWORD("last", 1)) ? 0 : 4);
            }
            // The child: the registry it inherited works on its own.
            bool const ok = child == 0 && (!parentFirst || Await([&] { return getppid() != parent; })) &&
                            Await([&] { return key.GetDWORD("go", 0) == 1; }) && key.SetDWORD("child", 7) &&
                            key.GetDWORD("child", 0) == 7 && (!parentFirst || key.SetDWORD("last", 1));
            std::exit(ok ? 0 : 6);
        });
        ASSERT_GT(program.Next(), 0) << parentFirst;  // the child's id
        if (parentFirst) {
            EXPECT_EQ(program.Wait(), 0);
        }
        ASSERT_TRUE(FReg(HKEY_CURRENT_USER, path.c_str(), false).SetDWORD("go", 1)) << parentFirst;
        EXPECT_TRUE(Await([&] { return Read(HKEY_CURRENT_USER, path, "last") == 1; })) << parentFirst;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, path, "child"), 7u) << parentFirst;
        if (!parentFirst) {
            EXPECT_EQ(program.Wait(), 0);
        }
    }
    EXPECT_EQ(IntegrityCheck(m_folder / "registry.db"), "ok");
}

// A service among the suite's other programs, on the user file and the
// machine file (rollback journal) at once: rounds of new threads write new
// values while other programs come and go: readers that exit normally,
// children that write and exit, and now and then a writer killed mid-way.
// Every acknowledged write is there at the end, in files SQLite finds sound.
TEST_F(RegistryPosixTest, EveryAcknowledgedWriteSurvivesThreadChurnReadersForksAndKills) {
    setenv("ZELK_MACHINE_REGISTRY", (m_folder / "machine.db").c_str(), 1);
    RegistryClose();
    auto const root = [](long v) { return v % 2 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; };
    auto const write = [&](long v) {
        return SetDword(root(v), ("v" + std::to_string(v)).c_str(), std::uint32_t(v)) == kErrorSuccess;
    };
    auto const until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    // The other programs are forked by a writer of their own, forked before
    // any thread starts (sanitizers do not follow a fork of a threaded
    // process); it reports every acknowledged write.
    Child others([&](Child const& out) -> int {
        for (long n = 0; std::chrono::steady_clock::now() < until; ++n) {
            if (write(2000000 + n)) out.Report(2000000 + n);  // its children fork off a registry in use
            bool const killed = n % 8 == 3, reader = n % 2 == 0;
            Child child([&](Child const& me) -> int {
                for (long v = 1000000 + n * 1000; !reader && (killed || v % 1000 < 5); ++v)
                    if (write(v)) me.Report(v);
                std::exit(reader ? Read(HKEY_CURRENT_USER, "", "v2") > 2 : 0);
            });
            for (long v, seen = 0; (!killed || seen < 3) && (v = child.Next()) >= 0; ++seen) out.Report(v);
            if ((killed ? child.Kill() : child.Wait()) != (killed ? 128 + SIGKILL : 0)) return 1;
        }
        return 0;
    });
    std::vector<long> acknowledged;
    std::mutex lock;
    std::atomic<long> next{2}, refused{0};
    while (std::chrono::steady_clock::now() < until) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 10; ++i) {
                    long const v = next++;
                    bool const written = write(v);
                    std::lock_guard<std::mutex> guard(lock);
                    written ? acknowledged.push_back(v) : void(++refused);
                }
            });
        for (auto& thread : threads) thread.join();
    }
    for (long v; (v = others.Next()) >= 0;) acknowledged.push_back(v);
    EXPECT_EQ(others.Wait(), 0);
    long lost = 0;
    for (long v : acknowledged) lost += Read(root(v), "", ("v" + std::to_string(v)).c_str()) != std::uint32_t(v);
    EXPECT_EQ(lost, 0) << "of " << acknowledged.size();
    EXPECT_EQ(refused.load(), 0) << "of " << next - 2;
    EXPECT_EQ(IntegrityCheck(m_folder / "registry.db"), "ok");
    EXPECT_EQ(IntegrityCheck(m_folder / "machine.db"), "ok");
}

TEST_F(RegistryPosixTest, OnANetworkFileSystemTheRollbackJournalReplacesTheLog) {
    static std::atomic<unsigned long> type{0};
    registry::SetFileSystemProbe([](char const*) { return type.load(); });
    auto const journalMode = [&] {
        return static_cast<int>(Bytes(m_folder / "registry.db").at(18));
    };  // 1 rollback, 2 WAL
    // clang-format off
    struct Case { unsigned long type; int mode; };
    Case const cases[] = {{0xEF53, 2}, {0x6969, 1}, {0xFF534D42, 1}, {0x01021997, 1}, {0, 2}};  // ext4, NFS, CIFS, 9P, unknown
    // clang-format on
    for (Case const& c : cases) {
        type = c.type;
        RegistryClose();
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "v", static_cast<std::uint32_t>(c.type)), kErrorSuccess)
            << std::hex << c.type;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "", "v"), c.type) << std::hex << c.type;
        RegistryClose();
        EXPECT_EQ(journalMode(), c.mode) << std::hex << c.type;  // a file in WAL mode is switched on the way
        if (c.mode == 1) {
            EXPECT_FALSE(fs::exists(m_folder / "registry.db-shm")) << std::hex << c.type;
        }
    }
}

TEST_F(RegistryPosixTest, ClosedHandlesStayRefused) {
    HKEY stale = nullptr, second = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "first", &stale), kErrorSuccess);
    ASSERT_EQ(RegCloseKey(stale), kErrorSuccess);
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "first", &second), kErrorSuccess);
    EXPECT_EQ(SetDword(stale, "v", 1), kErrorInvalidHandle);  // the new handle did not take the closed one's place
    EXPECT_EQ(SetDword(reinterpret_cast<HKEY>(reinterpret_cast<std::uintptr_t>(second) + 1), "v", 1),
              kErrorInvalidHandle);
    // Closing the database invalidates every handle but the roots.
    RegistryClose();
    EXPECT_EQ(SetDword(second, "v", 1), kErrorInvalidHandle);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), kErrorSuccess);
    // Names too long for Windows, and what is not made on the way.
    std::string const long256(kMaxKeyNameLength + 1, 'k');
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, long256.c_str(), &second), kErrorInvalidParameter);
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, ("ok\\" + long256).c_str()), kErrorInvalidParameter);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "ok", &second), kErrorFileNotFound);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), kErrorAccessDenied);  // a hive stays
}

TEST_F(RegistryPosixTest, ATransactionIsSeenWholeOrNotAtAll) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "before", 1), kErrorSuccess);
    auto const elsewhere = [](char const* name) {  // what another thread reads
        std::uint32_t value = 0;
        long result = 0;
        std::thread([&] { result = GetDword(HKEY_CURRENT_USER, name, value); }).join();
        return result == kErrorSuccess ? value : 0;
    };
    {
        RegistryTransaction transaction;
        ASSERT_EQ(transaction.Begin(), kErrorSuccess);
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "lost", 2), kErrorSuccess);
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "LostKey\\below"), kErrorSuccess);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "LostKey"), kErrorAccessDenied);  // a failed step undoes only itself
        ASSERT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, "before"), kErrorSuccess);
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "", "lost"), 2u);  // the thread sees its own writes
        EXPECT_EQ(elsewhere("lost"), 0u);
        EXPECT_EQ(elsewhere("before"), 1u);
        RegistryTransaction second;
        EXPECT_EQ(second.Begin(), kErrorInvalidParameter);  // one at a time per thread
    }
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "", "lost"), 0u);
    EXPECT_FALSE(FReg(HKEY_CURRENT_USER, "LostKey", false).IsValid());
    EXPECT_EQ(elsewhere("before"), 1u);
    {
        // A fork ends it: neither side may commit half of it.
        RegistryTransaction transaction;
        ASSERT_EQ(transaction.Begin(), kErrorSuccess);
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "half", 1), kErrorSuccess);
        EXPECT_EQ(Child([](Child const&) {
                      return SetDword(HKEY_CURRENT_USER, "half2", 1) == kErrorOperationAborted ? 0 : 1;
                  }).Wait(),
                  0);
        EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "half2", 1), kErrorOperationAborted);
        EXPECT_EQ(transaction.Commit(), kErrorOperationAborted);
    }
    EXPECT_EQ(elsewhere("half") + elsewhere("half2"), 0u);
}

TEST_F(RegistryPosixTest, AnEarlierVersionsFileIsReadAsMadeAndTakenOverWithItsNamesMerged) {
    // The schema of files made before names folded beyond A-Z.
    std::string const earlier =
        "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));"
        "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL,"
        " data BLOB NOT NULL, PRIMARY KEY(key, name)) WITHOUT ROWID;"
        "INSERT INTO keys VALUES (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'), (3, 0, "
        "'HKEY_LOCAL_MACHINE'),"
        " (4, 0, 'HKEY_USERS'), (5, 2, 'Software'), (6, 5, '\xC4rger'), (7, 5, '\xE4rger'), (8, 7, 'below');"
        "INSERT INTO vals VALUES (6, 'v', 4, x'01000000'), (7, 'v', 4, x'02000000'), (7, 'w', 4, x'03000000'),"
        " (6, 's\xE4', 1, x'E48000');"
        "PRAGMA application_id = 1514490955;";
    // A user who may only read such a file reads it as it was made: two spellings, two keys.
    MakeDatabase(m_folder / "readonly.db", earlier.c_str());
    fs::permissions(m_folder / "readonly.db", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    int const code = Child([&](Child const&) {
                         if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                             return 100;  // root ignores permissions
                         setenv("ZELK_REGISTRY", (m_folder / "readonly.db").c_str(), 1);
                         RegistryClose();
                         FReg upper(HKEY_CURRENT_USER, "Software\\\xC4RGER", false),
                             lower(HKEY_CURRENT_USER, "Software\\\xE4RGER", false);
                         return (upper.GetDWORD("v", 0) != 1) |
                                (lower.GetDWORD("v", 0) * 10 + lower.GetDWORD("w", 0) != 23) << 1 |
                                (SetDword(HKEY_CURRENT_USER, "v", 1) != kErrorAccessDenied) << 2;
                     }).Wait();
    EXPECT_EQ(code, 0);

    MakeDatabase(m_folder / "registry.db", (earlier + "PRAGMA journal_mode = WAL;").c_str());
    RegistryClose();
    FReg merged(HKEY_CURRENT_USER, "Software\\\xE4RGER", false);
    BinChar name;
    int index = 0;
    ASSERT_TRUE(FReg(HKEY_CURRENT_USER, "Software", false).FindKeys("*", name, index));
    EXPECT_EQ(std::string(name), "\xC4rger");  // the older spelling
    EXPECT_EQ(merged.GetDWORD("v", 0) * 10 + merged.GetDWORD("w", 0), 13u);  // the older key's value first
    EXPECT_TRUE(FReg(merged, "below", false).IsValid());
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\new"), kErrorSuccess);
    // Its Windows-1252 names and text are Unicode now, and its pages carry checksums.
    std::string text;
    EXPECT_EQ(RegQueryValueU(merged, "S\u00C4", nullptr, &text), kErrorSuccess);
    EXPECT_EQ(text, std::string("\xE4\0\xAC\x20\0\0", 6));
    EXPECT_EQ(std::string(merged.GetString("s\xE4", "")), "\xE4\x80");
    RegistryClose();
    EXPECT_EQ(Bytes(m_folder / "registry.db")[20], 8);
    EXPECT_EQ(IntegrityCheck(m_folder / "registry.db"), "ok");
}

// UTF-16LE of UTF-8 text, with its terminator.
std::string Utf16(std::string_view text) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = DecodeUtf8(text, pos);
        if (c > 0xFFFF) {
            out += {static_cast<char>(0xD800 + ((c - 0x10000) >> 10)),
                    static_cast<char>((0xD800 + ((c - 0x10000) >> 10)) >> 8)};
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        out += {static_cast<char>(c), static_cast<char>(c >> 8)};
    }
    return out + std::string(2, '\0');
}

TEST_F(RegistryPosixTest, NamesAndTextBeyondTheCodePageKeepTheirUnicodeAndReadThroughTheACallsAsWindowsGivesThem) {
    // clang-format off
    struct Case { char const* name; char const* otherCase; char const* ansi; };
    Case const cases[] = {  // the A calls: Windows' best fit, else '?' for each UTF-16 unit
        {"\U0001F30E\U0001F30F\U0001F30D", "\U0001F30E\U0001F30F\U0001F30D", "??????"},
        {"\u03A9\u03BC\u03AD\u03B3\u03B1", "\u03C9\u039C\u0388\u0393\u0391", "O\xB5??a"},  // Greek
        {"\u4E2D\u6587\u540D", "\u4E2D\u6587\u540D", "???"},  // CJK
        {"\u00C4rger \u0160\u0153", "\u00E4RGER \u0161\u0152", "\xC4rger \x8A\x9C"},  // the code page's own
        {"\uFFFF", "\uFFFF", "?"},  // the last unit before the pairs, listed after them
    };
    // clang-format on
    HKEY international = nullptr;
    ASSERT_EQ(RegCreateKeyU(HKEY_CURRENT_USER, "Control Panel\\International", RegView::kDefault, &international),
              kErrorSuccess);
    for (Case const& c : cases) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyU(international, c.name, RegView::kDefault, &key), kErrorSuccess) << c.ansi;
        EXPECT_EQ(RegSetValueU(key, c.name, REG_SZ, Utf16(c.name)), kErrorSuccess) << c.ansi;
        RegCloseKey(key);
    }
    RegistryClose();
    ASSERT_EQ(RegOpenKeyU(HKEY_CURRENT_USER, "Control Panel\\International", RegView::kDefault, &international),
              kErrorSuccess);
    // Keys list in Wine's order: by the upcased UTF-16 units, lower-cased.
    std::vector<std::string> listed;
    std::string name, data;
    for (std::uint32_t i = 0; RegEnumKeyU(international, i, name) == kErrorSuccess; ++i) listed.push_back(name);
    EXPECT_EQ(listed,
              (std::vector<std::string>{cases[3].name, cases[1].name, cases[2].name, cases[0].name, cases[4].name}));
    std::size_t const order[] = {3, 1, 2, 0, 4};
    for (std::uint32_t listedAt = 0; listedAt < std::size(order); ++listedAt) {
        std::size_t const i = order[listedAt];
        Case const& c = cases[i];
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyU(international, c.otherCase, RegView::kDefault, &key), kErrorSuccess) << c.ansi;
        std::uint32_t type = 0;
        EXPECT_EQ(RegQueryValueU(key, c.otherCase, &type, &data), kErrorSuccess) << c.ansi;
        EXPECT_EQ(data, Utf16(c.name)) << c.ansi;
        // Through the A calls: names and text in the code page, sizes counted there.
        char ansiName[64] = {};
        std::uint32_t nameSize = sizeof ansiName, dataSize = 0;
        unsigned char ansiData[64] = {};
        EXPECT_EQ(RegEnumKeyA(international, listedAt, ansiName, sizeof ansiName), kErrorSuccess);
        EXPECT_STREQ(ansiName, c.ansi);
        EXPECT_EQ(RegEnumValueA(key, 0, ansiName, &nameSize, nullptr, &type, ansiData, &dataSize), kErrorMoreData)
            << c.ansi;
        EXPECT_EQ(dataSize, std::strlen(c.ansi) + 1) << c.ansi;
        dataSize = sizeof ansiData;
        nameSize = sizeof ansiName;
        EXPECT_EQ(RegEnumValueA(key, 0, ansiName, &nameSize, nullptr, &type, ansiData, &dataSize), kErrorSuccess)
            << c.ansi;
        EXPECT_EQ(std::string(ansiName, nameSize) + "|" + reinterpret_cast<char*>(ansiData),
                  std::string(c.ansi) + "|" + c.ansi);
        // An A name reaches only what the code page spells.
        EXPECT_EQ(RegOpenKeyA(international, c.ansi, &key) == kErrorSuccess, i == 3) << c.ansi;
    }
    // Not UTF-8: refused, never replaced.
    EXPECT_EQ(RegCreateKeyU(international, "bad\xC0\xAF", RegView::kDefault, &international), kErrorInvalidParameter);
    EXPECT_EQ(RegSetValueU(international, "\xED\xA0\x80", REG_SZ, ""), kErrorInvalidParameter);
}

TEST_F(RegistryPosixTest, ALaterVersionsFileIsReadWhereItSaysSoNeverWrittenAndLeftAsItWas) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "kept", 7), kErrorSuccess);
    RegistryClose();
    fs::path const file = m_folder / "registry.db";
    // clang-format off
    struct Case { int version; long read; };
    // clang-format on
    for (Case const c : {Case{(2 << 16) | 3, kErrorSuccess}, Case{3, kErrorBadDb}, Case{(3 << 16) | 3, kErrorBadDb}}) {
        sqlite3* db = nullptr;  // as that version would mark it (with the checksums kept right)
        ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, "zelk-checked"), SQLITE_OK);
        EXPECT_EQ(
            sqlite3_exec(db, ("PRAGMA user_version = " + std::to_string(c.version)).c_str(), nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
        std::string const bytes = Bytes(file);
        std::uint32_t value = 0;
        EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "kept", value), c.read) << c.version;
        EXPECT_EQ(value, c.read == kErrorSuccess ? 7u : 0u) << c.version;
        EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "new", 1), c.read == kErrorSuccess ? kErrorAccessDenied : kErrorBadDb)
            << c.version;
        RegistryClose();
        EXPECT_TRUE(Bytes(file) == bytes) << c.version;
    }
}
