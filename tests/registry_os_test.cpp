// The platform registry calls give Windows' results: the same cases run
// against Wine's registry and against the library's own POSIX registry.
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace zelk::os;
using zelk::test::KeyHolder;
using zelk::test::TestKeyPath;
using Names = std::vector<std::string>;

auto* const g_environment = ::testing::AddGlobalTestEnvironment(new zelk::test::TestRegistryEnvironment("os"));

long SetDword(HKEY key, char const* name, std::uint32_t value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&value), 4);
}

long Query(HKEY key, char const* name, void* data, std::uint32_t* size, std::uint32_t* type = nullptr) {
    return RegQueryValueExA(key, name, nullptr, type, static_cast<unsigned char*>(data), size);
}

// What a query without a buffer reports: result, type, size.
using Info = std::tuple<long, std::uint32_t, std::uint32_t>;
Info Stored(HKEY key, char const* name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    long const result = Query(key, name, nullptr, &size, &type);
    return {result, type, size};
}

// What every call on `key` gives: a stale or deleted handle fails them all alike.
std::vector<long> EveryCall(HKEY key) {
    char buffer[16];
    std::uint32_t size = sizeof(buffer);
    std::uint32_t value = 0;
    std::uint32_t valueSize = 4;
    HKEY sub = nullptr;
    return {Query(key, "x", &value, &valueSize), SetDword(key, "x", 1), RegEnumKeyA(key, 0, buffer, sizeof(buffer)),
            RegEnumValueA(key, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr), RegOpenKeyA(key, "y", &sub),
            RegCreateKeyA(key, "y", &sub)};
}

class RegistryOsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = TestKeyPath() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, m_path.c_str(), m_base.Out()), kErrorSuccess);
    }
    void TearDown() override {
        m_base.Reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
    }

    Names SubKeys() {
        Names names;
        char buffer[300];
        long result;
        for (std::uint32_t index = 0; (result = RegEnumKeyA(m_base, index, buffer, sizeof(buffer))) == kErrorSuccess;
             ++index) {
            names.emplace_back(buffer);
        }
        EXPECT_EQ(result, kErrorNoMoreItems);
        return names;
    }

    Names ValueNames() {
        Names names;
        char buffer[300];
        for (std::uint32_t index = 0;; ++index) {
            std::uint32_t size = sizeof(buffer);
            long const result = RegEnumValueA(m_base, index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
            if (result != kErrorSuccess) {
                EXPECT_EQ(result, kErrorNoMoreItems);
                return names;
            }
            EXPECT_EQ(size, std::strlen(buffer));
            names.emplace_back(buffer);
        }
    }

    std::string m_path;
    KeyHolder m_base;
};

}  // namespace

TEST_F(RegistryOsTest, KeyPathsFollowWindowsRules) {
    std::string const key255(kMaxKeyNameLength, 'k');
    struct Case {
        char const* path;
        bool create;
        long expected;
    };
    Case const cases[] = {
        {"missing", false, kErrorFileNotFound},
        {"missing\\deeper", false, kErrorFileNotFound},
        {"a\\b", true, kErrorSuccess},  // every step on the way is made
        {"A\\B", false, kErrorSuccess},  // case-insensitive
        {"a", false, kErrorSuccess},
        {"\\lead", true, kErrorBadPathname},
        {"\\a", false, kErrorBadPathname},
        {"trail\\", true, kErrorSuccess},  // empty steps are passed over
        {"trail", false, kErrorSuccess},
        {"a\\", false, kErrorSuccess},
        {"d\\\\e", true, kErrorSuccess},
        {"d\\e", false, kErrorSuccess},
        {"a\\\\b", false, kErrorSuccess},
        {key255.c_str(), true, kErrorSuccess},
        {key255.c_str(), false, kErrorSuccess},
        {"mixedKEY", true, kErrorSuccess},
        {"MIXEDKEY", true, kErrorSuccess},  // opens it, keeping the first spelling
    };
    for (Case const& c : cases) {
        KeyHolder key;
        long const result = c.create ? RegCreateKeyA(m_base, c.path, key.Out()) : RegOpenKeyA(m_base, c.path, key.Out());
        EXPECT_EQ(result, c.expected) << c.path;
        EXPECT_EQ(key.get() != nullptr, c.expected == kErrorSuccess) << c.path;
    }
    EXPECT_EQ(SubKeys(), (Names{"a", "d", key255, "mixedKEY", "trail"}));
}

TEST_F(RegistryOsTest, HandlesCloseOnceEmptyNamesAndDuplicates) {
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), kErrorSuccess);  // roots stay open
    KeyHolder again;
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, m_path.c_str(), again.Out()), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(nullptr), kErrorInvalidHandle);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(m_base, "c", &key), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(EveryCall(key), std::vector<long>(6, kErrorInvalidHandle));
    HKEY const notARoot = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000009u)));
    EXPECT_EQ(RegOpenKeyA(notARoot, "x", &key), kErrorInvalidHandle);

    // Opening an empty or null name gives the same handle; creating one a new one.
    for (HKEY const parent : {m_base.get(), HKEY_CURRENT_USER}) {
        HKEY same = nullptr;
        ASSERT_EQ(RegOpenKeyA(parent, "", &same), kErrorSuccess);
        EXPECT_EQ(same, parent);
        ASSERT_EQ(RegOpenKeyA(parent, nullptr, &same), kErrorSuccess);
        EXPECT_EQ(same, parent);
    }
    KeyHolder fresh;
    ASSERT_EQ(RegCreateKeyA(m_base, "", fresh.Out()), kErrorSuccess);
    EXPECT_NE(fresh.get(), m_base.get());
    ASSERT_EQ(SetDword(fresh, "through", 5), kErrorSuccess);
    KeyHolder duplicate;
    ASSERT_EQ(RegDuplicateKey(fresh, duplicate.Out()), kErrorSuccess);
    EXPECT_NE(duplicate.get(), fresh.get());
    fresh.Reset();  // the duplicate lives on
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(Query(duplicate, "through", &value, &size), kErrorSuccess);
    EXPECT_EQ(value, 5u);
    HKEY root = nullptr;
    ASSERT_EQ(RegDuplicateKey(HKEY_LOCAL_MACHINE, &root), kErrorSuccess);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
}

TEST_F(RegistryOsTest, EnumerationIsSortedCaseInsensitivelyAndFollowsTheBufferRules) {
    // Folding to lower case puts '[' and '_' before the letters, and
    // "a_b" before "aB".
    for (char const* name : {"b", "A", "_x", "a1", "Z", "[q", "a_b", "aB", "~t", "0n"}) {
        KeyHolder key;
        ASSERT_EQ(RegCreateKeyA(m_base, name, key.Out()), kErrorSuccess);
        ASSERT_EQ(SetDword(m_base, name, 1), kErrorSuccess);
    }
    ASSERT_EQ(RegSetValueExA(m_base, "", 0, REG_SZ, reinterpret_cast<unsigned char const*>("dflt"), 5), kErrorSuccess);
    Names const sorted = {"0n", "[q", "_x", "A", "a1", "a_b", "aB", "b", "Z", "~t"};
    EXPECT_EQ(SubKeys(), sorted);
    Names values = {""};
    values.insert(values.end(), sorted.begin(), sorted.end());
    EXPECT_EQ(ValueNames(), values);

    char buffer[300];
    EXPECT_EQ(RegEnumKeyA(m_base, 0, buffer, 2), kErrorMoreData);  // "0n" needs 3 bytes
    EXPECT_EQ(RegEnumKeyA(m_base, 0, buffer, 3), kErrorSuccess);
    EXPECT_EQ(RegEnumKeyA(m_base, 0xFFFFFFFFu, buffer, sizeof(buffer)), kErrorNoMoreItems);
    std::uint32_t size = 1;  // the default value's empty name fits in one byte
    std::uint32_t type = 0;
    EXPECT_EQ(RegEnumValueA(m_base, 0, buffer, &size, nullptr, &type, nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
    size = 2;
    EXPECT_EQ(RegEnumValueA(m_base, 1, buffer, &size, nullptr, &type, nullptr, nullptr), kErrorMoreData);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_DWORD));  // the type comes back even so

    // The data: too small a buffer reports the size needed.
    unsigned char const blob[] = {9, 0, 8, 0, 7};
    ASSERT_EQ(RegSetValueExA(m_base, "~~blob", 0, REG_BINARY, blob, sizeof(blob)), kErrorSuccess);
    unsigned char data[16] = {};
    std::uint32_t dataSize = 2;
    size = sizeof(buffer);
    EXPECT_EQ(RegEnumValueA(m_base, 11, buffer, &size, nullptr, &type, data, &dataSize), kErrorMoreData);
    EXPECT_EQ(dataSize, sizeof(blob));
    size = sizeof(buffer);
    dataSize = sizeof(data);
    ASSERT_EQ(RegEnumValueA(m_base, 11, buffer, &size, nullptr, &type, data, &dataSize), kErrorSuccess);
    EXPECT_STREQ(buffer, "~~blob");
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_BINARY));
    EXPECT_EQ(std::vector<unsigned char>(data, data + dataSize), std::vector<unsigned char>(blob, blob + 5));
    size = sizeof(buffer);
    EXPECT_EQ(RegEnumValueA(m_base, 12, buffer, &size, nullptr, nullptr, nullptr, nullptr), kErrorNoMoreItems);
}

TEST_F(RegistryOsTest, ValuesFollowTheBufferRulesAndKeepTheirBytes) {
    // The text was counted without its terminator; the registry keeps it with one.
    ASSERT_EQ(RegSetValueExA(m_base, "Mixed", 0, REG_SZ, reinterpret_cast<unsigned char const*>("abc"), 3),
              kErrorSuccess);
    EXPECT_EQ(Stored(m_base, "mixed"), Info(kErrorSuccess, REG_SZ, 4));
    char buffer[100];
    std::memset(buffer, '#', sizeof(buffer));
    std::uint32_t type = 0;
    std::uint32_t size = 2;
    EXPECT_EQ(Query(m_base, "MIXED", buffer, &size, &type), kErrorMoreData);  // with the size and type
    EXPECT_EQ(Info(kErrorMoreData, type, size), Info(kErrorMoreData, REG_SZ, 4));
    size = sizeof(buffer);
    EXPECT_EQ(Query(m_base, "MIXED", buffer, &size), kErrorSuccess);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0#", 5));  // nothing written past the value
    EXPECT_EQ(Query(m_base, "Mixed", buffer, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(Query(m_base, "Mixed", nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(Query(m_base, "nope", nullptr, nullptr), kErrorFileNotFound);
    EXPECT_EQ(Query(m_base, nullptr, nullptr, nullptr), kErrorFileNotFound);
    ASSERT_EQ(RegSetValueExA(m_base, nullptr, 0, REG_NONE, nullptr, 0), kErrorSuccess);  // an empty value
    EXPECT_EQ(Stored(m_base, ""), Info(kErrorSuccess, REG_NONE, 0));  // null and "" name alike

    // A short number reports its own size and fills only that much.
    std::uint16_t const two = 7;
    ASSERT_EQ(RegSetValueExA(m_base, "short", 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&two), 2),
              kErrorSuccess);
    std::uint32_t value = 0xAAAAAAAAu;
    size = 4;
    EXPECT_EQ(Query(m_base, "short", &value, &size), kErrorSuccess);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(value, 0xAAAA0007u);

    // Large binary data comes back byte for byte, under the first spelling.
    std::string large(100000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7);
    }
    ASSERT_EQ(SetDword(m_base, "Large", 1), kErrorSuccess);
    ASSERT_EQ(RegSetValueExA(m_base, "LARGE", 0, REG_BINARY, reinterpret_cast<unsigned char const*>(large.data()),
                             static_cast<std::uint32_t>(large.size())),
              kErrorSuccess);
    std::string back(large.size(), 'x');
    size = static_cast<std::uint32_t>(back.size());
    ASSERT_EQ(Query(m_base, "large", back.data(), &size, &type), kErrorSuccess);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_BINARY));  // the new type
    EXPECT_TRUE(back == large);
    EXPECT_EQ(ValueNames(), (Names{"", "Large", "Mixed", "short"}));

    // Value names up to Windows' limit.
    std::string const value16383(kMaxValueNameLength, 'v');
    std::string const value16384(kMaxValueNameLength + 1, 'v');
    EXPECT_EQ(SetDword(m_base, value16383.c_str(), 7), kErrorSuccess);
    EXPECT_EQ(SetDword(m_base, value16384.c_str(), 7), kErrorInvalidParameter);
    EXPECT_EQ(Stored(m_base, value16383.c_str()), Info(kErrorSuccess, REG_DWORD, 4));
    EXPECT_EQ(std::get<0>(Stored(m_base, value16384.c_str())), kErrorFileNotFound);
}

TEST_F(RegistryOsTest, DeletingKeys) {
    KeyHolder doomed;
    {
        KeyHolder sub;
        ASSERT_EQ(RegCreateKeyA(m_base, "del\\sub", sub.Out()), kErrorSuccess);
    }
    ASSERT_EQ(RegOpenKeyA(m_base, "del", doomed.Out()), kErrorSuccess);
    EXPECT_EQ(RegDeleteKeyA(m_base, "del"), kErrorAccessDenied);  // it has a sub-key
    EXPECT_EQ(RegDeleteKeyA(m_base, "del\\sub"), kErrorSuccess);
    EXPECT_EQ(RegDeleteKeyA(m_base, "del"), kErrorSuccess);
    EXPECT_EQ(RegDeleteKeyA(m_base, "del"), kErrorFileNotFound);
    // A handle to the deleted key still closes, and says so for the rest.
    EXPECT_EQ(EveryCall(doomed), std::vector<long>(6, kErrorKeyDeleted));
    EXPECT_EQ(RegCloseKey(doomed.Release()), kErrorSuccess);

    // A tree goes whole; without a sub-key only what is below goes.
    {
        KeyHolder deep;
        ASSERT_EQ(RegCreateKeyA(m_base, "tree\\x\\y", deep.Out()), kErrorSuccess);
        ASSERT_EQ(SetDword(deep, "v", 1), kErrorSuccess);
        ASSERT_EQ(RegCreateKeyA(m_base, "again\\below", deep.Out()), kErrorSuccess);
        ASSERT_EQ(SetDword(m_base, "kept?", 1), kErrorSuccess);
    }
    EXPECT_EQ(RegDeleteTreeA(m_base, "tree"), kErrorSuccess);
    EXPECT_EQ(SubKeys(), (Names{"again"}));
    EXPECT_EQ(RegDeleteTreeA(m_base, nullptr), kErrorSuccess);
    EXPECT_TRUE(SubKeys().empty());
    EXPECT_TRUE(ValueNames().empty());
    EXPECT_EQ(SetDword(m_base, "still usable", 1), kErrorSuccess);
}
