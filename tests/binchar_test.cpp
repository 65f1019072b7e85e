// BinChar as a host sees it: construction, value semantics, substrings,
// search, words, replacement, case, integers, masks and hexadecimal text.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <utility>

namespace {

using namespace std::string_literals;

// All stored bytes, zero bytes included; every string keeps a zero right after them.
std::string Bytes(BinChar const& s) {
    char const* text = s;
    EXPECT_TRUE(text && text[s.len()] == '\0') << "unterminated";
    return text ? std::string(text, static_cast<std::size_t>(s.len())) : "<null>";
}

BinChar Make(std::string const& bytes) { return BinChar(bytes.data(), static_cast<int>(bytes.size())); }

// What Translate leaves and the count it returns, as "count:text".
BinChar Translated(BinChar text, char const* from, char const* to) {
    int const count = text.Translate(from, to);
    return BinChar(count) + ":" + text;
}

// Every member that yields a string: the exact bytes it holds.
TEST(BinChar, StringResults) {
    BinChar const five("abcde");
    BinChar const zero("ab\0cd", 5);  // a, b, zero byte, c, d
    // clang-format off
    struct Case { char const* name; BinChar result; std::string expected; };
    Case const cases[] = {
        {"null text", BinChar(static_cast<char const*>(nullptr)), ""}, {"negative count", BinChar("abc", -1), ""},
        {"negative repeat", BinChar('x', -3), ""},     {"from past to", BinChar("abc", 3, 1), ""},
        {"from..to", BinChar("abcdef", 2, 5), "cde"},  {"copy keeps zero bytes", BinChar(zero), "ab\0cd"s},
        {"repeat", BinChar('z', 4), "zzzz"},           {"null source, count", BinChar(nullptr, 3), "\0\0\0"s},
        {"null source, from..to", BinChar(nullptr, 1, 4), "\0\0\0"s},
        {"int 0", BinChar(0, 0), "0"},                 {"int 7 width 3", BinChar(7, 3), "007"},
        {"int -7 width 3", BinChar(-7, 3), "-007"},    {"int 123 width 2", BinChar(123, 2), "123"},
        {"int min", BinChar(INT_MIN), "-2147483648"},  {"an int converts", -12, "-12"},
        // Widths past 99 digits are honoured in full, never cut or overrun.
        {"int width 5000", BinChar(-42, 5000), "-" + std::string(4998, '0') + "42"},
        {"(1,3)", five(1, 3), "bcd"},                  {"(3,99)", five(3, 99), "de"},
        {"(7,2)", five(7, 2), ""},                     {"(1,0)", five(1, 0), ""},
        {"(-2,2) clamps the start", five(-2, 2), "ab"},
        {"Left 2", five.Left(2), "ab"},                {"Left 9", five.Left(9), "abcde"},
        {"Left -1", five.Left(-1), ""},                {"Right 2", five.Right(2), "de"},
        {"Right 9", five.Right(9), "abcde"},           {"Right 0", five.Right(0), ""},
        {"Right -1", five.Right(-1), ""},
        // Right counts from the visible end, also for n <= 0; Left counts stored bytes.
        {"zero Right 1", zero.Right(1), "b\0"s},       {"zero Right 0", zero.Right(0), "\0c"s},
        {"zero Right -1", zero.Right(-1), "cd"},       {"zero Right -3", zero.Right(-3), ""},
        {"zero Right INT_MIN", zero.Right(INT_MIN), ""}, {"zero Left 5", zero.Left(5), "ab\0cd"s},
        // Only 0x20 is trimmed; LTrim scans stored bytes, RTrim the visible text.
        {"LTrim", BinChar("  a b  ").LTrim(), "a b  "},   {"Trim spaces only", BinChar("    ").Trim(), ""},
        {"Trim leaves tabs", BinChar("\t x ").Trim(), "\t x"},
        {"LTrim keeps bytes after zero", Make("  a\0 b"s).LTrim(), "a\0 b"s},
        {"RTrim cuts at zero", zero.RTrim(), "ab"},
        {"LPad never shortens", BinChar("abc").LPad(2), "abc"}, {"LPad", BinChar("abc").LPad(5), "  abc"},
        {"RPad", BinChar("ab").RPad(5), "ab   "},
        // Runs of separators count as one; outside blank mode blanks are word bytes.
        {"GetWord 2", BinChar("  a  b  ").GetWord(2, ' '), "b"}, {"GetWord 3", BinChar("a b").GetWord(3, ' '), ""},
        {"GetWord 0xE4 splits", BinChar("a\xE4z").GetWord(2, ' '), "z"}, {"GetWord ,", BinChar("a,,b").GetWord(2, ','), "b"},
        {"GetWord , keeps blanks", BinChar(" a , b ").GetWord(1, ','), "a "},
        // Text put in is never searched again.
        {"Translate", Translated("aaaa", "aa", "b"), "2:bb"}, {"Translate grows", Translated("xax", "x", "xx"), "2:xxaxx"},
        {"Translate empty from", Translated("abc", "", "x"), "0:abc"},
        // Only A-Z fold; zero bytes and bytes from 0x80 stay.
        {"Lower", Make("aZ\0\xE4\xC4" "09[`{@"s).Lower(), "az\0\xE4\xC4" "09[`{@"s},
        {"Upper", Make("aZ\0\xE4\xC4" "09[`{@"s).Upper(), "AZ\0\xE4\xC4" "09[`{@"s},
        {"BinToHex", Make("\x00\xAB\x7F"s).BinToHex(), "00AB7F"},
        {"HexToBin", BinChar("00ab7f").HexToBin(), "\x00\xAB\x7F"s},
        {"HexToBin odd digit", BinChar("abc").HexToBin(), "\xAB"},
        {"HexToBin stops at a non-digit", BinChar("12zz34").HexToBin(), "\x12"},
        {"HexToBin visible text", Make("12\0" "34"s).HexToBin(), "\x12"},
    };
    // clang-format on
    for (Case const& c : cases) EXPECT_EQ(Bytes(c.result), c.expected) << c.name;
    EXPECT_EQ(Bytes(five), "abcde");  // operands unchanged
    EXPECT_EQ(Bytes(zero), "ab\0cd"s);
}

TEST(BinChar, ValueSemantics) {
    BinChar const zero("ab\0cd", 5);
    char buffer[] = "abc";
    BinChar const copied(buffer, 3);
    buffer[0] = 'X';  // copied, not referenced
    EXPECT_EQ(Bytes(copied), "abc");
    BinChar b("other");
    b = zero;
    EXPECT_NE(static_cast<char const*>(b), static_cast<char const*>(zero));  // own buffer
    b = static_cast<BinChar const&>(b);  // self-assignment keeps the content
    BinChar moved(std::move(b));
    EXPECT_EQ(Bytes(moved), "ab\0cd"s);
    EXPECT_EQ(Bytes(b), "");  // a moved-from string stays a valid empty string

    // Concatenation keeps zero bytes; a null text appends nothing.
    EXPECT_EQ(Bytes(BinChar("ab") + static_cast<char const*>(nullptr)), "ab");
    BinChar s("x");
    EXPECT_EQ(&(s += zero), &s);
    s += s;
    EXPECT_EQ(Bytes(s), "xab\0cdxab\0cd"s);

    // Comparison reads the zero-terminated texts; a text on the left compares texts, not pointers.
    BinChar const ab("ab");
    std::string const text = "ab";
    // clang-format off
    struct Case { BinChar left; char const* right; bool equal; };
    Case const cases[] = {{zero, ab, true}, {ab, "abc", false}, {ab, "a", false}, {BinChar(), nullptr, true}, {ab, text.c_str(), true}};
    // clang-format on
    for (Case const& c : cases) {
        EXPECT_EQ(c.left == c.right, c.equal) << c.right;
        EXPECT_EQ(c.left != BinChar(c.right), !c.equal) << c.right;
        EXPECT_EQ(c.right == c.left && !(c.right != c.left), c.equal) << c.right;
    }
}

// Search, at its boundaries (the rest: fuzz/fuzz_binchar.cpp).
TEST(BinChar, iStr) {
    BinChar const s("abcabc");
    std::tuple<BinChar, int, int> const found[] = {{"c", 3, 5}, {"d", 0, 6},  {"c", -1, 6},      {"", 0, 6},
                                                   {"c", 6, 6}, {"bc", 5, 6}, {"abcabcd", 0, 6}, {"B", 0, 6}};
    for (auto const& [pattern, from, expected] : found)
        EXPECT_EQ(s.iStr(pattern, from), expected) << pattern << " from " << from;
    EXPECT_EQ(Make("a\0b\0c"s).iStr(Make("\0c"s), 0), 3);  // zero bytes compare like any byte
}

TEST(BinChar, ToIntAndIsInt) {
    // clang-format off
    std::pair<std::string, int> const cases[] = {
        {" 42x", 42}, {"-17", -17}, {"\t\n\v\f\r 5", 5}, {"1\0" "99"s, 1}, {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN}, {"123456789012345678901234567890", INT_MAX},
    };
    // clang-format on
    for (auto const& [text, expected] : cases) {
        EXPECT_EQ(Make(text).ToInt(), expected) << text;
        EXPECT_TRUE(Make(text).IsInt()) << text;
    }
    // No digit: ToInt throws exactly the int 0, IsInt says no.
    for (std::string const& text : {"x42"s, "-"s, ""s, "+-1"s, "- 1"s, "\0"s + "1", "\xE4"s + "1"}) {
        EXPECT_FALSE(Make(text).IsInt()) << text;
        try {
            Make(text).ToInt();
            ADD_FAILURE() << "no exception for " << text;
        } catch (int value) {
            EXPECT_EQ(value, 0);
        }
    }
}

TEST(BinChar, MaskenFit) {
    // clang-format off
    struct Case { std::string name; char const* mask; bool fits; };
    Case const cases[] = {
        {"Readme.TXT", "*.txt", true}, {"readme", "*.*", true},   {"readme", "*.", false},
        {"ab", "ab??", true},          {"abc", "a?c", true},      {"abc", "a?", false},
        {"abc", "a*?c", true},         {"ab", "abc", false},      {"abc", "abd", false},
        {"abc", "*b", false},          {"", "*", true},           {"", "?", true},
        {"", "", true},                {"", nullptr, true},       {"a", nullptr, false},
        {"abcd", "a**??*d", true},     {"abcbd", "a*bd", true},
        {"a.txt.txt", "*.txt", false},  // the star takes the first ".txt" for good
        {"abcbd", "a*b?", false},       // likewise the first "b"
        {"\xE4" "x", "\xC4" "x", false},  // only A-Z fold
        {"ab\0cd"s, "ab", true},           // the name is its visible text
    };
    // clang-format on
    for (Case const& c : cases)
        EXPECT_EQ(Make(c.name).MaskenFit(c.mask), c.fits) << '"' << c.name << "\" / " << (c.mask ? c.mask : "(null)");
    // The part of the mask after a star has no size limit.
    std::string const tail(3000, 'q'), mask = "pre*" + tail;
    EXPECT_TRUE(Make("prefix" + tail).MaskenFit(mask.c_str()));
    EXPECT_FALSE(Make("prefix" + tail + "r").MaskenFit(mask.c_str()));
}

}  // namespace
