// The platform registry calls give Windows' results: the same cases run
// against Wine's registry and against the library's own POSIX registry.
#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace zelk::os;
using zelk::test::KeyHolder;
using zelk::test::TestKeyPath;

auto* const g_environment = ::testing::AddGlobalTestEnvironment(new zelk::test::TestRegistryEnvironment("os"));

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

    long SetDword(HKEY key, char const* name, std::uint32_t value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&value), 4);
    }

    std::string m_path;
    KeyHolder m_base;
};

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    char buffer[300];
    for (std::uint32_t index = 0;; ++index) {
        long const result = RegEnumKeyA(key, index, buffer, sizeof(buffer));
        if (result != kErrorSuccess) {
            EXPECT_EQ(result, kErrorNoMoreItems);
            return names;
        }
        names.emplace_back(buffer);
    }
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    char buffer[300];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t size = sizeof(buffer);
        long const result = RegEnumValueA(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
        if (result != kErrorSuccess) {
            EXPECT_EQ(result, kErrorNoMoreItems);
            return names;
        }
        EXPECT_EQ(size, std::strlen(buffer));
        names.emplace_back(buffer);
    }
}

}  // namespace

TEST_F(RegistryOsTest, KeyPathsFollowWindowsRules) {
    struct Case {
        char const* path;
        bool create;
        long expected;
    };
    Case const cases[] = {
        {"missing", false, kErrorFileNotFound},
        {"missing\\deeper", false, kErrorFileNotFound},
        {"a\\b", true, kErrorSuccess},  // every step on the way is made
        {"a\\b", false, kErrorSuccess},
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
    };
    for (Case const& c : cases) {
        KeyHolder key;
        long const result = c.create ? RegCreateKeyA(m_base, c.path, key.Out()) : RegOpenKeyA(m_base, c.path, key.Out());
        EXPECT_EQ(result, c.expected) << c.path;
        EXPECT_EQ(key.get() != nullptr, c.expected == kErrorSuccess) << c.path;
    }
    EXPECT_EQ(SubKeys(m_base), (std::vector<std::string>{"a", "d", "trail"}));
}

TEST_F(RegistryOsTest, NamesUpToWindowsLimitsWork) {
    std::string const key255(kMaxKeyNameLength, 'k');
    KeyHolder key;
    EXPECT_EQ(RegCreateKeyA(m_base, key255.c_str(), key.Out()), kErrorSuccess);
    EXPECT_EQ(RegOpenKeyA(m_base, key255.c_str(), key.Out()), kErrorSuccess);

    std::string const value16383(kMaxValueNameLength, 'v');
    std::string const value16384(kMaxValueNameLength + 1, 'v');
    EXPECT_EQ(SetDword(m_base, value16383.c_str(), 7), kErrorSuccess);
    EXPECT_EQ(SetDword(m_base, value16384.c_str(), 7), kErrorInvalidParameter);
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(RegQueryValueExA(m_base, value16383.c_str(), nullptr, nullptr, reinterpret_cast<unsigned char*>(&value),
                               &size),
              kErrorSuccess);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(RegQueryValueExA(m_base, value16384.c_str(), nullptr, nullptr, reinterpret_cast<unsigned char*>(&value),
                               &size),
              kErrorFileNotFound);
}

TEST_F(RegistryOsTest, HandlesCloseOnceAndPredefinedRootsStayOpen) {
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), kErrorSuccess);
    KeyHolder again;
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, m_path.c_str(), again.Out()), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(nullptr), kErrorInvalidHandle);

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(m_base, "c", &key), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(key), kErrorInvalidHandle);
    std::uint32_t size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), kErrorInvalidHandle);
    EXPECT_EQ(SetDword(key, "x", 1), kErrorInvalidHandle);
    char buffer[16];
    EXPECT_EQ(RegEnumKeyA(key, 0, buffer, sizeof(buffer)), kErrorInvalidHandle);
    HKEY sub = nullptr;
    EXPECT_EQ(RegOpenKeyA(key, "y", &sub), kErrorInvalidHandle);

    HKEY const notARoot = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000009u)));
    EXPECT_EQ(RegOpenKeyA(notARoot, "x", &sub), kErrorInvalidHandle);
}

TEST_F(RegistryOsTest, EmptySubKeyOpensTheSameHandleAndCreatesANewOne) {
    HKEY same = nullptr;
    ASSERT_EQ(RegOpenKeyA(m_base, "", &same), kErrorSuccess);
    EXPECT_EQ(same, m_base.get());
    ASSERT_EQ(RegOpenKeyA(m_base, nullptr, &same), kErrorSuccess);
    EXPECT_EQ(same, m_base.get());
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "", &same), kErrorSuccess);
    EXPECT_EQ(same, HKEY_CURRENT_USER);

    KeyHolder fresh;
    ASSERT_EQ(RegCreateKeyA(m_base, "", fresh.Out()), kErrorSuccess);
    EXPECT_NE(fresh.get(), m_base.get());
    ASSERT_EQ(SetDword(fresh, "through", 5), kErrorSuccess);
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(RegQueryValueExA(m_base, "through", nullptr, nullptr, reinterpret_cast<unsigned char*>(&value), &size),
              kErrorSuccess);
    EXPECT_EQ(value, 5u);

    KeyHolder duplicate;
    ASSERT_EQ(RegDuplicateKey(m_base, duplicate.Out()), kErrorSuccess);
    EXPECT_NE(duplicate.get(), m_base.get());
    fresh.Reset();
    EXPECT_EQ(RegQueryValueExA(duplicate, "through", nullptr, nullptr, nullptr, &size), kErrorSuccess);
    HKEY root = nullptr;
    ASSERT_EQ(RegDuplicateKey(HKEY_LOCAL_MACHINE, &root), kErrorSuccess);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
}

TEST_F(RegistryOsTest, SubKeysAndValuesEnumerateSortedCaseInsensitively) {
    // Folding to lower case puts '[' and '_' before the letters, and
    // "a_b" before "aB".
    char const* const names[] = {"b", "A", "_x", "a1", "Z", "[q", "a_b", "aB", "~t", "0n"};
    for (char const* name : names) {
        KeyHolder key;
        ASSERT_EQ(RegCreateKeyA(m_base, name, key.Out()), kErrorSuccess);
        ASSERT_EQ(SetDword(m_base, name, 1), kErrorSuccess);
    }
    ASSERT_EQ(RegSetValueExA(m_base, "", 0, REG_SZ, reinterpret_cast<unsigned char const*>("dflt"), 5), kErrorSuccess);
    std::vector<std::string> const sorted = {"0n", "[q", "_x", "A", "a1", "a_b", "aB", "b", "Z", "~t"};
    EXPECT_EQ(SubKeys(m_base), sorted);
    std::vector<std::string> values = {""};
    values.insert(values.end(), sorted.begin(), sorted.end());
    EXPECT_EQ(ValueNames(m_base), values);

    char buffer[300];
    EXPECT_EQ(RegEnumKeyA(m_base, 0, buffer, 2), kErrorMoreData);  // "0n" needs 3 bytes
    EXPECT_EQ(RegEnumKeyA(m_base, 0, buffer, 3), kErrorSuccess);
    EXPECT_EQ(RegEnumKeyA(m_base, 10, buffer, sizeof(buffer)), kErrorNoMoreItems);
    EXPECT_EQ(RegEnumKeyA(m_base, 0xFFFFFFFFu, buffer, sizeof(buffer)), kErrorNoMoreItems);
    std::uint32_t size = 1;  // the default value's empty name fits in one byte
    std::uint32_t type = 0;
    EXPECT_EQ(RegEnumValueA(m_base, 0, buffer, &size, nullptr, &type, nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
    size = 2;
    type = 0;
    EXPECT_EQ(RegEnumValueA(m_base, 1, buffer, &size, nullptr, &type, nullptr, nullptr), kErrorMoreData);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_DWORD));  // the type comes back even so
    size = sizeof(buffer);
    EXPECT_EQ(RegEnumValueA(m_base, 11, buffer, &size, nullptr, nullptr, nullptr, nullptr), kErrorNoMoreItems);
}

TEST_F(RegistryOsTest, EnumValueReturnsTheData) {
    unsigned char const blob[] = {9, 0, 8, 0, 7};
    ASSERT_EQ(RegSetValueExA(m_base, "blob", 0, REG_BINARY, blob, sizeof(blob)), kErrorSuccess);
    char name[16];
    std::uint32_t nameSize = sizeof(name);
    std::uint32_t type = 0;
    unsigned char data[16] = {};
    std::uint32_t dataSize = 2;
    EXPECT_EQ(RegEnumValueA(m_base, 0, name, &nameSize, nullptr, &type, data, &dataSize), kErrorMoreData);
    EXPECT_EQ(dataSize, sizeof(blob));
    nameSize = sizeof(name);
    dataSize = sizeof(data);
    ASSERT_EQ(RegEnumValueA(m_base, 0, name, &nameSize, nullptr, &type, data, &dataSize), kErrorSuccess);
    EXPECT_STREQ(name, "blob");
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_BINARY));
    ASSERT_EQ(dataSize, sizeof(blob));
    EXPECT_EQ(std::memcmp(data, blob, sizeof(blob)), 0);
}

TEST_F(RegistryOsTest, QueryValueFollowsTheBufferRules) {
    ASSERT_EQ(RegSetValueExA(m_base, "Mixed", 0, REG_SZ, reinterpret_cast<unsigned char const*>("abc"), 3),
              kErrorSuccess);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    // No buffer: the size needed.  The text was counted without its
    // terminator; the registry keeps it with one.
    EXPECT_EQ(RegQueryValueExA(m_base, "mixed", nullptr, &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
    // Too small a buffer: more data, with the size and type.
    char buffer[100];
    std::memset(buffer, '#', sizeof(buffer));
    size = 2;
    type = 0;
    EXPECT_EQ(RegQueryValueExA(m_base, "MIXED", nullptr, &type, reinterpret_cast<unsigned char*>(buffer), &size),
              kErrorMoreData);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
    size = sizeof(buffer);
    EXPECT_EQ(RegQueryValueExA(m_base, "MIXED", nullptr, &type, reinterpret_cast<unsigned char*>(buffer), &size),
              kErrorSuccess);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0#", 5));  // nothing written past the value

    EXPECT_EQ(RegQueryValueExA(m_base, "Mixed", nullptr, nullptr, reinterpret_cast<unsigned char*>(buffer), nullptr),
              kErrorInvalidParameter);
    EXPECT_EQ(RegQueryValueExA(m_base, "Mixed", nullptr, nullptr, nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(RegQueryValueExA(m_base, "nope", nullptr, nullptr, nullptr, nullptr), kErrorFileNotFound);
    EXPECT_EQ(RegQueryValueExA(m_base, nullptr, nullptr, nullptr, nullptr, nullptr), kErrorFileNotFound);
    ASSERT_EQ(RegSetValueExA(m_base, nullptr, 0, REG_SZ, reinterpret_cast<unsigned char const*>("dflt"), 5),
              kErrorSuccess);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(m_base, "", nullptr, &type, nullptr, &size), kErrorSuccess);  // null and "" alike
    EXPECT_EQ(size, 5u);

    // A short number reports its own size and fills only that much.
    std::uint16_t const two = 7;
    ASSERT_EQ(RegSetValueExA(m_base, "short", 0, REG_DWORD, reinterpret_cast<unsigned char const*>(&two), 2),
              kErrorSuccess);
    std::uint32_t value = 0xAAAAAAAAu;
    size = 4;
    EXPECT_EQ(RegQueryValueExA(m_base, "short", nullptr, &type, reinterpret_cast<unsigned char*>(&value), &size),
              kErrorSuccess);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(value, 0xAAAA0007u);
}

TEST_F(RegistryOsTest, ValuesKeepTypeBytesAndFirstSpelling) {
    std::string large(100000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7);
    }
    ASSERT_EQ(RegSetValueExA(m_base, "Large", 0, REG_BINARY, reinterpret_cast<unsigned char const*>(large.data()),
                             static_cast<std::uint32_t>(large.size())),
              kErrorSuccess);
    std::string back(large.size(), 'x');
    std::uint32_t size = static_cast<std::uint32_t>(back.size());
    std::uint32_t type = 0;
    ASSERT_EQ(RegQueryValueExA(m_base, "large", nullptr, &type, reinterpret_cast<unsigned char*>(back.data()), &size),
              kErrorSuccess);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_BINARY));
    EXPECT_EQ(back, large);

    // An empty value of any type.
    ASSERT_EQ(RegSetValueExA(m_base, "none", 0, REG_NONE, nullptr, 0), kErrorSuccess);
    size = 10;
    EXPECT_EQ(RegQueryValueExA(m_base, "none", nullptr, &type, reinterpret_cast<unsigned char*>(back.data()), &size),
              kErrorSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_NONE));

    // Overwriting under another spelling keeps the first spelling, takes the
    // new type.
    ASSERT_EQ(RegSetValueExA(m_base, "LARGE", 0, REG_BINARY, reinterpret_cast<unsigned char const*>("xy"), 2),
              kErrorSuccess);
    EXPECT_EQ(ValueNames(m_base), (std::vector<std::string>{"Large", "none"}));
    KeyHolder key;
    ASSERT_EQ(RegCreateKeyA(m_base, "mixedKEY", key.Out()), kErrorSuccess);
    ASSERT_EQ(RegCreateKeyA(m_base, "MIXEDKEY", key.Out()), kErrorSuccess);
    EXPECT_EQ(SubKeys(m_base), (std::vector<std::string>{"mixedKEY"}));
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
    std::uint32_t size = 4;
    std::uint32_t value = 0;
    EXPECT_EQ(RegQueryValueExA(doomed, "x", nullptr, nullptr, reinterpret_cast<unsigned char*>(&value), &size),
              kErrorKeyDeleted);
    EXPECT_EQ(SetDword(doomed, "x", 1), kErrorKeyDeleted);
    char buffer[16];
    EXPECT_EQ(RegEnumKeyA(doomed, 0, buffer, sizeof(buffer)), kErrorKeyDeleted);
    size = sizeof(buffer);
    EXPECT_EQ(RegEnumValueA(doomed, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr), kErrorKeyDeleted);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyA(doomed, "x", &sub), kErrorKeyDeleted);
    EXPECT_EQ(RegOpenKeyA(doomed, "x", &sub), kErrorKeyDeleted);
    EXPECT_EQ(RegCloseKey(doomed.Release()), kErrorSuccess);

    // A tree goes whole; without a sub-key only what is below goes.
    {
        KeyHolder deep;
        ASSERT_EQ(RegCreateKeyA(m_base, "tree\\x\\y", deep.Out()), kErrorSuccess);
        ASSERT_EQ(SetDword(deep, "v", 1), kErrorSuccess);
        ASSERT_EQ(SetDword(m_base, "kept?", 1), kErrorSuccess);
    }
    EXPECT_EQ(RegDeleteTreeA(m_base, "tree"), kErrorSuccess);
    KeyHolder gone;
    EXPECT_EQ(RegOpenKeyA(m_base, "tree", gone.Out()), kErrorFileNotFound);
    {
        KeyHolder again;
        ASSERT_EQ(RegCreateKeyA(m_base, "again\\below", again.Out()), kErrorSuccess);
    }
    EXPECT_EQ(RegDeleteTreeA(m_base, nullptr), kErrorSuccess);
    EXPECT_TRUE(SubKeys(m_base).empty());
    EXPECT_TRUE(ValueNames(m_base).empty());
    EXPECT_EQ(SetDword(m_base, "still usable", 1), kErrorSuccess);
}
