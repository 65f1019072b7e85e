// Several threads on one registry at once: every write lands, every read
// sees either nothing or a whole value, enumeration never breaks, and the
// run ends in bounded time (fixed counts, no waits).
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zelk::os;
using zelk::test::GetDword;
using zelk::test::KeyHolder;
using zelk::test::SetDword;
using zelk::test::TestKeyPath;

constexpr int kThreads = 4;
constexpr int kRounds = 30;

std::uint32_t Tag(int thread, int round) { return static_cast<std::uint32_t>(thread * 1000 + round); }
std::string Name(int thread, int round) { return "t" + std::to_string(thread) + "-" + std::to_string(round); }

// How many entries an enumeration lists before it ends; -1 if it fails.
template <typename Enumerate>
int Count(Enumerate enumerate) {
    long result;
    int index = 0;
    while ((result = enumerate(static_cast<std::uint32_t>(index))) == kErrorSuccess && index <= kThreads * kRounds) {
        ++index;
    }
    return result == kErrorNoMoreItems ? index : -1;
}

}  // namespace

TEST(RegistryStress, ThreadsWriteReadAndEnumerateTogether) {
    std::string const base = TestKeyPath() + "\\stress";
    KeyHolder shared;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (base + "\\shared").c_str(), shared.Out()), kErrorSuccess);
    auto const values = [&shared](std::uint32_t index) {
        char name[64];
        std::uint32_t size = sizeof(name);
        return RegEnumValueA(shared, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    };

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
                if (RegCreateKeyA(HKEY_CURRENT_USER, own.c_str(), key.Out()) != kErrorSuccess ||
                    SetDword(key, "v", tag) != kErrorSuccess || GetDword(key, "v", back) != kErrorSuccess || back != tag) {
                    ++failures;
                }
                // The shared key: write one value, read a neighbour's, enumerate while others add.
                int const other = (t + 1) % kThreads;
                long const read = GetDword(shared, Name(other, round).c_str(), back);
                if (SetDword(shared, Name(t, round).c_str(), tag) != kErrorSuccess ||
                    (read == kErrorSuccess ? back != Tag(other, round) : read != kErrorFileNotFound) ||
                    Count(values) < 0) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    // Everything written is there.
    EXPECT_EQ(Count(values), kThreads * kRounds);
    for (int t = 0; t < kThreads; ++t) {
        KeyHolder own;
        ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, (base + "\\t" + std::to_string(t)).c_str(), own.Out()), kErrorSuccess);
        EXPECT_EQ(Count([&own](std::uint32_t index) {
                      char name[64];
                      return RegEnumKeyA(own, index, name, sizeof(name));
                  }),
                  kRounds)
            << "thread " << t;
    }
}
