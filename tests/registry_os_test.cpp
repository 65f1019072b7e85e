// The platform registry calls give Windows' results: the same cases run
// against Wine's registry and against the library's own POSIX registry.
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>
#if !defined(_WIN32)
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace {

using namespace zelk::os;
using zelk::test::CreateKey;
using zelk::test::GetDword;
using zelk::test::KeyHolder;
using zelk::test::SetDword;
using Names = std::vector<std::string>;

long Query(HKEY key, char const* name, void* data, std::uint32_t* size, std::uint32_t* type = nullptr) {
    return RegQueryValueExA(key, name, nullptr, type, static_cast<unsigned char*>(data), size);
}

// What a query without a buffer reports: result, type, size.
using Info = std::tuple<long, std::uint32_t, std::uint32_t>;
Info Stored(HKEY key, char const* name) {
    std::uint32_t type = 0, size = 0;
    long const result = Query(key, name, nullptr, &size, &type);
    return {result, type, size};
}

// What every call on `key` gives: a stale or deleted handle fails them all alike.
std::vector<long> EveryCall(HKEY key) {
    char buffer[16];
    std::uint32_t size = sizeof(buffer), value = 0;
    HKEY sub = nullptr;
    return {GetDword(key, "x", value),
            SetDword(key, "x", 1),
            RegEnumKeyA(key, 0, buffer, sizeof(buffer)),
            RegEnumValueA(key, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr),
            RegOpenKeyA(key, "y", &sub),
            RegCreateKeyA(key, "y", &sub),
            RegDeleteValueA(key, "x")};
}

class RegistryOsTest : public zelk::test::RegistryKeyTest {
protected:
    // The names of the sub-keys (or values) of `key` in enumeration order;
    // the listing must end with "no more items".
    Names List(bool values, HKEY key = nullptr) {
        Names names;
        char buffer[300];
        for (std::uint32_t index = 0;; ++index) {
            std::uint32_t size = sizeof(buffer);
            long const result = values ? RegEnumValueA(key ? key : m_base.get(), index, buffer, &size, nullptr, nullptr,
                                                       nullptr, nullptr)
                                       : RegEnumKeyA(key ? key : m_base.get(), index, buffer, size);
            if (result != kErrorSuccess) {
                EXPECT_EQ(result, kErrorNoMoreItems);
                return names;
            }
            EXPECT_TRUE(!values || size == std::strlen(buffer));
            names.emplace_back(buffer);
        }
    }
    Names SubKeys() { return List(false); }
    Names ValueNames() { return List(true); }
    long Set(char const* name, std::uint32_t type, std::string const& bytes) {
        return RegSetValueExA(m_base, name, 0, type, reinterpret_cast<unsigned char const*>(bytes.data()),
                              static_cast<std::uint32_t>(bytes.size()));
    }
};

}  // namespace

TEST_F(RegistryOsTest, KeyPathsFollowWindowsRules) {
    std::string const key255(kMaxKeyNameLength, 'k');
    // clang-format off
    struct Case { char const* path; bool create; long expected; };
    Case const cases[] = {
        {"missing", false, kErrorFileNotFound}, {"a\\b", true, kErrorSuccess},  // every step on the way is made
        {"A\\B", false, kErrorSuccess},  // case-insensitive
        {"\\lead", true, kErrorBadPathname}, {"\\a", false, kErrorBadPathname},
        // Empty steps are passed over.
        {"trail\\", true, kErrorSuccess}, {"a\\", false, kErrorSuccess}, {"d\\\\e", true, kErrorSuccess},
        {"a\\\\b", false, kErrorSuccess}, {key255.c_str(), true, kErrorSuccess},
        {"mixedKEY", true, kErrorSuccess}, {"MIXEDKEY", true, kErrorSuccess},  // opens it, keeping the first spelling
        // Windows-1252 letters fold too: \xC4/\xE4, \x8A/\x9A, \x9F/\xFF; the signs \xD7/\xF7 and \xDF/"SS" do not.
        {"\xC4rger", true, kErrorSuccess}, {"\xE4RGER", false, kErrorSuccess}, {"\x8A\x9F", true, kErrorSuccess},
        {"\x9A\xFF", false, kErrorSuccess}, {"\xD7", true, kErrorSuccess}, {"\xF7", false, kErrorFileNotFound},
        {"\xDF", true, kErrorSuccess}, {"SS", false, kErrorFileNotFound},
    };
    // clang-format on
    for (Case const& c : cases) {
        KeyHolder key;
        long const result =
            c.create ? RegCreateKeyA(m_base, c.path, key.Out()) : RegOpenKeyA(m_base, c.path, key.Out());
        EXPECT_EQ(result, c.expected) << c.path;
        EXPECT_EQ(key.get() != nullptr, c.expected == kErrorSuccess) << c.path;
    }
    EXPECT_EQ(SubKeys().size(), 9u);  // a, d, key255, mixedKEY, trail and four of the code page's
}

TEST_F(RegistryOsTest, HandlesCloseOnceEmptyNamesAndDuplicates) {
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), kErrorSuccess);  // roots stay open (the tests after this one use it)
    EXPECT_EQ(RegCloseKey(nullptr), kErrorInvalidHandle);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(m_base, "c", &key), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(EveryCall(key), std::vector<long>(7, kErrorInvalidHandle));
    HKEY const notARoot = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000009u)));
    EXPECT_EQ(RegOpenKeyA(notARoot, "x", &key), kErrorInvalidHandle);

    // Opening an empty or null name gives the same handle; creating one a new one.
    for (auto const& [parent, empty] :
         {std::pair{m_base.get(), ""}, std::pair{HKEY_CURRENT_USER, static_cast<char const*>(nullptr)}}) {
        HKEY same = nullptr;
        EXPECT_EQ(RegOpenKeyA(parent, empty, &same), kErrorSuccess);
        EXPECT_EQ(same, parent);
    }
    KeyHolder fresh;
    ASSERT_EQ(RegCreateKeyA(m_base, "", fresh.Out()), kErrorSuccess);
    EXPECT_NE(fresh.get(), m_base.get());
    KeyHolder duplicate;
    ASSERT_EQ(RegDuplicateKey(fresh, duplicate.Out()), kErrorSuccess);
    fresh.Reset();  // the duplicate lives on
    EXPECT_EQ(SetDword(duplicate, "through", 5), kErrorSuccess);
    HKEY root = nullptr;
    ASSERT_EQ(RegDuplicateKey(HKEY_LOCAL_MACHINE, &root), kErrorSuccess);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
}

TEST_F(RegistryOsTest, EnumerationIsSortedCaseInsensitivelyAndFollowsTheBufferRules) {
    // Folding to lower case puts '[' and '_' before the letters, and "a_b" before "aB".
    for (char const* name : {"b", "A", "_x", "a1", "Z", "[q", "a_b", "aB", "~t", "0n"})
        ASSERT_TRUE(CreateKey(m_base, name) == kErrorSuccess && SetDword(m_base, name, 1) == kErrorSuccess);
    ASSERT_EQ(Set("", REG_SZ, std::string("dflt", 5)), kErrorSuccess);
    Names const sorted = {"0n", "[q", "_x", "A", "a1", "a_b", "aB", "b", "Z", "~t"};
    EXPECT_EQ(SubKeys(), sorted);
    Names values = {""};
    values.insert(values.end(), sorted.begin(), sorted.end());
    EXPECT_EQ(ValueNames(), values);

    char buffer[300];
    EXPECT_EQ(RegEnumKeyA(m_base, 0, buffer, 2), kErrorMoreData);  // "0n" needs 3 bytes
    EXPECT_EQ(RegEnumKeyA(m_base, 0, buffer, 3), kErrorSuccess);
    // One value enumerated with the given buffer sizes (0: no data buffer):
    // result, name size, type, data size.
    using Entry = std::tuple<long, std::uint32_t, std::uint32_t, std::uint32_t>;
    unsigned char data[16] = {};
    auto const entry = [&](std::uint32_t index, std::uint32_t size, std::uint32_t dataSize = 0) {
        std::uint32_t type = 0;
        long const result = RegEnumValueA(m_base, index, buffer, &size, nullptr, &type, dataSize ? data : nullptr,
                                          dataSize ? &dataSize : nullptr);
        return Entry{result, size, type, dataSize};
    };
    EXPECT_EQ(entry(0, 1), Entry(kErrorSuccess, 0, REG_SZ, 0));  // the default value's empty name fits in one byte
    Entry const tooSmall = entry(1, 2);  // the type comes back even so
    EXPECT_EQ(std::pair(std::get<0>(tooSmall), std::get<2>(tooSmall)),
              std::pair(kErrorMoreData, std::uint32_t{REG_DWORD}));
    // A name size, no reserved word, and a data size with data are required.
    std::uint32_t size = sizeof(buffer), none = 0;
    EXPECT_EQ(RegEnumValueA(m_base, 0, buffer, nullptr, nullptr, nullptr, nullptr, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(RegEnumValueA(m_base, 0, buffer, &size, &none, nullptr, nullptr, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(RegEnumValueA(m_base, 0, buffer, &size, nullptr, nullptr, data, nullptr), kErrorInvalidParameter);

    // The data: too small a buffer reports the size needed.
    unsigned char const blob[] = {9, 0, 8, 0, 7};
    ASSERT_EQ(Set("~~blob", REG_BINARY, std::string(blob, blob + 5)), kErrorSuccess);
    Entry const shortData = entry(11, sizeof(buffer), 2);
    EXPECT_EQ(std::pair(std::get<0>(shortData), std::get<3>(shortData)), std::pair(kErrorMoreData, std::uint32_t{5}));
    EXPECT_EQ(entry(11, sizeof(buffer), sizeof(data)), Entry(kErrorSuccess, 6, REG_BINARY, sizeof(blob)));
    EXPECT_EQ(std::vector<unsigned char>(data, data + 5), std::vector<unsigned char>(blob, blob + 5));

    // Indexes count in the listing as it is at each call: after a change
    // between two calls the next index names what is there now.
    ASSERT_EQ(RegEnumKeyA(m_base, 2, buffer, sizeof(buffer)), kErrorSuccess);  // "_x"
    ASSERT_EQ(RegDeleteKeyA(m_base, "0n"), kErrorSuccess);
    ASSERT_EQ(RegEnumKeyA(m_base, 3, buffer, sizeof(buffer)), kErrorSuccess);
    EXPECT_STREQ(buffer, "a1");  // not "A", the name after "_x"
    std::thread([&] { EXPECT_EQ(CreateKey(m_base, "a0"), kErrorSuccess); }).join();  // another thread's change
    ASSERT_EQ(RegEnumKeyA(m_base, 4, buffer, sizeof(buffer)), kErrorSuccess);
    EXPECT_STREQ(buffer, "a1");  // not "a_b", the name after "a1"
}

TEST_F(RegistryOsTest, ValuesFollowTheBufferRulesAndKeepTheirBytes) {
    // The text was counted without its terminator; the registry keeps it with one.
    ASSERT_EQ(Set("Mixed", REG_SZ, "abc"), kErrorSuccess);
    EXPECT_EQ(Stored(m_base, "mixed"), Info(kErrorSuccess, REG_SZ, 4));
    char buffer[100];
    std::memset(buffer, '#', sizeof(buffer));
    std::uint32_t type = 0, size = 2;
    long const result = Query(m_base, "MIXED", buffer, &size, &type);  // with the size and type
    EXPECT_EQ(Info(result, type, size), Info(kErrorMoreData, REG_SZ, 4));
    size = sizeof(buffer);
    EXPECT_EQ(Query(m_base, "MIXED", buffer, &size), kErrorSuccess);
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0#", 5));  // nothing written past the value
    EXPECT_EQ(Query(m_base, "Mixed", buffer, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(Query(m_base, nullptr, nullptr, nullptr), kErrorFileNotFound);
    ASSERT_EQ(RegSetValueExA(m_base, nullptr, 0, REG_NONE, nullptr, 0), kErrorSuccess);  // an empty value
    EXPECT_EQ(Stored(m_base, ""), Info(kErrorSuccess, REG_NONE, 0));  // null and "" name alike

    // A short number reports its own size and fills only that much.
    ASSERT_EQ(Set("short", REG_DWORD, std::string("\7\0", 2)), kErrorSuccess);
    std::uint32_t value = 0xAAAAAAAAu;
    size = 4;
    EXPECT_EQ(Query(m_base, "short", &value, &size), kErrorSuccess);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(value, 0xAAAA0007u);

    // Large binary data comes back byte for byte, under the first spelling.
    std::string large(100000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    ASSERT_EQ(SetDword(m_base, "Large", 1), kErrorSuccess);
    ASSERT_EQ(Set("LARGE", REG_BINARY, large), kErrorSuccess);
    std::string back(large.size(), 'x');
    size = static_cast<std::uint32_t>(back.size());
    ASSERT_EQ(Query(m_base, "large", back.data(), &size, &type), kErrorSuccess);
    EXPECT_TRUE(back == large && type == REG_BINARY);  // the new type

    // Deleting: in any spelling, once; null and "" both name the default value.
    // clang-format off
    for (auto const& [name, expected] : {std::pair<char const*, long>{"MIXED", kErrorSuccess}, {"mixed", kErrorFileNotFound},
                                         {"never", kErrorFileNotFound}, {nullptr, kErrorSuccess}, {"", kErrorFileNotFound}})
        EXPECT_EQ(RegDeleteValueA(m_base, name), expected) << (name ? name : "null");
    // clang-format on
    EXPECT_EQ(ValueNames(), (Names{"Large", "short"}));

    // Every byte of the ANSI code page comes back as written, in a name and
    // in text; text without its terminator gets one where the buffer has room.
    std::string every;
    for (int c = 1; c < 256; ++c) every += static_cast<char>(c);
    ASSERT_EQ(Set(every.c_str(), REG_SZ, every), kErrorSuccess);
    size = sizeof(buffer) - 1;
    std::memset(buffer, '#', sizeof(buffer));
    ASSERT_EQ(RegSetValueExA(m_base, "bare", 0, REG_EXPAND_SZ, reinterpret_cast<unsigned char const*>("xyz#"), 3),
              kErrorSuccess);
    EXPECT_EQ(Query(m_base, "bare", buffer, &size), kErrorSuccess);
    EXPECT_EQ(std::string(buffer, 5), std::string("xyz\0#", 5));
    EXPECT_EQ(Stored(m_base, every.c_str()), Info(kErrorSuccess, REG_SZ, 256));
    std::string text(256, '#');
    size = 256;
    ASSERT_EQ(Query(m_base, every.c_str(), text.data(), &size), kErrorSuccess);
    EXPECT_EQ(text, every + '\0');
    EXPECT_EQ(RegDeleteValueA(m_base, every.c_str()), kErrorSuccess);
    EXPECT_EQ(RegDeleteValueA(m_base, "bare"), kErrorSuccess);

    // Value names up to Windows' limit.
    std::string const value16383(kMaxValueNameLength, 'v'), value16384(kMaxValueNameLength + 1, 'v');
    EXPECT_EQ(SetDword(m_base, value16383.c_str(), 7), kErrorSuccess);
    EXPECT_EQ(SetDword(m_base, value16384.c_str(), 7), kErrorInvalidParameter);
}

TEST_F(RegistryOsTest, ATransactionCommitsEveryWriteAndKeysAreDeleted) {
    {
        RegistryTransaction transaction;
        ASSERT_EQ(transaction.Begin(), kErrorSuccess);
        ASSERT_EQ(CreateKey(m_base, "del\\sub"), kErrorSuccess);
        ASSERT_EQ(SetDword(m_base, "two", 2), kErrorSuccess);
        ASSERT_EQ(RegDeleteValueA(m_base, "two"), kErrorSuccess);
        ASSERT_EQ(SetDword(m_base, "kept", 1), kErrorSuccess);
        EXPECT_EQ(transaction.Commit(), kErrorSuccess);
    }
    EXPECT_EQ(ValueNames(), (Names{"kept"}));
    KeyHolder doomed;
    ASSERT_EQ(RegOpenKeyA(m_base, "del", doomed.Out()), kErrorSuccess);
    EXPECT_EQ(RegDeleteKeyA(m_base, "del"), kErrorAccessDenied);  // it has a sub-key
    EXPECT_EQ(RegDeleteKeyA(m_base, "del\\sub"), kErrorSuccess);
    EXPECT_EQ(RegDeleteKeyA(m_base, "del"), kErrorSuccess);
    EXPECT_EQ(RegDeleteKeyA(m_base, "del"), kErrorFileNotFound);
    // A handle to the deleted key still closes, and says so for the rest.
    EXPECT_EQ(EveryCall(doomed), std::vector<long>(7, kErrorKeyDeleted));
    EXPECT_EQ(RegCloseKey(doomed.Release()), kErrorSuccess);

    // A tree goes whole; without a sub-key only what is below goes.
    KeyHolder deep;
    ASSERT_EQ(RegCreateKeyA(m_base, "tree\\x\\y", deep.Out()), kErrorSuccess);
    ASSERT_EQ(SetDword(deep, "v", 1), kErrorSuccess);
    deep.Reset();
    ASSERT_EQ(CreateKey(m_base, "again\\below"), kErrorSuccess);
    EXPECT_EQ(RegDeleteTreeA(m_base, "tree"), kErrorSuccess);
    EXPECT_EQ(SubKeys(), (Names{"again"}));
    EXPECT_EQ(RegDeleteTreeA(m_base, nullptr), kErrorSuccess);
    EXPECT_EQ(SubKeys().size() + ValueNames().size(), 0u);
}

// Threads on one registry at once: every write lands, every read sees
// nothing or a whole value, enumeration never breaks, and the run ends in
// bounded time (fixed counts, no waits).
TEST_F(RegistryOsTest, ThreadsWriteReadAndEnumerateTogether) {
    constexpr int kThreads = 4, kRounds = 30;
    auto const name = [](int thread, int round) { return "t" + std::to_string(thread) + "-" + std::to_string(round); };
    KeyHolder shared;
    ASSERT_EQ(RegCreateKeyA(m_base, "shared", shared.Out()), kErrorSuccess);
    std::atomic<int> failures{0};
    // No thread ends before the children are forked: a thread ended but not
    // joined is a leak to ThreadSanitizer in each child.
    std::atomic<bool> forked{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (std::uint32_t round = 0, back = 0; round < kRounds; ++round) {
                // A key of this thread's own (made, written, read, closed) and a value beside it.
                KeyHolder own;
                failures += RegCreateKeyA(shared, name(t, round).c_str(), own.Out()) != kErrorSuccess ||
                            SetDword(own, "v", t * 1000 + round) != kErrorSuccess ||
                            GetDword(own, "v", back) != kErrorSuccess || back != t * 1000 + round ||
                            SetDword(shared, name(t, round).c_str(), t * 1000 + round) != kErrorSuccess;
                // A neighbour's value is there whole or not at all; list while others add.
                long const read = GetDword(shared, name((t + 1) % kThreads, round).c_str(), back);
                failures +=
                    read == kErrorSuccess ? back != (t + 1) % kThreads * 1000 + round : read != kErrorFileNotFound;
                List(true, shared);
            }
            while (!forked.load()) std::this_thread::yield();
        });
    }
#if !defined(_WIN32)
    // A child forked while the threads are inside registry calls has a
    // working registry of its own, and its write reaches the parent.
    for (std::uint32_t child = 0, back = 0; child < 4; ++child) {
        pid_t const pid = fork();
        if (pid == 0) {
            _exit(SetDword(m_base, "child", child) == kErrorSuccess &&
                          GetDword(m_base, "child", back) == kErrorSuccess && back == child
                      ? 0
                      : 1);
        }
        int status = -1;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && status == 0) << child;
        EXPECT_TRUE(GetDword(m_base, "child", back) == kErrorSuccess && back == child) << child;
    }
#endif
    forked = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(List(true, shared).size(), std::size_t{kThreads * kRounds});  // everything written is there
    EXPECT_EQ(List(false, shared).size(), std::size_t{kThreads * kRounds});
}
