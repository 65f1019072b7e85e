// NonLocal::StringToDouble: radices, signs, points, exponents, limits, and
// the same results whatever the C locale says about the decimal separator.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

constexpr double kUntouched = -12345.25;  // what *result holds before a call
constexpr double kTooLarge = 8.988e307;

struct Parsed {
    int count;
    double value;
};

Parsed Parse(std::string const& text, int radix) {
    double value = kUntouched;
    int const count = NonLocal::StringToDouble(text.c_str(), &value, radix);
    return {count, value};
}

// Results that go through exp and log carry their rounding: compare relatively.
void ExpectNear(double actual, double expected, std::string const& text) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * 1e-12) << text;
}

TEST(StringToDouble, ExactTable) {
    struct Case {
        std::string text;
        int radix;
        double value;
        int count;
    };
    Case const cases[] = {
        {"12.5", 10, 12.5, 4},
        {"  -3", 10, -3, 4},
        {"+-+3", 10, -3, 4},
        {"--5", 10, 5, 3},
        {"ff", 16, 255, 2},
        {"FF", 16, 255, 2},
        {"1E2", 16, 482, 3},  // "E" is a digit in radix 16
        {"102", 2, 2, 2},
        {"10.1", 2, 2.5, 4},
        {"zZ", 36, 1295, 2},
        {"1e2", 15, 437, 3},  // "e" is a digit from radix 15 on
        {"1e2", 11, 1, 1},    // and ends the number in radices 11 to 14
        {"1e2", 14, 1, 1},
        {".", 10, 0, 1},
        {".5", 10, 0.5, 2},
        {"5.", 10, 5, 2},
        {"1,5", 10, 1, 1},
        {"1.5.5", 10, 1.5, 3},
        {"0x10", 10, 0, 1},
        {"1ex", 10, 1, 1},
        {"1e", 10, 1, 1},
        {"1e-", 10, 1, 1},
        {"7 ", 10, 7, 1},
        {"12345.6789", 10, 12345.6789, 10},
        {"0.1", 10, 0.1, 3},
        {"\x15", 10, 5, 1},   // bytes 0x10..0x19 read as digits
        {"@", 16, 9, 1},      // so do "@" and "`" (as 9) above radix 9
        {"`", 10, 9, 1},
        {"00000000000000000000000000000000000001", 10, 1, 38},
        {"8e307", 10, 8e307, 5},
    };
    for (Case const& c : cases) {
        Parsed const p = Parse(c.text, c.radix);
        EXPECT_EQ(p.count, c.count) << c.text << " radix " << c.radix;
        if (c.value == 8e307)
            ExpectNear(p.value, c.value, c.text);
        else
            EXPECT_EQ(p.value, c.value) << c.text << " radix " << c.radix;
    }
}

TEST(StringToDouble, NegativeZero) {
    Parsed const p = Parse("-.", 10);
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.value, 0.0);
    EXPECT_TRUE(std::signbit(p.value));
    EXPECT_TRUE(std::signbit(Parse("-0", 10).value));
}

TEST(StringToDouble, Exponents) {
    struct Case {
        std::string text;
        double value;
        int count;
    };
    Case const cases[] = {
        {"1e3", 1000, 3},        {"1E3", 1000, 3},   {"1e 2", 100, 4},     {"1e1e1", 1e10, 5},
        {"1e-3", 0.001, 4},      {"1.5e-1", 0.15, 6}, {"-2.5e+2", -250, 7}, {"1e.5", std::sqrt(10.0), 4},
        {"3e--2", 300, 5},       {"1e1.5e0", std::pow(10.0, 1.5), 7},  {"25e-1x", 2.5, 5},
    };
    for (Case const& c : cases) {
        Parsed const p = Parse(c.text, 10);
        EXPECT_EQ(p.count, c.count) << c.text;
        ExpectNear(p.value, c.value, c.text);
    }
    // Exponents in other radices up to 10: the power is of the radix.
    Parsed const binary = Parse("1e11", 2);  // 1 * 2^3
    EXPECT_EQ(binary.count, 4);
    ExpectNear(binary.value, 8, "1e11 radix 2");
}

TEST(StringToDouble, NoNumberLeavesResult) {
    struct Case {
        std::string text;
        int radix;
    };
    Case const cases[] = {
        {"abc", 10}, {"", 10},   {" ", 10},    {"-", 10},    {"+-", 10},   {"\t5", 10}, {"e5", 10},
        {"12", 1},   {"12", 37}, {"12", 0},    {"12", -10},  {"2", 2},     {"@", 9},    {"\x80", 36},
        {"\xFF", 36}, {",5", 10}, {"- 5", 10},
    };
    for (Case const& c : cases) {
        Parsed const p = Parse(c.text, c.radix);
        EXPECT_EQ(p.count, 0) << c.text << " radix " << c.radix;
        EXPECT_EQ(p.value, kUntouched) << c.text << " radix " << c.radix;
    }
    double value = kUntouched;
    EXPECT_EQ(NonLocal::StringToDouble(nullptr, &value, 10), 0);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(NonLocal::StringToDouble("12", nullptr, 10), 0);
}

TEST(StringToDouble, TooLarge) {
    struct Case {
        std::string text;
        double value;
        int count;
    };
    Case const cases[] = {
        {"1e400", kTooLarge, 5},
        {"1e308", kTooLarge, 5},  // past the exponent limit of 708 (as a power of e)
        {"9e307", kTooLarge, 5},  // below it, but larger than 8.2e307
        {"-1e400", -kTooLarge, 6},  // a too large value keeps its sign
        {"-9e307", -kTooLarge, 6},
        {"1e1e1e1", kTooLarge, 7},
        {std::string(400, '9'), kTooLarge, 400},
        {std::string(400, '9') + "." + std::string(400, '9'), kTooLarge, 801},
        {std::string(240, 'Z'), kTooLarge, 240},  // radix 36,
    };
    for (Case const& c : cases) {
        double value = 0;
        int const count = NonLocal::StringToDouble(c.text.c_str(), &value, c.text[0] == 'Z' ? 36 : 10);
        EXPECT_EQ(count, c.count) << c.text.substr(0, 20);
        EXPECT_EQ(value, c.value) << c.text.substr(0, 20);
    }
}

// Long digit runs stay finite and close: no infinity, no NaN.
TEST(StringToDouble, LongDigitRuns) {
    Parsed const many = Parse("123456789012345678901234567890", 10);
    EXPECT_EQ(many.count, 30);
    ExpectNear(many.value, 1.2345678901234568e29, "30 digits");

    std::string const hundredsOfDigits = "1" + std::string(299, '0');  // 1e299
    Parsed const big = Parse(hundredsOfDigits, 10);
    EXPECT_EQ(big.count, 300);
    EXPECT_NEAR(big.value, 1e299, 1e299 * 1e-9);

    std::string const tiny = "0." + std::string(400, '0') + "1";
    Parsed const small = Parse(tiny, 10);
    EXPECT_EQ(small.count, static_cast<int>(tiny.size()));
    EXPECT_EQ(small.value, 0.0);

    std::string const wide = std::string(350, '1') + "." + std::string(350, '1');
    Parsed const p = Parse(wide, 10);
    EXPECT_EQ(p.count, 701);
    EXPECT_FALSE(std::isnan(p.value));
    EXPECT_EQ(p.value, kTooLarge);

    std::string const fraction = "0." + std::string(500, '3');
    Parsed const third = Parse(fraction, 10);
    EXPECT_FALSE(std::isnan(third.value));
    EXPECT_NEAR(third.value, 1.0 / 3.0, 1e-15);
}

// A long chain of exponents is read without recursion and ends in bounded time.
TEST(StringToDouble, LongExponentChain) {
    std::string text = "1";
    for (int i = 0; i < 100000; ++i) text += "e0";
    Parsed const p = Parse(text, 10);
    EXPECT_EQ(p.count, static_cast<int>(text.size()));
    EXPECT_EQ(p.value, 1.0);
}

// Fixed-point texts of up to 15 significant digits come out exactly as the
// C library reads them in the "C" locale.
std::vector<std::string> FixedPointTexts() {
    std::mt19937 random(12345);
    std::vector<std::string> texts = {"0.5", "3.14159", "-271.828", "1234567.125", "0.000001", "999999999.999999"};
    for (int i = 0; i < 2000; ++i) {
        int const intDigits = static_cast<int>(random() % 9);
        int const fracDigits = static_cast<int>(random() % (15 - intDigits));
        std::string text = random() % 2 ? "-" : "";
        for (int d = 0; d < intDigits; ++d) text += static_cast<char>('0' + random() % 10);
        text += '.';
        for (int d = 0; d < fracDigits; ++d) text += static_cast<char>('0' + random() % 10);
        if (text == "." || text == "-.") text += '7';
        texts.push_back(text);
    }
    return texts;
}

void ExpectSameAsC(std::vector<std::string> const& texts, std::vector<double> const& expected, char const* where) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        Parsed const p = Parse(texts[i], 10);
        ASSERT_EQ(p.count, static_cast<int>(texts[i].size())) << texts[i] << " " << where;
        ASSERT_EQ(p.value, expected[i]) << texts[i] << " " << where;
    }
}

class LocaleTest : public ::testing::Test {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(LocaleTest, SameResultsWhateverTheLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    std::vector<std::string> const texts = FixedPointTexts();
    std::vector<double> expected;
    for (std::string const& text : texts) expected.push_back(std::strtod(text.c_str(), nullptr));
    ExpectSameAsC(texts, expected, "in the C locale");

    // A locale whose decimal separator is ",".
    char const* const candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German", "deu"};
    char const* chosen = nullptr;
    for (char const* name : candidates) {
        if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
            chosen = name;
            break;
        }
    }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed";
    // The C library itself now reads the point differently...
    EXPECT_NE(std::strtod("1.5", nullptr), 1.5);
    // ...StringToDouble does not.
    ExpectSameAsC(texts, expected, chosen);
    Parsed const comma = Parse("1,5", 10);
    EXPECT_EQ(comma.count, 1);
    EXPECT_EQ(comma.value, 1.0);
    Parsed const withExponent = Parse("2.5e2", 10);
    EXPECT_EQ(withExponent.count, 5);
    ExpectNear(withExponent.value, 250, "2.5e2");
}

}  // namespace
