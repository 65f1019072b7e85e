// BinChar as a host sees it: construction, value semantics, substrings,
// search, words, case, integers, masks and hexadecimal text.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::string_literals;

// All stored bytes, zero bytes included.
std::string Bytes(BinChar const& s) { return std::string(static_cast<char const*>(s), static_cast<std::size_t>(s.len())); }

BinChar Make(std::string const& bytes) { return BinChar(bytes.data(), static_cast<int>(bytes.size())); }

// Every string keeps a terminating zero right after its content.
void ExpectTerminated(BinChar const& s) {
    ASSERT_NE(static_cast<char const*>(s), nullptr);
    EXPECT_EQ(static_cast<char const*>(s)[s.len()], '\0');
}

// The five bytes a, b, zero, c, d.
BinChar const& WithZero() {
    static BinChar const s("ab\0cd", 5);
    return s;
}

TEST(BinCharConstruct, EmptyForms) {
    BinChar const forms[] = {BinChar(), BinChar(static_cast<char const*>(nullptr)), BinChar(""), BinChar("abc", -1),
                             BinChar('x', -3), BinChar('x', 0), BinChar("abc", 3, 1), BinChar("abc", 2, 2)};
    for (BinChar const& s : forms) {
        EXPECT_EQ(s.len(), 0);
        ExpectTerminated(s);
        EXPECT_STREQ(s, "");
    }
}

TEST(BinCharConstruct, CopiesBytes) {
    EXPECT_EQ(Bytes(BinChar("hello")), "hello");
    EXPECT_EQ(Bytes(WithZero()), "ab\0cd"s);
    EXPECT_EQ(Bytes(BinChar("abcdef", 2, 5)), "cde");
    EXPECT_EQ(Bytes(BinChar('z', 4)), "zzzz");
    EXPECT_EQ(Bytes(BinChar('\0', 2)), "\0\0"s);
    // A null source gives zero bytes in both counted forms.
    EXPECT_EQ(Bytes(BinChar(nullptr, 3)), "\0\0\0"s);
    EXPECT_EQ(Bytes(BinChar(nullptr, 1, 4)), "\0\0\0"s);

    // The source is copied, not referenced.
    char buffer[] = "abc";
    BinChar const s(buffer, 3);
    buffer[0] = 'X';
    EXPECT_EQ(Bytes(s), "abc");
    ExpectTerminated(s);
}

TEST(BinCharConstruct, Integers) {
    struct Case {
        int value;
        int width;
        char const* text;
    };
    Case const cases[] = {
        {0, 0, "0"},         {7, 3, "007"},          {-7, 3, "-007"},      {5, 3, "005"},
        {-42, 5, "-00042"},  {123, 2, "123"},        {123, -4, "123"},     {INT_MIN, 0, "-2147483648"},
        {INT_MAX, 0, "2147483647"}, {INT_MIN, 12, "-002147483648"}, {0, 1, "0"}, {0, 2, "00"},
    };
    for (Case const& c : cases) {
        BinChar const s(c.value, c.width);
        EXPECT_EQ(Bytes(s), c.text) << c.value << " width " << c.width;
        ExpectTerminated(s);
    }
    EXPECT_EQ(Bytes(BinChar(-15)), "-15");
    EXPECT_EQ(Bytes(BinChar(0)), "0");
}

// Widths past 99 digits are honoured in full, never cut or overrun.
TEST(BinCharConstruct, IntegerWidthPast99Digits) {
    for (int width : {98, 99, 100, 150, 5000}) {
        BinChar const positive(42, width);
        EXPECT_EQ(Bytes(positive), std::string(static_cast<std::size_t>(width) - 2, '0') + "42") << width;
        BinChar const negative(-42, width);
        EXPECT_EQ(Bytes(negative), "-" + std::string(static_cast<std::size_t>(width) - 2, '0') + "42") << width;
        ExpectTerminated(negative);
    }
}

TEST(BinCharValue, CopyAssignMove) {
    BinChar a(WithZero());
    EXPECT_EQ(Bytes(a), "ab\0cd"s);
    EXPECT_NE(static_cast<char const*>(a), static_cast<char const*>(WithZero()));  // own buffer

    BinChar b("other");
    b = a;
    EXPECT_EQ(Bytes(b), "ab\0cd"s);
    b = b;  // self-assignment keeps the content
    EXPECT_EQ(Bytes(b), "ab\0cd"s);

    BinChar moved(std::move(b));
    EXPECT_EQ(Bytes(moved), "ab\0cd"s);
    // A moved-from string stays a valid string that can be used and reassigned.
    ExpectTerminated(b);
    EXPECT_EQ(b.len(), 0);
    b = BinChar("again");
    EXPECT_EQ(Bytes(b), "again");

    BinChar target("x");
    target = std::move(moved);
    EXPECT_EQ(Bytes(target), "ab\0cd"s);
    ExpectTerminated(moved);
}

TEST(BinCharValue, Concatenation) {
    BinChar const a("ab");
    EXPECT_EQ(Bytes(a + BinChar("cd")), "abcd");
    EXPECT_EQ(Bytes(WithZero() + WithZero()), "ab\0cdab\0cd"s);
    EXPECT_EQ(Bytes(a + "xyz"), "abxyz");
    EXPECT_EQ(Bytes(a + static_cast<char const*>(nullptr)), "ab");
    EXPECT_EQ(Bytes(BinChar() + BinChar()), "");
    EXPECT_EQ(Bytes(a), "ab");  // operands unchanged

    BinChar s("x");
    BinChar const& same = (s += WithZero());
    EXPECT_EQ(&same, &s);
    EXPECT_EQ(Bytes(s), "xab\0cd"s);
    s += s;
    EXPECT_EQ(Bytes(s), "xab\0cdxab\0cd"s);
    ExpectTerminated(s);
}

TEST(BinCharValue, ComparisonReadsText) {
    BinChar const ab("ab");
    EXPECT_TRUE(WithZero() == ab);
    EXPECT_TRUE(WithZero() == "ab");
    EXPECT_TRUE(WithZero() == BinChar("ab\0xy", 5));  // bytes after the zero play no part
    EXPECT_FALSE(ab == "abc");
    EXPECT_FALSE(ab == "a");
    EXPECT_TRUE(ab != "abc");
    EXPECT_FALSE(ab != BinChar("ab"));
    EXPECT_TRUE(BinChar() == "");
    EXPECT_TRUE(BinChar() == static_cast<char const*>(nullptr));
    // Text on the left compares texts, not pointers.
    std::string const text = "ab";
    EXPECT_TRUE(text.c_str() == ab);
    EXPECT_FALSE("zz" == ab);
    EXPECT_TRUE("zz" != ab);
}

TEST(BinCharSubstring, Table) {
    BinChar const five("abcde");
    struct Case {
        char const* what;
        BinChar result;
        std::string expected;
    };
    Case const cases[] = {
        {"(1,3)", five(1, 3), "bcd"},
        {"(3,99)", five(3, 99), "de"},
        {"(0,5)", five(0, 5), "abcde"},
        {"(7,2)", five(7, 2), ""},
        {"(5,1)", five(5, 1), ""},
        {"(1,0)", five(1, 0), ""},
        {"(1,-2)", five(1, -2), ""},
        {"(-2,2) clamps the start", five(-2, 2), "ab"},
        {"Left 2", five.Left(2), "ab"},
        {"Left 9", five.Left(9), "abcde"},
        {"Left 0", five.Left(0), ""},
        {"Left -1", five.Left(-1), ""},
        {"Right 2", five.Right(2), "de"},
        {"Right 9", five.Right(9), "abcde"},
        {"Right -1", five.Right(-1), ""},
        {"Right 0", five.Right(0), ""},
        // Zero bytes: Right counts from the visible end, Left and () from the bytes.
        {"zero Right 1", WithZero().Right(1), "b\0"s},
        {"zero Right 2", WithZero().Right(2), "ab"},
        {"zero Right -1", WithZero().Right(-1), ""},
        {"zero Left 5", WithZero().Left(5), "ab\0cd"s},
        {"zero (1,3)", WithZero()(1, 3), "b\0c"s},
        {"empty Right 1", BinChar().Right(1), ""},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(Bytes(c.result), c.expected) << c.what;
        ExpectTerminated(c.result);
    }
    EXPECT_EQ(Bytes(five), "abcde");
}

TEST(BinCharSubstring, TrimAndPad) {
    struct Case {
        char const* what;
        BinChar result;
        std::string expected;
    };
    Case const cases[] = {
        {"LTrim", BinChar("  a b  ").LTrim(), "a b  "},
        {"RTrim", BinChar("  a b  ").RTrim(), "  a b"},
        {"Trim", BinChar("  a b  ").Trim(), "a b"},
        {"Trim tab", BinChar("\t x ").Trim(), "\t x"},
        {"Trim spaces only", BinChar("    ").Trim(), ""},
        {"Trim nothing", BinChar("x").Trim(), "x"},
        {"LTrim keeps bytes after zero", Make("  a\0 b"s).LTrim(), "a\0 b"s},
        {"RTrim cuts at zero", WithZero().RTrim(), "ab"},
        {"RTrim cuts at zero, then spaces", Make("ab  \0cd"s).RTrim(), "ab"},
        {"Trim zero", Make("  ab \0 cd "s).Trim(), "ab"},
        {"LPad shorter", BinChar("abc").LPad(2), "abc"},
        {"LPad", BinChar("abc").LPad(5), "  abc"},
        {"RPad", BinChar("ab").RPad(5), "ab   "},
        {"RPad negative", BinChar("ab").RPad(-1), "ab"},
        {"LPad zero bytes", WithZero().LPad(6), " ab\0cd"s},
        {"RPad empty", BinChar().RPad(2), "  "},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(Bytes(c.result), c.expected) << c.what;
        ExpectTerminated(c.result);
    }
}

TEST(BinCharSearch, IStr) {
    BinChar const s("abcabc");
    struct Case {
        BinChar pattern;
        int from;
        int expected;
    };
    Case const cases[] = {
        {"c", 3, 5}, {"c", 0, 2}, {"abc", 0, 0}, {"abc", 1, 3}, {"d", 0, 6},  {"c", -1, 6},  {"", 0, 6},
        {"c", 6, 6}, {"c", 99, 6}, {"cab", 0, 2}, {"bcx", 0, 6}, {"abcabcd", 0, 6}, {"bc", 5, 6}, {"c", 5, 5},
    };
    for (Case const& c : cases) EXPECT_EQ(s.iStr(c.pattern, c.from), c.expected) << c.pattern << " from " << c.from;

    // Zero bytes are bytes like any other, on both sides.
    BinChar const z = Make("a\0b\0c"s);
    EXPECT_EQ(z.iStr(Make("\0c"s), 0), 3);
    EXPECT_EQ(z.iStr(Make("b\0"s), 0), 2);
    EXPECT_EQ(z.iStr(BinChar("c"), 0), 4);
    // Case-sensitive.
    EXPECT_EQ(s.iStr(BinChar("B"), 0), 6);
}

TEST(BinCharSearch, Translate) {
    struct Case {
        std::string text;
        std::string from;
        std::string to;
        int count;
        std::string expected;
    };
    Case const cases[] = {
        {"aaaa", "aa", "b", 2, "bb"},
        {"aaa", "aa", "b", 1, "ba"},
        {"abc", "", "x", 0, "abc"},
        {"xax", "x", "xx", 2, "xxaxx"},
        {"abcabc", "bc", "", 2, "aa"},
        {"abc", "abcd", "x", 0, "abc"},
        {"abc", "abc", "", 1, ""},
        {"", "a", "b", 0, ""},
        {"a\0b\0"s, "\0"s, "--", 2, "a--b--"},
        {"a.b.c", ".", "\0"s, 2, "a\0b\0c"s},
        {"ababab", "aba", "X", 1, "Xbab"},
    };
    for (Case const& c : cases) {
        BinChar s = Make(c.text);
        EXPECT_EQ(s.Translate(Make(c.from), Make(c.to)), c.count) << c.text << " / " << c.from;
        EXPECT_EQ(Bytes(s), c.expected) << c.text << " / " << c.from;
        ExpectTerminated(s);
    }
}

TEST(BinCharSearch, GetWord) {
    struct Case {
        std::string text;
        int n;
        char separator;
        std::string expected;
    };
    Case const cases[] = {
        {"  a  b  ", 1, ' ', "a"},
        {"  a  b  ", 2, ' ', "b"},
        {"  a  b  ", 3, ' ', ""},
        {"  a  b  ", 0, ' ', ""},
        {"  a  b  ", -1, ' ', ""},
        {"a,,b", 2, ',', "b"},
        {",a,,b,", 1, ',', "a"},
        {" a , b ", 1, ',', "a "},
        {" a , b ", 2, ',', " b"},
        {"one\ttwo\nthree", 3, ' ', "three"},
        {"x\xE4y", 2, ' ', "y"},  // 0xE4 separates in blank mode
        {"x\xE4y", 1, ',', "x\xE4y"},
        {"a\x7F" "b c", 1, ' ', "a\x7F" "b"},
        {"ab\0cd"s, 2, ' ', ""},  // the walk stops at the first zero byte
        {"a b\0c d"s, 2, ' ', "b"},
        {"", 1, ' ', ""},
        {"word", 1, ' ', "word"},
    };
    for (Case const& c : cases) {
        BinChar const word = Make(c.text).GetWord(c.n, c.separator);
        EXPECT_EQ(Bytes(word), c.expected) << '"' << c.text << "\" word " << c.n;
        ExpectTerminated(word);
    }
}

TEST(BinCharCase, LowerUpper) {
    BinChar const mixed = Make("aZ\0\xE4\xC4" "09[`{@"s);
    EXPECT_EQ(Bytes(mixed.Lower()), "az\0\xE4\xC4" "09[`{@"s);
    EXPECT_EQ(Bytes(mixed.Upper()), "AZ\0\xE4\xC4" "09[`{@"s);
    EXPECT_EQ(Bytes(Make("\xE4" "bc").Upper()), "\xE4" "BC");
    EXPECT_EQ(Bytes(mixed), "aZ\0\xE4\xC4" "09[`{@"s);
}

TEST(BinCharNumber, ToInt) {
    struct Case {
        std::string text;
        int expected;
    };
    Case const cases[] = {
        {"42", 42},
        {" 42x", 42},
        {"12abc", 12},
        {"-17", -17},
        {"+8", 8},
        {"\t\n\v\f\r 5", 5},
        {"007", 7},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"000000000000000000000000000012", 12},
        {"123456789012345678901234567890", INT_MAX},
        {"1\0" "99"s, 1},
    };
    for (Case const& c : cases) {
        BinChar const s = Make(c.text);
        EXPECT_EQ(s.ToInt(), c.expected) << c.text;
        EXPECT_TRUE(s.IsInt()) << c.text;
    }
}

TEST(BinCharNumber, NoDigitThrowsIntZero) {
    for (std::string const& text : {"x42"s, "-"s, "+"s, ""s, " "s, "+-1"s, "- 1"s, "\0" "1"s, "\xE4" "1"s}) {
        BinChar const s = Make(text);
        EXPECT_FALSE(s.IsInt()) << text;
        try {
            s.ToInt();
            ADD_FAILURE() << "no exception for " << text;
        } catch (int value) {
            EXPECT_EQ(value, 0);
        } catch (...) {
            ADD_FAILURE() << "wrong exception type for " << text;
        }
    }
}

TEST(BinCharMask, Table) {
    struct Case {
        std::string name;
        char const* mask;
        bool fits;
    };
    Case const cases[] = {
        {"Readme.TXT", "*.txt", true},
        {"readme.txt", "*.TXT", true},
        {"readme", "*.*", true},
        {"readme", "*.", false},
        {"ab", "ab??", true},
        {"abc", "a?c", true},
        {"abc", "a?", false},
        {"a.txt.txt", "*.txt", false},  // the star takes the first ".txt"
        {"a.txt", "*.txt", true},
        {"abc", "a*?c", true},
        {"", "*", true},
        {"", "?", true},
        {"", "", true},
        {"", nullptr, true},
        {"a", nullptr, false},
        {"a", "", false},
        {"abc", "abc", true},
        {"abc", "abd", false},
        {"abc", "ab", false},
        {"ab", "abc", false},
        {"abc", "*", true},
        {"abc", "a*", true},
        {"abc", "*c", true},
        {"abc", "*b", false},
        {"abcbd", "a*b?", false},  // first "b" chosen, then "?" and an unmatched "d"
        {"abcbd", "a*bd", true},
        {"abcd", "a*b*d", true},
        {"abcd", "a**??*d", true},
        {"x.doc", "*.txt", false},
        {"\xE4" "x", "\xC4" "x", false},  // only A-Z fold
        {"\xC4" "X", "\xC4" "x", true},
        {"ab\0cd"s, "ab", true},  // the name is its visible text
        {"data_2024.csv", "data_????.csv", true},
        {"data_24.csv", "data_????.csv", false},
    };
    for (Case const& c : cases)
        EXPECT_EQ(Make(c.name).MaskenFit(c.mask), c.fits) << '"' << c.name << "\" / " << (c.mask ? c.mask : "(null)");
}

// The part of the mask after a star has no size limit.
TEST(BinCharMask, LongMaskAfterStar) {
    std::string const tail(3000, 'q');
    std::string const name = "prefix" + tail;
    std::string const mask = "pre*" + tail;
    EXPECT_TRUE(Make(name).MaskenFit(mask.c_str()));
    EXPECT_FALSE(Make(name + "r").MaskenFit(mask.c_str()));
    EXPECT_FALSE(Make(name).MaskenFit((mask + "r").c_str()));
}

TEST(BinCharHex, Table) {
    EXPECT_EQ(Bytes(Make("\x00\xAB\x7F"s).BinToHex()), "00AB7F");
    EXPECT_EQ(Bytes(BinChar().BinToHex()), "");
    EXPECT_EQ(Bytes(WithZero().BinToHex()), "6162006364");  // every stored byte

    struct Case {
        std::string hex;
        std::string bytes;
    };
    Case const cases[] = {
        {"00ab7f", "\x00\xAB\x7F"s},
        {"00AB7F", "\x00\xAB\x7F"s},
        {"abc", "\xAB"},
        {"12zz34", "\x12"},
        {"1z", ""},
        {"z1", ""},
        {"", ""},
        {"f", ""},
        {"FfEe", "\xFF\xEE"},
        {"12\0" "34"s, "\x12"},  // visible text only
        {"1g", ""},
        {" 12", ""},
    };
    for (Case const& c : cases) {
        BinChar const bytes = Make(c.hex).HexToBin();
        EXPECT_EQ(Bytes(bytes), c.bytes) << c.hex;
        ExpectTerminated(bytes);
    }
}

TEST(BinCharHex, RoundTripAllBytes) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    BinChar const hex = Make(all).BinToHex();
    EXPECT_EQ(hex.len(), 512);
    EXPECT_EQ(Bytes(hex.HexToBin()), all);
    EXPECT_EQ(Bytes(hex.Lower().HexToBin()), all);
}

}  // namespace
