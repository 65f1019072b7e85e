// Several threads on one registry at once: every write lands, every read
// sees either nothing or a whole value, enumeration never breaks, and the
// run ends in bounded time (fixed counts, no waits).  On POSIX, the main
// thread forks while the others are inside registry calls.
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#if !defined(_WIN32)
#  include <sys/wait.h>
#  include <unistd.h>
#endif
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zelk::os;
using zelk::test::KeyHolder;

constexpr int kThreads = 4;
constexpr int kRounds = 30;

std::uint32_t Tag(int thread, int round) { return static_cast<std::uint32_t>(thread * 1000 + round); }
std::string Name(int thread, int round) { return "t" + std::to_string(thread) + "-" + std::to_string(round); }

// How many entries of `key` an enumeration lists before it ends; -1 if it fails.
int Count(HKEY key, bool values) {
    long result;
    std::uint32_t index = 0;
    for (char name[64]; index <= kThreads * kRounds; ++index) {
        std::uint32_t size = sizeof(name);
        result = values ? RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                        : RegEnumKeyA(key, index, name, size);
        if (result != kErrorSuccess) break;
    }
    return result == kErrorNoMoreItems ? static_cast<int>(index) : -1;
}

}  // namespace

TEST(RegistryStress, ThreadsWriteReadAndEnumerateTogether) {
    std::string const base = zelk::test::TestKeyPath() + "\\stress";
    KeyHolder shared;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (base + "\\shared").c_str(), shared.Out()), kErrorSuccess);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                std::uint32_t const tag = Tag(t, round);
                std::uint32_t back = 0;
                // A key of this thread's own: made, written, read, closed.
                KeyHolder key;
                std::string const own = base + "\\t" + std::to_string(t) + "\\k" + std::to_string(round);
                failures += RegCreateKeyA(HKEY_CURRENT_USER, own.c_str(), key.Out()) != kErrorSuccess ||
                            zelk::test::SetDword(key, "v", tag) != kErrorSuccess ||
                            zelk::test::GetDword(key, "v", back) != kErrorSuccess || back != tag;
                // The shared key: write one value, read a neighbour's, enumerate while others add.
                int const other = (t + 1) % kThreads;
                long const read = zelk::test::GetDword(shared, Name(other, round).c_str(), back);
                failures += zelk::test::SetDword(shared, Name(t, round).c_str(), tag) != kErrorSuccess ||
                            (read == kErrorSuccess ? back != Tag(other, round) : read != kErrorFileNotFound) ||
                            Count(shared, true) < 0;
            }
        });
    }
#if !defined(_WIN32)
    // Each child forked mid-way has a working registry of its own, sees
    // what the parent's threads wrote, and its write reaches the parent.
    KeyHolder family;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, base.c_str(), family.Out()), kErrorSuccess);  // used by the children too
    for (int child = 0; child < 4; ++child) {
        pid_t const pid = fork();
        if (pid == 0) {
            std::uint32_t back = 0;
            bool const ok = zelk::test::SetDword(family, ("child" + std::to_string(child)).c_str(), 40u + child) == kErrorSuccess &&
                            zelk::test::GetDword(family, ("child" + std::to_string(child)).c_str(), back) == kErrorSuccess &&
                            back == 40u + child && Count(shared, true) >= 0;
            _exit(ok ? 0 : 1);
        }
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0) << "child " << child;
        std::uint32_t back = 0;
        EXPECT_EQ(zelk::test::GetDword(family, ("child" + std::to_string(child)).c_str(), back), kErrorSuccess);
        EXPECT_EQ(back, 40u + child);
    }
#endif
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Count(shared, true), kThreads * kRounds);  // everything written is there
    for (int t = 0; t < kThreads; ++t) {
        KeyHolder own;
        ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, (base + "\\t" + std::to_string(t)).c_str(), own.Out()), kErrorSuccess);
        EXPECT_EQ(Count(own, false), kRounds) << "thread " << t;
    }
}
