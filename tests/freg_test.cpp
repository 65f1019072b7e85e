// FReg over the platform's registry: the real one under Wine, the library's
// own database on POSIX.  Odd value types are seeded through the platform
// layer, since FReg itself writes only numbers and texts.
#include <zelk/freg.h>

#include "registry_test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;
using namespace std::string_literals;

class FRegTest : public zelk::test::RegistryKeyTest {
protected:
    void SetRaw(char const* name, std::uint32_t type, void const* data, std::uint32_t size) {
        ASSERT_EQ(zelk::os::RegSetValueExA(m_base, name, 0, type, static_cast<unsigned char const*>(data), size),
                  zelk::os::kErrorSuccess);
    }
    // Each key of `paths` gets a value "name" holding its last step, so a walk can say which key it returned.
    void MakeNamedTree(Names const& paths) {
        for (std::string const& path : paths)
            ASSERT_TRUE(FReg(m_base, BinChar(path.c_str()), true)
                            .SetString("name", BinChar(path.substr(path.rfind('\\') + 1).c_str())));
    }
};

// A wrapper on a key that is missing or gone: reads give their defaults,
// writes and walks fail, output arguments stay untouched.
void ExpectAllDefaults(FReg& reg) {
    EXPECT_EQ(reg.GetDWORD("x", 99), 99u);
    EXPECT_EQ(std::string(reg.GetString("x", "fallback")), "fallback");
    EXPECT_FALSE(reg.SetDWORD("x", 1) || reg.SetString("x", "y"));
    BinChar name("untouched");
    int index = 0;
    EXPECT_FALSE(reg.FindKeys("*", name, index));
    EXPECT_FALSE(reg.FindValues("*", name, index, nullptr));
    EXPECT_EQ(std::string(name), "untouched");
    EXPECT_EQ(reg.FindSubKey("*", 8), nullptr);
}

// Every name a walk returns; each handle must be open and usable.
Names Walk(FReg& reg, char const* mask, int limit) {
    Names names;
    for (HKEY key; names.size() < 100 && (key = reg.FindSubKey(mask, limit));)
        names.push_back(std::string(FReg(key, "", false).GetString("name", "?")));
    EXPECT_EQ(reg.FindSubKey(mask, limit), nullptr) << "a walk that is over stays over";
    return names;
}

bool IsOpen(HKEY key) {
    std::uint32_t size = 0;
    return zelk::os::RegQueryValueExA(key, "name", nullptr, nullptr, nullptr, &size) != zelk::os::kErrorInvalidHandle;
}

}  // namespace

TEST_F(FRegTest, OpeningBorrowingAndCreating) {
    {
        FReg borrowed(m_base, "", false);
        EXPECT_EQ(static_cast<HKEY>(borrowed), m_base.get());
        EXPECT_TRUE(borrowed.SetDWORD("direct", 17));
    }
    EXPECT_EQ(FReg(m_base, "", false).GetDWORD("direct", 0), 17u);  // the borrowed handle was not closed

    FReg missing(m_base, "absent\\deeper", false);
    EXPECT_FALSE(missing.IsValid());
    ExpectAllDefaults(missing);
    EXPECT_FALSE(FReg(m_base, "absent", false).IsValid());  // opening without create made nothing
    ASSERT_TRUE(FReg(m_base, "new\\deeper", true).SetDWORD("n", 3));  // every step on the way is made
    EXPECT_EQ(FReg(m_base, "NEW\\Deeper", true).GetDWORD("N", 0), 3u);  // create opens an existing key

    // A key deleted underneath an open wrapper: the handle stays open, all else fails.
    FReg doomed(m_base, "doomed", true);
    ASSERT_EQ(zelk::os::RegDeleteTreeA(m_base, "doomed"), zelk::os::kErrorSuccess);
    EXPECT_TRUE(doomed.IsValid());
    ExpectAllDefaults(doomed);
}

TEST_F(FRegTest, GettersReadOnlyTheirOwnTypeAndSize) {
    FReg reg(m_base, "", false);
    ASSERT_TRUE(reg.SetDWORD("max", 0xFFFFFFFFul));
    ASSERT_TRUE(reg.SetString("text", "hello"));
    ASSERT_TRUE(reg.SetString("empty", ""));
    // A literal 0 for a text is no text, as in C; an int variable is its decimal text.
    int const seven = 7;
    ASSERT_TRUE(reg.SetString("zero", 0) && reg.SetString("seven", seven));
    std::string const fits(FReg::kStringBufferSize - 1, 'f');  // 8192 bytes with its terminator
    std::string const tooLong(FReg::kStringBufferSize, 'l');
    // Counted without a terminator while the next byte is not zero (a full
    // buffer, too): nothing past the count may be read.
    std::string const full(FReg::kStringBufferSize, 'z');
    SetRaw("unterminated", REG_SZ, "abcX", 3);
    SetRaw("full", REG_SZ, (full + 'Q').data(), FReg::kStringBufferSize);
    // clang-format off
    struct Case { char const* name; std::uint32_t type; std::string raw; unsigned long number; std::string text; };
    Case const cases[] = {  // type REG_NONE: written above, or missing; defaults 77 and "default"
        {"max", REG_NONE, "", 0xFFFFFFFFul, "default"},     {"text", REG_NONE, "", 77, "hello"},
        {"empty", REG_NONE, "", 77, ""},                     {"missing", REG_NONE, "", 77, "default"},
        {"binary4", REG_BINARY, "\4\3\2\1", 77, "default"}, {"dword8", REG_DWORD, "\1\2\3\4\5\6\7\10", 77, "default"},
        {"dword2", REG_DWORD, "\7\0"s, 7, "default"},  // a short number reads zero-extended
        {"fits", REG_SZ, fits + '\0', 77, fits},            {"tooLong", REG_SZ, tooLong + '\0', 77, "default"},
        {"multi", REG_MULTI_SZ, "a\0b\0\0"s, 77, "default"}, {"embedded", REG_SZ, "ab\0cd\0"s, 77, "ab"},
        {"unterminated", REG_NONE, "", 77, "abc"},          {"full", REG_NONE, "", 77, full},
        {"zero", REG_NONE, "", 77, ""},                      {"seven", REG_NONE, "", 77, "7"},
    };
    // clang-format on
    for (Case const& c : cases) {
        if (c.type != REG_NONE) SetRaw(c.name, c.type, c.raw.data(), static_cast<std::uint32_t>(c.raw.size()));
    }
    for (Case const& c : cases) {
        EXPECT_EQ(reg.GetDWORD(c.name, 77), c.number) << c.name;
        BinChar const got = reg.GetString(c.name, "default");
        EXPECT_EQ(std::string(static_cast<char const*>(got), static_cast<std::size_t>(got.len())), c.text) << c.name;
    }
    EXPECT_EQ(reg.GetInt("max", 0), -1);
    EXPECT_EQ(std::string(reg.GetString("missing", 0)), "");
    EXPECT_EQ(std::string(reg.GetString("missing", seven)), "7");
    // Numbers are stored in 4 bytes: only the low 32 bits where unsigned long is wider.
    ASSERT_TRUE(reg.SetDWORD("wide", static_cast<unsigned long>(0x1ABCDEF01ull)));
    EXPECT_EQ(reg.GetDWORD("wide", 0), 0xABCDEF01ul);
}

TEST_F(FRegTest, FindKeysAndFindValuesListInEnumerationOrder) {
    MakeNamedTree({"beta", "Alpha", "_under", "gamma\\nested", "alpha2"});
    FReg reg(m_base, "", false);
    std::vector<unsigned long> types;
    auto const list = [&](bool values, char const* mask) {
        Names listed;
        BinChar name;
        unsigned long type = 999;
        for (int index = 0; listed.size() < 10 &&
                            (values ? reg.FindValues(mask, name, index, &type) : reg.FindKeys(mask, name, index));) {
            listed.push_back(std::string(name));
            types.push_back(type);
        }
        return listed;
    };
    EXPECT_EQ(list(false, "*"), (Names{"_under", "Alpha", "alpha2", "beta", "gamma"}));
    BinChar name;
    int index = 0;
    ASSERT_TRUE(reg.FindKeys("B*", name, index));  // the index moves past what does not fit
    EXPECT_EQ(std::string(name), "beta");
    EXPECT_EQ(index, 4);
    index = 5;  // at its end the listing stays over
    EXPECT_FALSE(reg.FindKeys("*", name, index) || reg.FindKeys("*", name, index));
    EXPECT_EQ(index, 5);

    ASSERT_TRUE(reg.SetDWORD("count", 1));
    ASSERT_TRUE(reg.SetString("Title", "t"));
    ASSERT_TRUE(reg.SetString("", "default value"));
    SetRaw("blob", REG_BINARY, "\0\1\2", 3);
    std::string const tooLong(FReg::kNameBufferSize, 'u');  // the listing stops there, before "zz"
    ASSERT_TRUE(reg.SetDWORD(tooLong.c_str(), 2));
    ASSERT_TRUE(reg.SetDWORD("zz", 3));
    types.clear();
    EXPECT_EQ(list(true, "*"), (Names{"", "blob", "count", "Title"}));
    EXPECT_EQ(types, (std::vector<unsigned long>{REG_SZ, REG_BINARY, REG_DWORD, REG_SZ}));
    index = 0;
    ASSERT_TRUE(reg.FindValues("t*", name, index, nullptr));  // the type may be left out
    EXPECT_EQ(std::string(name), "Title");
}

TEST_F(FRegTest, FindSubKeyWalksInPreOrderWithinTheLimit) {
    Names tree = {"A", "A\\A1", "A\\A1\\A11", "A\\A2", "B", "B\\B1", "C"};
    for (std::string chain = "k1"; tree.size() < 19; chain += "\\k" + std::to_string(tree.size() - 6))
        tree.push_back(chain);
    MakeNamedTree(tree);  // plus a chain k1\k2\...\k12
    // clang-format off
    struct Case { char const* mask; int limit; Names expected; };
    Case const cases[] = {
        {"*", 8, {"A", "A1", "A11", "A2", "B", "B1", "C", "k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8"}},
        {"*", 2, {"A", "A1", "A2", "B", "B1", "C", "k1", "k2"}}, {"*", 1, {"A", "B", "C", "k1"}},
        {"*1", 8, {"A1", "B1", "k1"}},  // the star takes up to the first "1": "A11" does not fit
        // A fitting name one level below the limit is read but not opened:
        // it is passed over, and the walk goes on to the end.
        {"*1", 1, {"k1"}}, {"nothing", 8, {}},
        {"k*", 1000, {"k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8"}},  // clamped to eight levels
    };
    // clang-format on
    for (Case const& c : cases) {
        FReg reg(m_base, "", false);  // each wrapper walks once
        EXPECT_EQ(Walk(reg, c.mask, c.limit), c.expected) << c.mask << " limit " << c.limit;
    }
}

TEST_F(FRegTest, CopiesAndWalksCloseEachHandleOnce) {
    MakeNamedTree({"a", "a\\b", "a\\b\\c", "d"});
    auto* original = new FReg(m_base, "a", false);
    FReg copy(*original);
    HKEY const originalHandle = *original;
    delete original;
    EXPECT_FALSE(IsOpen(originalHandle));
    EXPECT_EQ(std::string(copy.GetString("name", "")), "a");
    FReg target(m_base, "d", false);
    HKEY const targetHandle = target;
    target = copy;
    EXPECT_FALSE(IsOpen(targetHandle));  // assignment closed the previous key
    target = static_cast<FReg const&>(target);
    EXPECT_EQ(std::string(target.GetString("name", "")), "a");
    FReg borrowed(m_base, "", false);
    EXPECT_EQ(static_cast<HKEY>(FReg(borrowed)), m_base.get());  // a copy of a borrower borrows

    // A copy taken mid-walk walks on by itself.
    FReg reg(m_base, "", false);
    ASSERT_NE(reg.FindSubKey("*", 8), nullptr);  // a
    ASSERT_NE(reg.FindSubKey("*", 8), nullptr);  // b
    FReg midCopy(reg);
    EXPECT_EQ(Walk(reg, "*", 8), (Names{"c", "d"}));
    EXPECT_EQ(Walk(midCopy, "*", 8), (Names{"c", "d"}));

    // Destruction closes the keys an unfinished walk holds.
    HKEY first = nullptr, deepest = nullptr;
    {
        FReg walker(m_base, "", false);
        first = walker.FindSubKey("*", 8);
        for (int step = 1; step < 3; ++step) deepest = walker.FindSubKey("*", 8);
        ASSERT_TRUE(first && deepest && IsOpen(first) && IsOpen(deepest));
    }
    EXPECT_FALSE(IsOpen(first) || IsOpen(deepest));  // each level, the first too
}

// 64-bit numbers, bytes, lists of texts, whether a value exists, deletions
// and the last failure's code.
TEST_F(FRegTest, TypesDeletionsAndTheLastError) {
    auto const bytes = [](BinChar const& data) { return std::string(data, static_cast<std::size_t>(data.len())); };
    FReg reg(m_base, "", false);
    std::string const big(20000, 'b');
    ASSERT_TRUE(reg.SetQWORD("q", 0x123456789ull) && reg.SetBinary("bin", BinChar(big.data(), 20000)) &&
                reg.SetMultiString("multi", BinChar("a\0bc", 4)) && reg.SetDWORD("d", 5));
    EXPECT_EQ(reg.GetQWORD("q", 1) + reg.GetQWORD("d", 1), 0x12345678Aull) << "a DWORD is no QWORD";
    EXPECT_EQ(reg.GetLastErrorCode(), 1804);
    EXPECT_EQ(bytes(reg.GetBinary("bin", BinChar())), big);
    EXPECT_EQ(bytes(reg.GetMultiString("multi", BinChar())), "a\0bc\0"s);
    SetRaw("odd", REG_MULTI_SZ, "x\0\0y", 4);  // the empty text ends the list
    EXPECT_EQ(bytes(reg.GetMultiString("odd", "none")) + bytes(reg.GetBinary("odd", "none")), "x\0none"s);

    EXPECT_TRUE(reg.ValueExists("q") && reg.DeleteValue("q"));
    EXPECT_FALSE(reg.ValueExists("q") || reg.DeleteValue("q") || reg.GetLastErrorCode() != 2);
    ASSERT_EQ(zelk::test::CreateKey(m_base, "tree\\leaf"), 0);
    EXPECT_FALSE(reg.DeleteKey("tree") || reg.DeleteKey("") || reg.DeleteTree(nullptr));
    EXPECT_EQ(reg.GetLastErrorCode(), 87);
    EXPECT_TRUE(reg.DeleteKey("tree\\leaf") && FReg(m_base, "tree\\leaf", true).IsValid() && reg.DeleteTree("tree"));
    EXPECT_EQ(FReg(m_base, "tree", false).GetLastErrorCode(), 2) << "gone, and why it could not be opened";
}
