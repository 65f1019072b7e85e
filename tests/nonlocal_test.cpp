// NonLocal::StringToDouble: radices, signs, points, exponents, limits,
// correctly rounded values, and the same results whatever the C locale says
// about the decimal separator.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

std::string Show(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g (%a)", value, value);
    return text;
}

// The exact decimal text of odd x 2^-1075, a point halfway between two
// neighbouring subnormals; about 750 significant digits.
std::string HalfwayBetweenSubnormals(int odd) {
    std::vector<int> digits{odd};  // odd x 5^1075, lowest digit first
    for (int i = 0; i < 1075; ++i) {
        int carry = 0;
        for (int& d : digits) {
            d = d * 5 + carry;
            carry = d / 10;
            d %= 10;
        }
        for (; carry != 0; carry /= 10) digits.push_back(carry % 10);
    }
    std::string text = "0." + std::string(1075 - digits.size(), '0');
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) text += static_cast<char>('0' + *it);
    return text;
}

// Every value here is exact to the bit, signs of zero included: the double
// nearest to the number (ties to even), or what a limit makes of it.
TEST(StringToDouble, Table) {
    // clang-format off
    struct Case { std::string text; int radix; double value; int count; };
    // clang-format on
    std::string chain = "1";  // read without recursion, in bounded time
    for (int i = 0; i < 100000; ++i) chain += "e0";
    std::string const tie = HalfwayBetweenSubnormals(5);  // between 2 and 3 x 2^-1074
    // clang-format off
    Case const cases[] = {
        {chain, 10, 1, 200001},
        {"12.5", 10, 12.5, 4},  {"  -3", 10, -3, 4},    {"+-+3", 10, -3, 4},    {"--5", 10, 5, 3},
        {"ff", 16, 255, 2},     {"1E2", 16, 482, 3},    {"102", 2, 2, 2},       {"10.1", 2, 2.5, 4},
        {"zZ", 36, 1295, 2},    {".", 10, 0, 1},        {".5", 10, 0.5, 2},     {"5.", 10, 5, 2},
        {"1,5", 10, 1, 1},      {"1.5.5", 10, 1.5, 3},  {"0x10", 10, 0, 1},
        {"1e2", 15, 437, 3},    // "e" is a digit from radix 15 on...
        {"1e2", 14, 1, 1},      // ...and ends the number in radices 11 to 14
        {"\x15", 10, 5, 1},     {"1@", 10, 19, 2},  // bytes 0x10..0x19 read as digits, "@" and "`" as 9
        // Exponents: only up to radix 10, parsed like a number of their own.
        {"1e1", 10, 10, 3},     {"1e-1", 10, 0.1, 4},   {"2.5e3", 10, 2500, 5}, {"1e3", 10, 1000, 3},
        {"1e", 10, 1, 1},       {"1ex", 10, 1, 1},      {"1e+", 10, 1, 1},      {"1e 2", 10, 100, 4},
        {"1e.", 10, 1, 3},      {"-2.5e+2", 10, -250, 7}, {"1e1e1", 10, 1e10, 5},   {"1e1.5e1", 10, 1e15, 7},
        {"1e11", 2, 8, 4},      {"1e-10000110010", 2, 0x1p-1074, 14}, {"1.1e-10000110011", 2, 0x1p-1074, 16},
        // Zero keeps its sign.
        {"-0", 10, -0.0, 2},    {"-.", 10, -0.0, 2},    {"-0e5", 10, -0.0, 4},  {"-1e-400", 10, -0.0, 7},
        // No number, or a bad radix: 0 taken and the result left alone.
        {"abc", 10, kUntouched, 0}, {"", 10, kUntouched, 0},   {"+-", 10, kUntouched, 0}, {"\t5", 10, kUntouched, 0},
        {"e5", 10, kUntouched, 0},  {"- 5", 10, kUntouched, 0}, {"12", 1, kUntouched, 0}, {"12", 37, kUntouched, 0},
        {"2", 2, kUntouched, 0},    {"\x80", 36, kUntouched, 0}, {"`", 9, kUntouched, 0},
        // Too large: (exponent - fraction digits) x ln radix past 708 first,
        // then a value past 8.2e307; neither takes the sign.
        {"1e308", 10, kTooLarge, 5},     {"0e400", 10, kTooLarge, 5},   {"0.5e308", 10, 5e307, 7},
        {"1.0e308", 10, kTooLarge, 7},   {"8.2e307", 10, 8.2e307, 7},   {"8.200000000000001e307", 10, kTooLarge, 21},
        {"-1e400", 10, kTooLarge, 6},    {"1e-1e400", 10, kTooLarge, 8}, {"1e1e1e1", 10, kTooLarge, 7},
        {std::string(400, '9') + "." + std::string(400, '9'), 10, kTooLarge, 801},
        {"1" + std::string(20, '0') + "e307", 10, kTooLarge, 25},  // the 21st digit makes it 10^327
        // Long digit runs round once, correctly, however many digits follow.
        {"0.1000000000000000055511151231257827", 10, 0.1, 36},
        {"123456789012345678901234567890", 10, 1.2345678901234568e29, 30},
        {"9007199254740993", 10, 9007199254740992.0, 16},  // halfway: to the even neighbour
        {"9007199254740995", 10, 9007199254740996.0, 16},
        {"115292150460684736e1", 10, 0x1.0000000000002p+60, 20}, {"115292150460684864e1", 10, 0x1.0000000000006p+60, 20},
        {"90071992547409950e-1", 10, 9007199254740996.0, 20},
        {"+9007199254740993.00000000000000000000001", 10, 9007199254740994.0, 41},
        {"0." + std::string(500, '3'), 10, 1.0 / 3.0, 502},
        // Subnormals and underflow, as strtod gives them.
        {"4.9406564584124654e-324", 10, 0x1p-1074, 23}, {"2.4703282292062327e-324", 10, 0.0, 23},
        {"2.4703282292062328e-324", 10, 0x1p-1074, 23}, {"1e-320", 10, 1e-320, 6},
        {"2.2250738585072011e-308", 10, 2.2250738585072011e-308, 23},
        {"0." + std::string(320, '0') + "1", 10, 1e-321, 323}, {"0." + std::string(400, '0') + "1", 10, 0, 403},
        {tie + std::string(60, '0'), 10, 0x2p-1074, static_cast<int>(tie.size()) + 60},  // past 800 digits
        {tie + std::string(600, '0') + "1", 10, 0x3p-1074, static_cast<int>(tie.size()) + 601},
        // Other radices: exact while the digits fit in 64 bits.
        {"ff.8", 16, 255.5, 4}, {"0.1", 2, 0.5, 3}, {"z.z", 36, 1295.0 / 36.0, 3}, {"0.1", 3, 1.0 / 3.0, 3},
        {"20000000000001000000.0", 16, 0x1p77, 22}, {"20000000000003.0", 16, 9007199254740996.0, 16},  // halfway
        {"1." + std::string(51, '0') + "1", 2, 1 + 0x1p-52, 54},
        {"4" + std::string(255, '0'), 16, 0x1p1022, 256},
        {"1e-1111", 3, 8.225263339969959e-20, 7},  // 3^-40
    };
    // clang-format on
    // The same answers whatever the C locale says about the decimal separator.
    char const* comma = nullptr;
    for (char const* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German", "deu"})
        if (!comma && std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') comma = name;
    for (char const* locale : {"C", comma}) {
        if (!locale || !std::setlocale(LC_ALL, locale)) continue;
        for (Case const& c : cases) {
            Parsed const p = Parse(c.text, c.radix);
            std::string const where = c.text.substr(0, 24) + " radix " + std::to_string(c.radix) + " in " + locale;
            EXPECT_EQ(p.count, c.count) << where;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(p.value), std::bit_cast<std::uint64_t>(c.value))
                << where << ": " << Show(p.value) << " instead of " << Show(c.value);
        }
    }
    std::setlocale(LC_ALL, "C");

    double value = kUntouched;
    EXPECT_EQ(NonLocal::StringToDouble(nullptr, &value, 10) + NonLocal::StringToDouble("12", nullptr, 10), 0);
    EXPECT_EQ(value, kUntouched);
}

// An exponent with a fraction is no whole power: its value goes through exp
// and ln and is close, not exact.  Digits beyond 64 bits in radices other
// than 10 and the powers of two are cut: the result is still next to the
// correctly rounded value.
TEST(StringToDouble, CloseValues) {
    // clang-format off
    struct Case { char const* text; int radix; double value; std::uint64_t places; };
    Case const cases[] = {
        {"1e.5", 10, 3.1622776601683795, 4},  {"100e0.1", 2, 5.6568542494923806, 4},
        {"1e1.55e1", 10, 3.1622776601683795e15, 16}, {"100000000000000000000e.5", 10, 3.1622776601683795e20, 4},
        {"-1e-1e-1e-1e-1e-1", 10, -0.20374209674284052, 4},  // -1 x 10^(the rest), innermost first
        {"zzzzzzzzzzzzzzzzzzzzzzzz", 36, 2.245225770735456e37, 1},  // 36^24 - 1
        {"666666666666666666666666666666", 7, 2.2539340290692256e25, 1},  // 7^30 - 1
        {"0.22222222222222222222222222222222222222222222222222", 3, 1.0, 1},  // 1 - 3^-50
    };
    // clang-format on
    for (Case const& c : cases) {
        Parsed const p = Parse(c.text, c.radix);
        EXPECT_EQ(p.count, static_cast<int>(std::string(c.text).size())) << c.text;
        std::int64_t const apart = std::bit_cast<std::int64_t>(p.value) - std::bit_cast<std::int64_t>(c.value);
        EXPECT_LE(static_cast<std::uint64_t>(std::llabs(apart)), c.places)
            << c.text << ": " << Show(p.value) << " instead of " << Show(c.value);
    }
}

}  // namespace
