// FReg over the platform's registry: the real one under Wine, the library's
// own database on POSIX.  Odd value types are seeded through the platform
// layer, since FReg itself writes only numbers and texts.
#include <zelk/freg.h>

#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using zelk::test::KeyHolder;
using zelk::test::TestKeyPath;

auto* const g_environment = ::testing::AddGlobalTestEnvironment(new zelk::test::TestRegistryEnvironment("freg"));

class FRegTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string const name = TestKeyPath() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_path = name;
        zelk::os::RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
        ASSERT_EQ(zelk::os::RegCreateKeyA(HKEY_CURRENT_USER, m_path.c_str(), m_base.Out()), zelk::os::kErrorSuccess);
    }
    void TearDown() override {
        m_base.Reset();
        zelk::os::RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
    }

    // The path of `sub` below this test's key, from HKEY_CURRENT_USER.
    std::string Path(char const* sub = nullptr) const { return sub ? m_path + "\\" + sub : m_path; }

    void MakeKeys(std::vector<char const*> const& names) {
        for (char const* name : names) {
            KeyHolder key;
            ASSERT_EQ(zelk::os::RegCreateKeyA(m_base, name, key.Out()), zelk::os::kErrorSuccess) << name;
        }
    }

    void SetRaw(char const* name, std::uint32_t type, void const* data, std::uint32_t size) {
        ASSERT_EQ(zelk::os::RegSetValueExA(m_base, name, 0, type, static_cast<unsigned char const*>(data), size),
                  zelk::os::kErrorSuccess);
    }

    std::string m_path;
    KeyHolder m_base;
};

// Every name a walk returns, as the last step of its path.
std::vector<std::string> Walk(FReg& reg, char const* mask, int limit) {
    std::vector<std::string> names;
    for (int guard = 0; guard < 1000; ++guard) {
        HKEY key = reg.FindSubKey(mask, limit);
        if (!key) {
            return names;
        }
        // The handle must be open and usable; the name is in a value each
        // key carries (set by MakeNamedTree).
        FReg view(key, "", false);
        names.push_back(std::string(view.GetString("name", "?")));
    }
    ADD_FAILURE() << "the walk does not end";
    return names;
}

}  // namespace

TEST_F(FRegTest, EmptyNameBorrowsTheGivenKeyAndNeverClosesIt) {
    {
        FReg borrowed(m_base, "", false);
        EXPECT_TRUE(borrowed.IsValid());
        EXPECT_EQ(static_cast<HKEY>(borrowed), m_base.get());
        EXPECT_TRUE(borrowed.SetDWORD("direct", 17));
    }
    // The borrowed handle outlives the wrapper.
    FReg again(m_base, "", false);
    EXPECT_EQ(again.GetDWORD("direct", 0), 17u);

    // A predefined root works the same way: values right under it.
    {
        FReg root(HKEY_CURRENT_USER, "", false);
        EXPECT_EQ(static_cast<HKEY>(root), HKEY_CURRENT_USER);
        FReg sub(HKEY_CURRENT_USER, BinChar(Path().c_str()), false);
        EXPECT_EQ(sub.GetDWORD("direct", 0), 17u);
    }
    FReg stillThere(HKEY_CURRENT_USER, BinChar(Path().c_str()), false);
    EXPECT_TRUE(stillThere.IsValid());
}

TEST_F(FRegTest, MissingKeyIsInvalidAndEverythingDefaults) {
    FReg missing(m_base, "absent\\deeper", false);
    EXPECT_FALSE(missing.IsValid());
    EXPECT_EQ(static_cast<HKEY>(missing), nullptr);
    EXPECT_EQ(missing.GetDWORD("x", 99), 99u);
    EXPECT_EQ(missing.GetInt("x", 5), 5);
    EXPECT_EQ(std::string(missing.GetString("x", "fallback")), "fallback");
    EXPECT_FALSE(missing.SetDWORD("x", 1));
    EXPECT_FALSE(missing.SetString("x", "y"));
    BinChar name("untouched");
    int index = 0;
    EXPECT_FALSE(missing.FindKeys("*", name, index));
    EXPECT_FALSE(missing.FindValues("*", name, index, nullptr));
    EXPECT_EQ(std::string(name), "untouched");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(missing.FindSubKey("*", 8), nullptr);
    // Opening without create made nothing.
    KeyHolder probe;
    EXPECT_EQ(zelk::os::RegOpenKeyA(m_base, "absent", probe.Out()), zelk::os::kErrorFileNotFound);
}

TEST_F(FRegTest, CreateMakesTheKeyWithEveryStepOnTheWay) {
    {
        FReg made(m_base, "new\\deeper", true);
        ASSERT_TRUE(made.IsValid());
        EXPECT_TRUE(made.SetDWORD("n", 3));
    }
    FReg opened(m_base, "NEW\\Deeper", false);  // names compare case-insensitively
    ASSERT_TRUE(opened.IsValid());
    EXPECT_EQ(opened.GetDWORD("n", 0), 3u);
    // Create on an existing key opens it.
    FReg reopened(m_base, "new\\deeper", true);
    EXPECT_EQ(reopened.GetDWORD("N", 0), 3u);
}

TEST_F(FRegTest, GetDWORDReadsOnlyFourByteNumbers) {
    FReg reg(m_base, "", false);
    ASSERT_TRUE(reg.SetDWORD("number", 0x12345678));
    ASSERT_TRUE(reg.SetString("text", "1234"));
    std::uint32_t const four = 0x01020304;
    SetRaw("binary4", REG_BINARY, &four, 4);
    std::uint64_t const eight = 0x1122334455667788ull;
    SetRaw("dword8", REG_DWORD, &eight, 8);
    std::uint16_t const two = 7;
    SetRaw("dword2", REG_DWORD, &two, 2);

    struct Case {
        char const* name;
        unsigned long expected;
    };
    Case const cases[] = {
        {"number", 0x12345678ul}, {"NUMBER", 0x12345678ul}, {"text", 77ul},
        {"binary4", 77ul},        {"missing", 77ul},         {"dword8", 77ul},
        {"dword2", 7ul},  // a short number reads zero-extended
    };
    for (Case const& c : cases) {
        EXPECT_EQ(reg.GetDWORD(c.name, 77), c.expected) << c.name;
    }
}

TEST_F(FRegTest, NumbersAreThirtyTwoBitsAndGetIntReinterpretsThem) {
    FReg reg(m_base, "", false);
    ASSERT_TRUE(reg.SetDWORD("max", 0xFFFFFFFFul));
    EXPECT_EQ(reg.GetDWORD("max", 0), 0xFFFFFFFFul);
    EXPECT_EQ(reg.GetInt("max", 0), -1);
    EXPECT_EQ(reg.GetInt("missing", 0xFFFFFFFEul), -2);
    ASSERT_TRUE(reg.SetDWORD("zero", 0));
    EXPECT_EQ(reg.GetDWORD("zero", 5), 0u);
    if constexpr (sizeof(unsigned long) > 4) {
        // Only the low 32 bits are stored where unsigned long is wider.
        unsigned long const wide = static_cast<unsigned long>(0x1ABCDEF01ull);
        ASSERT_TRUE(reg.SetDWORD("wide", wide));
        EXPECT_EQ(reg.GetDWORD("wide", 0), 0xABCDEF01ul);
        std::uint32_t size = 0;
        EXPECT_EQ(zelk::os::RegQueryValueExA(m_base, "wide", nullptr, nullptr, nullptr, &size), zelk::os::kErrorSuccess);
        EXPECT_EQ(size, 4u);
    }
}

TEST_F(FRegTest, GetStringReadsOnlyTextsThatFitItsBuffer) {
    FReg reg(m_base, "", false);
    ASSERT_TRUE(reg.SetString("text", "hello"));
    ASSERT_TRUE(reg.SetDWORD("number", 5));
    std::string const fits(FReg::kStringBufferSize - 1, 'f');   // with its terminator: 8192 bytes
    std::string const tooLong(FReg::kStringBufferSize, 'l');    // 8193 bytes with the terminator
    SetRaw("fits", REG_SZ, fits.c_str(), static_cast<std::uint32_t>(fits.size() + 1));
    SetRaw("tooLong", REG_SZ, tooLong.c_str(), static_cast<std::uint32_t>(tooLong.size() + 1));
    SetRaw("expand", REG_EXPAND_SZ, "%PATH%", 7);
    SetRaw("multi", REG_MULTI_SZ, "a\0b\0", 5);
    SetRaw("embedded", REG_SZ, "ab\0cd", 6);
    SetRaw("empty", REG_SZ, "", 1);

    struct Case {
        char const* name;
        std::string expected;
    };
    Case const cases[] = {
        {"text", "hello"},   {"TEXT", "hello"},       {"number", "default"}, {"missing", "default"},
        {"fits", fits},      {"tooLong", "default"},  {"expand", "default"}, {"multi", "default"},
        {"embedded", "ab"},  {"empty", ""},
    };
    for (Case const& c : cases) {
        BinChar const got = reg.GetString(c.name, "default");
        EXPECT_EQ(std::string(got), c.expected) << c.name;
        EXPECT_EQ(got.len(), static_cast<int>(c.expected.size())) << c.name;
    }
}

TEST_F(FRegTest, GetStringEndsAnUnterminatedTextAtTheSizeStored) {
    FReg reg(m_base, "", false);
    // The byte after the counted ones is not zero, so nothing adds a
    // terminator: the value is stored as exactly these bytes.
    char const bytes[] = "abcX";
    SetRaw("short", REG_SZ, bytes, 3);
    EXPECT_EQ(std::string(reg.GetString("short", "d")), "abc");

    // A full buffer without any zero byte: no byte past it may be read.
    std::vector<char> full(FReg::kStringBufferSize + 1, 'z');
    full.back() = 'Q';
    SetRaw("full", REG_SZ, full.data(), FReg::kStringBufferSize);
    BinChar const got = reg.GetString("full", "d");
    EXPECT_EQ(got.len(), FReg::kStringBufferSize);
    EXPECT_EQ(std::string(got), std::string(FReg::kStringBufferSize, 'z'));
}

TEST_F(FRegTest, SetStringStoresTheTextAsAString) {
    FReg reg(m_base, "", false);
    ASSERT_TRUE(reg.SetString("s", "abc"));
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(zelk::os::RegQueryValueExA(m_base, "s", nullptr, &type, nullptr, &size), zelk::os::kErrorSuccess);
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
    // The size passed leaves the terminator out; the platform keeps it.
    EXPECT_EQ(size, 4u);
    ASSERT_TRUE(reg.SetString("s", ""));
    EXPECT_EQ(std::string(reg.GetString("s", "d")), "");
    // A later SetDWORD changes the type: the text getter then defaults.
    ASSERT_TRUE(reg.SetDWORD("S", 1));
    EXPECT_EQ(std::string(reg.GetString("s", "d")), "d");
}

TEST_F(FRegTest, FindKeysListsDirectSubKeysOnceInEnumerationOrder) {
    MakeKeys({"beta", "Alpha", "_under", "gamma\\nested", "alpha2"});
    FReg reg(m_base, "", false);
    std::vector<std::string> listed;
    BinChar name;
    int index = 0;
    while (reg.FindKeys("*", name, index)) {
        listed.push_back(std::string(name));
        ASSERT_LT(listed.size(), 10u);
    }
    std::vector<std::string> const expected = {"_under", "Alpha", "alpha2", "beta", "gamma"};
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(index, 5);
    // At its end the index stays there and the listing stays over.
    EXPECT_FALSE(reg.FindKeys("*", name, index));
    EXPECT_FALSE(reg.FindKeys("*", name, index));
    EXPECT_EQ(index, 5);

    // A mask passes over what does not fit; the index moves past it.
    listed.clear();
    index = 0;
    while (reg.FindKeys("a*", name, index)) {
        listed.push_back(std::string(name));
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"Alpha", "alpha2"}));
    index = 0;
    ASSERT_TRUE(reg.FindKeys("B*", name, index));
    EXPECT_EQ(std::string(name), "beta");
    EXPECT_EQ(index, 4);
}

TEST_F(FRegTest, FindValuesListsNamesWithTheirTypes) {
    FReg reg(m_base, "", false);
    ASSERT_TRUE(reg.SetDWORD("count", 1));
    ASSERT_TRUE(reg.SetString("Title", "t"));
    std::uint8_t const blob[] = {0, 1, 2};
    SetRaw("blob", REG_BINARY, blob, sizeof(blob));
    ASSERT_TRUE(reg.SetString("", "default value"));

    struct Found {
        std::string name;
        unsigned long type;
        bool operator==(Found const& other) const { return name == other.name && type == other.type; }
    };
    std::vector<Found> listed;
    BinChar name;
    int index = 0;
    unsigned long type = 999;
    while (reg.FindValues("*", name, index, &type)) {
        listed.push_back({std::string(name), type});
        ASSERT_LT(listed.size(), 10u);
    }
    std::vector<Found> const expected = {
        {"", REG_SZ}, {"blob", REG_BINARY}, {"count", REG_DWORD}, {"Title", REG_SZ}};
    EXPECT_EQ(listed, expected);

    index = 0;
    ASSERT_TRUE(reg.FindValues("t*", name, index, nullptr));  // the type may be left out
    EXPECT_EQ(std::string(name), "Title");
    EXPECT_FALSE(reg.FindValues("t*", name, index, nullptr));
}

TEST_F(FRegTest, FindValuesStopsAtANameLongerThanItsBuffer) {
    FReg reg(m_base, "", false);
    std::string const longName(FReg::kNameBufferSize, 'b');
    ASSERT_TRUE(reg.SetDWORD("a", 1));
    ASSERT_TRUE(reg.SetDWORD(longName.c_str(), 2));
    ASSERT_TRUE(reg.SetDWORD("c", 3));
    BinChar name;
    int index = 0;
    ASSERT_TRUE(reg.FindValues("*", name, index, nullptr));
    EXPECT_EQ(std::string(name), "a");
    EXPECT_FALSE(reg.FindValues("*", name, index, nullptr));
    // The value itself is still there to read by name.
    EXPECT_EQ(reg.GetDWORD(longName.c_str(), 0), 2u);
}

namespace {

// Makes each key of `paths` (below `base`) with a value "name" holding its
// last step, so a walk can say which key it returned.
void MakeNamedTree(HKEY base, std::vector<std::string> const& paths) {
    for (std::string const& path : paths) {
        FReg key(base, BinChar(path.c_str()), true);
        ASSERT_TRUE(key.IsValid()) << path;
        std::string const last = path.substr(path.rfind('\\') + 1);
        ASSERT_TRUE(key.SetString("name", BinChar(last.c_str())));
    }
}

}  // namespace

TEST_F(FRegTest, FindSubKeyWalksTwoLevelsThenEnds) {
    MakeNamedTree(m_base, {"a", "a\\b"});
    FReg reg(m_base, "", false);
    EXPECT_EQ(Walk(reg, "*", 2), (std::vector<std::string>{"a", "b"}));
    // Over means over.
    EXPECT_EQ(reg.FindSubKey("*", 2), nullptr);
    EXPECT_EQ(reg.FindSubKey("*", 8), nullptr);
}

TEST_F(FRegTest, FindSubKeyWithLimitOneReturnsOnlyDirectSubKeys) {
    MakeNamedTree(m_base, {"a", "a\\a1", "a\\a1\\a11", "b", "b\\b1", "c"});
    FReg reg(m_base, "", false);
    EXPECT_EQ(Walk(reg, "*", 1), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(FRegTest, FindSubKeyWalksInPreOrderWithinTheLimit) {
    std::vector<std::string> const tree = {"A", "A\\A1", "A\\A1\\A11", "A\\A2", "B", "B\\B1", "C"};
    struct Case {
        char const* mask;
        int limit;
        std::vector<std::string> expected;
    };
    Case const cases[] = {
        {"*", 8, {"A", "A1", "A11", "A2", "B", "B1", "C"}},
        {"*", 3, {"A", "A1", "A11", "A2", "B", "B1", "C"}},
        {"*", 2, {"A", "A1", "A2", "B", "B1", "C"}},
        {"A*", 8, {"A", "A1", "A11", "A2"}},
        // The mask's star takes up to the first "1", so "A11" does not fit.
        {"*1", 8, {"A1", "B1"}},
        // A fitting name one level below the limit is read but not opened:
        // it is passed over, and the walk goes on to the end.
        {"*1", 1, {}},
        {"?2", 2, {"A2"}},
        {"nothing", 8, {}},
    };
    MakeNamedTree(m_base, tree);
    for (Case const& c : cases) {
        FReg reg(m_base, "", false);  // each wrapper walks once
        EXPECT_EQ(Walk(reg, c.mask, c.limit), c.expected) << c.mask << " limit " << c.limit;
    }
}

TEST_F(FRegTest, FindSubKeyClampsItsLimitToEightLevels) {
    std::vector<std::string> chain;
    std::string path;
    for (int level = 1; level <= 12; ++level) {
        path += (path.empty() ? "" : "\\") + std::string("k") + std::to_string(level);
        chain.push_back(path);
    }
    MakeNamedTree(m_base, chain);
    FReg reg(m_base, "", false);
    EXPECT_EQ(Walk(reg, "*", 1000),
              (std::vector<std::string>{"k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8"}));
}

TEST_F(FRegTest, WalkOnAnInvalidWrapperEndsAtOnce) {
    FReg missing(m_base, "absent", false);
    EXPECT_EQ(missing.FindSubKey("*", 3), nullptr);
}

TEST_F(FRegTest, DestructionClosesTheKeysAnUnfinishedWalkHolds) {
    MakeNamedTree(m_base, {"a", "a\\b", "a\\b\\c"});
    HKEY deepest = nullptr;
    {
        FReg reg(m_base, "", false);
        ASSERT_NE(reg.FindSubKey("*", 8), nullptr);
        ASSERT_NE(reg.FindSubKey("*", 8), nullptr);
        deepest = reg.FindSubKey("*", 8);
        ASSERT_NE(deepest, nullptr);
        std::uint32_t size = 0;
        EXPECT_EQ(zelk::os::RegQueryValueExA(deepest, "name", nullptr, nullptr, nullptr, &size),
                  zelk::os::kErrorSuccess);
    }
    std::uint32_t size = 0;
    EXPECT_EQ(zelk::os::RegQueryValueExA(deepest, "name", nullptr, nullptr, nullptr, &size),
              zelk::os::kErrorInvalidHandle);
}

TEST_F(FRegTest, CopiesHoldTheSameKeyThroughHandlesOfTheirOwn) {
    auto* original = new FReg(m_base, "copied", true);
    ASSERT_TRUE(original->SetDWORD("v", 41));
    FReg copy(*original);
    EXPECT_TRUE(copy.IsValid());
    EXPECT_NE(static_cast<HKEY>(copy), static_cast<HKEY>(*original));
    HKEY const originalHandle = *original;
    delete original;
    // The original's handle is closed exactly once; the copy's is still open.
    std::uint32_t size = 0;
    EXPECT_EQ(zelk::os::RegQueryValueExA(originalHandle, "v", nullptr, nullptr, nullptr, &size),
              zelk::os::kErrorInvalidHandle);
    EXPECT_EQ(copy.GetDWORD("v", 0), 41u);
    EXPECT_TRUE(copy.SetDWORD("v", 42));

    FReg target(m_base, "other", true);
    ASSERT_TRUE(target.SetDWORD("v", 1));
    HKEY const targetHandle = target;
    target = copy;
    EXPECT_EQ(target.GetDWORD("v", 0), 42u);
    // Assignment closed the target's previous key.
    EXPECT_EQ(zelk::os::RegQueryValueExA(targetHandle, "v", nullptr, nullptr, nullptr, &size),
              zelk::os::kErrorInvalidHandle);
    FReg const& same = target;
    target = same;  // self-assignment keeps the key
    EXPECT_EQ(target.GetDWORD("v", 0), 42u);

    // A copy of a borrowing wrapper borrows too, and an invalid one stays invalid.
    FReg borrowed(m_base, "", false);
    FReg borrowedCopy(borrowed);
    EXPECT_EQ(static_cast<HKEY>(borrowedCopy), m_base.get());
    FReg missing(m_base, "absent", false);
    FReg missingCopy(missing);
    EXPECT_FALSE(missingCopy.IsValid());
}

TEST_F(FRegTest, ACopyTakenMidWalkWalksOnByItself) {
    MakeNamedTree(m_base, {"a", "a\\b", "a\\b\\c", "d"});
    FReg reg(m_base, "", false);
    ASSERT_NE(reg.FindSubKey("*", 8), nullptr);  // a
    ASSERT_NE(reg.FindSubKey("*", 8), nullptr);  // b
    FReg copy(reg);
    EXPECT_EQ(Walk(reg, "*", 8), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(Walk(copy, "*", 8), (std::vector<std::string>{"c", "d"}));
    FReg assigned(m_base, "", false);
    FReg half(m_base, "", false);
    ASSERT_NE(half.FindSubKey("*", 8), nullptr);  // a
    assigned = half;
    EXPECT_EQ(Walk(half, "*", 8), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(Walk(assigned, "*", 8), (std::vector<std::string>{"b", "c", "d"}));
}

TEST_F(FRegTest, AKeyDeletedUnderneathDefaultsEverything) {
    FReg reg(m_base, "doomed", true);
    ASSERT_TRUE(reg.SetDWORD("v", 1));
    ASSERT_EQ(zelk::os::RegDeleteTreeA(m_base, "doomed"), zelk::os::kErrorSuccess);
    EXPECT_TRUE(reg.IsValid());  // the handle is still open
    EXPECT_EQ(reg.GetDWORD("v", 9), 9u);
    EXPECT_FALSE(reg.SetDWORD("v", 2));
    EXPECT_FALSE(reg.SetString("s", "x"));
    BinChar name;
    int index = 0;
    EXPECT_FALSE(reg.FindKeys("*", name, index));
    EXPECT_FALSE(reg.FindValues("*", name, index, nullptr));
    EXPECT_EQ(reg.FindSubKey("*", 2), nullptr);
}
