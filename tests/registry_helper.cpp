// A second process for the registry tests: writes numbered values under a
// key through FReg and says after each one that it is written.
//
//   registry_helper <key path> <prefix> <count> [<prefix to read>]
//
// Writes <prefix><i> = i * 7 + 1 for i from 0 (for ever when count is 0) and
// prints "i" on a line of its own once SetDWORD returned, after a first
// line with its process id (so a test can kill it).  With a prefix to
// read, also reads that value of the same number and fails (exit 3) if it
// holds anything but the number its writer writes.  Exit 2: a write failed.
#include <zelk/freg.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 4) {
        return 1;
    }
    std::printf("%ld\n", static_cast<long>(getpid()));
    FReg key(HKEY_CURRENT_USER, argv[1], true);
    if (!key.IsValid()) {
        return 2;
    }
    std::string const prefix = argv[2];
    long const count = std::strtol(argv[3], nullptr, 10);
    char const* readPrefix = argc > 4 ? argv[4] : nullptr;
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
