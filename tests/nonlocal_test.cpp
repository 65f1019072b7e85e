// NonLocal::StringToDouble: radices, signs, points, exponents, limits, and
// the same results whatever the C locale says about the decimal separator.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

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

TEST(StringToDouble, Table) {
    struct Case { std::string text; int radix; double value; int count; };
    std::string chain = "1";  // read without recursion, in bounded time
    for (int i = 0; i < 100000; ++i) chain += "e0";
    Case const cases[] = {
        {chain, 10, 1, 200001},
        {"12.5", 10, 12.5, 4},  {"  -3", 10, -3, 4},    {"+-+3", 10, -3, 4},    {"--5", 10, 5, 3},
        {"ff", 16, 255, 2},     {"1E2", 16, 482, 3},    {"102", 2, 2, 2},       {"10.1", 2, 2.5, 4},
        {"zZ", 36, 1295, 2},    {".", 10, 0, 1},        {".5", 10, 0.5, 2},     {"5.", 10, 5, 2},
        {"1,5", 10, 1, 1},      {"1.5.5", 10, 1.5, 3},  {"0x10", 10, 0, 1},
        {"1e2", 15, 437, 3},    // "e" is a digit from radix 15 on...
        {"1e2", 14, 1, 1},      // ...and ends the number in radices 11 to 14
        {"\x15", 10, 5, 1},     {"@", 16, 9, 1},  // bytes 0x10..0x19 read as digits, "@" and "`" as 9
        // Exponents: only up to radix 10, parsed like a number of their own.
        {"1e3", 10, 1000, 3},   {"1e", 10, 1, 1},       {"1ex", 10, 1, 1},      {"1e 2", 10, 100, 4},
        {"1e-3", 10, 0.001, 4}, {"-2.5e+2", 10, -250, 7}, {"1e.5", 10, std::sqrt(10.0), 4},
        {"1e11", 2, 8, 4},      {"8e307", 10, 8e307, 5},
        // No number, or a bad radix: 0 taken and the result left alone.
        {"abc", 10, kUntouched, 0}, {"", 10, kUntouched, 0},   {"+-", 10, kUntouched, 0}, {"\t5", 10, kUntouched, 0},
        {"e5", 10, kUntouched, 0},  {"- 5", 10, kUntouched, 0}, {"12", 1, kUntouched, 0}, {"12", 37, kUntouched, 0},
        {"2", 2, kUntouched, 0},    {"\x80", 36, kUntouched, 0},
        // Too large: past the exponent limit or past 8.2e307; the sign stays.
        {"1e400", 10, kTooLarge, 5},   {"9e307", 10, kTooLarge, 5},   {"1e1e1e1", 10, kTooLarge, 7},
        {"-1e400", 10, -kTooLarge, 6}, {std::string(400, '9') + "." + std::string(400, '9'), 10, kTooLarge, 801},
        // Long digit runs stay finite and close: no infinity, no NaN.
        {"123456789012345678901234567890", 10, 1.2345678901234568e29, 30},
        {"0." + std::string(400, '0') + "1", 10, 0, 403},
        {"0." + std::string(500, '3'), 10, 1.0 / 3.0, 502},
    };
    for (Case const& c : cases) {
        Parsed const p = Parse(c.text, c.radix);
        std::string const where = c.text.substr(0, 20) + " radix " + std::to_string(c.radix);
        EXPECT_EQ(p.count, c.count) << where;
        // Values that go through exp and log carry their rounding.
        EXPECT_NEAR(p.value, c.value, std::fabs(c.value) * 1e-12) << where;
    }

    EXPECT_TRUE(std::signbit(Parse("-.", 10).value));
    EXPECT_TRUE(std::signbit(Parse("-0", 10).value));
    double value = kUntouched;
    EXPECT_EQ(NonLocal::StringToDouble(nullptr, &value, 10) + NonLocal::StringToDouble("12", nullptr, 10), 0);
    EXPECT_EQ(value, kUntouched);
}

// Fixed-point texts of up to 15 significant digits must come out exactly as
// the C library reads them in the "C" locale, whatever locale is set.
TEST(StringToDouble, SameResultsWhateverTheLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    std::mt19937 random(12345);
    std::vector<std::string> texts;
    for (int i = 0; i < 1000; ++i) {
        int const intDigits = static_cast<int>(random() % 9), fracDigits = static_cast<int>(random() % (15 - intDigits));
        std::string text = random() % 2 ? "-" : "";
        for (int d = 0; d < intDigits + 1 + fracDigits; ++d) text += d == intDigits ? '.' : static_cast<char>('0' + random() % 10);
        texts.push_back(text == "." || text == "-." ? text + '7' : text);
    }
    std::vector<double> expected;
    for (std::string const& text : texts) expected.push_back(std::strtod(text.c_str(), nullptr));
    auto const expectSame = [&](char const* where) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            Parsed const p = Parse(texts[i], 10);
            ASSERT_EQ(p.count, static_cast<int>(texts[i].size())) << texts[i] << " " << where;
            ASSERT_EQ(p.value, expected[i]) << texts[i] << " " << where;
        }
    };
    expectSame("in the C locale");

    // A locale whose decimal separator is ",".
    char const* chosen = nullptr;
    for (char const* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German", "deu"}) {
        if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
            chosen = name;
            break;
        }
    }
    if (chosen) {
        EXPECT_NE(std::strtod("1.5", nullptr), 1.5);  // the C library now reads the point differently
        expectSame(chosen);
        EXPECT_EQ(Parse("1,5", 10).count, 1);
    }
    std::setlocale(LC_ALL, "C");
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed";
}

}  // namespace
