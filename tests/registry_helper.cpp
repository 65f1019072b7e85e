// A second process for the registry tests, working through FReg as a host
// does.  It prints its process id on the first line (so a test can kill it).
//
//   registry_helper write <key> <prefix> <count> [<prefix to read>]
//     Writes <prefix><i> = i * 7 + 1 for i from 0 (for ever when count is 0)
//     and prints "i" once SetDWORD returned.  With a prefix to read, also
//     reads that value of the same number and fails (exit 3) if it holds
//     anything but the number its writer writes.  Exit 2: a write failed.
//   registry_helper daemon <key> <parent|child>
//     The daemon pattern: writes "parent" = 1, forks, and the one named
//     exits first, normally, the other once it is gone.  The parent prints
//     the child's id.  The child then waits until another process wrote
//     "go" and writes "child" = 7; the one left last writes "last" = 1.
//   registry_helper hold <database>
//     Takes the database's write lock with SQLite itself, prints "0" and
//     holds it until killed.
#include <zelk/freg.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Write(int argc, char** argv) {
    FReg key(HKEY_CURRENT_USER, argv[2], true);
    if (argc < 5 || !key.IsValid()) {
        return 2;
    }
    std::string const prefix = argv[3];
    long const count = std::strtol(argv[4], nullptr, 10);
    char const* readPrefix = argc > 5 ? argv[5] : nullptr;
    for (long i = 0; count == 0 || i < count; ++i) {
        std::string const name = prefix + std::to_string(i);
        unsigned long const value = static_cast<unsigned long>(i) * 7 + 1;
        if (!key.SetDWORD(name.c_str(), value)) {
            return 2;
        }
        std::printf("%ld\n", i);
        std::fflush(stdout);
        if (readPrefix) {
            std::string const other = readPrefix + std::to_string(i);
            unsigned long const seen = key.GetDWORD(other.c_str(), 0);
            if (seen != 0 && seen != value) {
                return 3;
            }
        }
    }
    return 0;
}

// Polls (for at most ten seconds) until `done` holds.
template <class Done>
bool Await(Done const& done) {
    for (int i = 0; i < 1000 && !done(); ++i) {
        usleep(10000);
    }
    return done();
}

int Daemon(char** argv) {
    bool const parentFirst = std::strcmp(argv[3], "parent") == 0;
    FReg key(HKEY_CURRENT_USER, argv[2], true);
    if (!key.SetDWORD("parent", 1)) {
        return 2;
    }
    pid_t const parent = getpid();
    pid_t const child = fork();
    if (child < 0) {
        return 2;
    }
    if (child > 0) {
        std::printf("%ld\n", static_cast<long>(child));
        std::fflush(stdout);
        if (parentFirst) {
            return 0;  // exits normally while the child goes on
        }
        int status = 0;
        waitpid(child, &status, 0);
        return key.SetDWORD("last", 1) && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 4;
    }
    // The child: the registry it inherited must work on its own.
    std::fclose(stdout);
    if (parentFirst && !Await([&] { return getppid() != parent; })) {
        _exit(5);
    }
    if (!Await([&] { return key.GetDWORD("go", 0) == 1; }) || !key.SetDWORD("child", 7) ||
        key.GetDWORD("child", 0) != 7 || (parentFirst && !key.SetDWORD("last", 1))) {
        std::exit(6);
    }
    return 0;
}

int Hold(char** argv) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return 2;
    }
    std::printf("0\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("%ld\n", static_cast<long>(getpid()));
    std::fflush(stdout);
    if (argc >= 5 && std::strcmp(argv[1], "write") == 0) {
        return Write(argc, argv);
    }
    if (argc == 4 && std::strcmp(argv[1], "daemon") == 0) {
        return Daemon(argv);
    }
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
        return Hold(argv);
    }
    return 1;
}
