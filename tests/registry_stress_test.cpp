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
using zelk::test::KeyHolder;
using zelk::test::TestKeyPath;

constexpr int kThreads = 4;
constexpr int kRounds = 30;

std::uint32_t Tag(int thread, int round) { return static_cast<std::uint32_t>(thread * 1000 + round); }

}  // namespace

TEST(RegistryStress, ThreadsWriteReadAndEnumerateTogether) {
    std::string const base = TestKeyPath() + "\\stress";
    KeyHolder shared;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (base + "\\shared").c_str(), shared.Out()), kErrorSuccess);

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // A key of this thread's own, made, written, read, closed.
                std::string const own = base + "\\t" + std::to_string(t) + "\\k" + std::to_string(round);
                HKEY key = nullptr;
                if (RegCreateKeyA(HKEY_CURRENT_USER, own.c_str(), &key) != kErrorSuccess) {
                    ++failures;
                    continue;
                }
                std::uint32_t const tag = Tag(t, round);
                std::uint32_t back = 0;
                std::uint32_t size = 4;
                if (RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&tag), 4) !=
                        kErrorSuccess ||
                    RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<unsigned char*>(&back), &size) !=
                        kErrorSuccess ||
                    back != tag) {
                    ++failures;
                }
                RegCloseKey(key);

                // The shared key: write one value, read a neighbour's.
                std::string const mine = "t" + std::to_string(t) + "-" + std::to_string(round);
                if (RegSetValueExA(shared, mine.c_str(), 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&tag),
                                   4) != kErrorSuccess) {
                    ++failures;
                }
                int const other = (t + 1) % kThreads;
                std::string const theirs = "t" + std::to_string(other) + "-" + std::to_string(round);
                size = 4;
                long const read =
                    RegQueryValueExA(shared, theirs.c_str(), nullptr, nullptr, reinterpret_cast<unsigned char*>(&back),
                                     &size);
                if (read == kErrorSuccess ? back != Tag(other, round) : read != kErrorFileNotFound) {
                    ++failures;
                }
                // Enumerating while others add values.
                char name[64];
                for (std::uint32_t index = 0;; ++index) {
                    std::uint32_t nameSize = sizeof(name);
                    long const listed = RegEnumValueA(shared, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
                    if (listed == kErrorNoMoreItems) {
                        break;
                    }
                    if (listed != kErrorSuccess || index > kThreads * kRounds) {
                        ++failures;
                        break;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);

    // Everything written is there.
    int values = 0;
    char name[64];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameSize = sizeof(name);
        if (RegEnumValueA(shared, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != kErrorSuccess) {
            break;
        }
        ++values;
    }
    EXPECT_EQ(values, kThreads * kRounds);
    for (int t = 0; t < kThreads; ++t) {
        KeyHolder own;
        ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, (base + "\\t" + std::to_string(t)).c_str(), own.Out()), kErrorSuccess);
        int keys = 0;
        char keyName[64];
        while (RegEnumKeyA(own, static_cast<std::uint32_t>(keys), keyName, sizeof(keyName)) == kErrorSuccess) {
            ++keys;
        }
        EXPECT_EQ(keys, kRounds) << "thread " << t;
    }
}
