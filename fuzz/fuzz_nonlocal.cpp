// StringToDouble on arbitrary text and radices.  The count is checked
// against a direct, recursive reading of the parsing rules; the value
// against the C library in the "C" locale, bit for bit: strtod_l on the
// same digits in radix 10, on the same bits as a hexadecimal text in the
// radices 2, 4, 8, 16 and 32, and a long double product in the other radices
// (close: within one place).  The limits (exponent - fraction digits) x
// ln radix > 708 and value > 8.2e307 give +8.988e307 before any comparison.
// Seeds: fuzz/corpus/nonlocal (first byte '3' is radix 10, '9' radix 16).
#include <zelk/binchar.h>

#include <locale.h>
#include <stdlib.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kTooLarge = 8.988e307;

void Check(bool condition) {
    if (!condition) std::abort();
}

int Digit(char c) {
    int const d = static_cast<int>(static_cast<signed char>(c)) | 0x20;
    return d > 0x39 ? d - 0x57 : d - 0x30;
}

bool IsDigit(char c, int radix) { return Digit(c) >= 0 && Digit(c) < radix; }

double CLocaleStrtod(std::string const& text) {
    static locale_t const c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return strtod_l(text.c_str(), nullptr, c);
}

long long Clamped(double power) { return static_cast<long long>(std::fmax(-1e6, std::fmin(1e6, power))); }

// digits x radix^power, correctly rounded by the C library, for radix 10
// and the powers of two.
double Exact(std::vector<int> const& digits, bool negative, int radix, double power) {
    std::string text = negative ? "-" : "";
    if (radix == 10) {
        text += "0";
        for (int d : digits) text += static_cast<char>('0' + d);
        return CLocaleStrtod(text + "e" + std::to_string(Clamped(power)));
    }
    int const bitsPerDigit = std::countr_zero(static_cast<unsigned>(radix));
    std::string bits;
    for (int d : digits)
        for (int b = bitsPerDigit - 1; b >= 0; --b) bits += (d >> b) & 1 ? '1' : '0';
    while (bits.size() % 4 != 0) bits.insert(bits.begin(), '0');
    text += "0x0";
    for (std::size_t i = 0; i < bits.size(); i += 4)
        text += "0123456789abcdef"[std::stoi(bits.substr(i, 4), nullptr, 2)];
    return CLocaleStrtod(text + "p" + std::to_string(Clamped(power * bitsPerDigit)));
}

struct Expected {
    int count = 0;
    bool exact = false;  // value is the bit pattern to expect
    bool close = false;  // value is within a place of the answer
    double value = 0;
};

// Returns false when the chain of exponents is too deep to follow here.
bool Read(char const* text, int radix, int depth, Expected& out) {
    if (depth > 300) return false;
    out = Expected{};
    if (radix < 2 || radix > 36) return true;
    int i = 0;
    while (text[i] == ' ') ++i;
    bool negative = false;
    while (text[i] == '-' || text[i] == '+') negative ^= text[i++] == '-';
    std::vector<int> digits;
    int n = 0, f = 0;
    for (; IsDigit(text[i], radix); ++i, ++n) digits.push_back(Digit(text[i]));
    if (text[i] == '.') {
        for (++i; IsDigit(text[i], radix); ++i, ++f) digits.push_back(Digit(text[i]));
    } else if (n == 0) {
        return true;
    }
    double exponent = 0;
    bool exponentKnown = true;
    if (radix <= 10 && (text[i] == 'e' || text[i] == 'E')) {
        Expected inner;
        if (!Read(text + i + 1, radix, depth + 1, inner)) return false;
        if (inner.count != 0) {
            i += inner.count + 1;
            exponent = inner.value;
            exponentKnown = inner.exact;
        }
    }
    out.count = i;
    if (!exponentKnown) return true;

    double const power = exponent - f;
    if (power * std::log(double(radix)) > 708.0) {
        out.exact = true;
        out.value = kTooLarge;
        return true;
    }
    double value;
    long double m = 0;
    int significant = 0;
    for (int d : digits) {
        m = m * radix + d;
        significant += significant > 0 || d != 0;
    }
    if (exponent != std::floor(exponent)) {
        if (m >= 0x1p53L) return true;  // the digits themselves were rounded
        value = std::exp(power * std::log(double(radix))) * static_cast<double>(m);
        out.exact = true;
    } else if (radix == 10 || std::has_single_bit(static_cast<unsigned>(radix))) {
        value = std::fabs(Exact(digits, false, radix, power));
        out.exact = true;
    } else {
        // Up to 100 digits the long double sum is good to 2^-57 of itself.
        value = static_cast<double>(m * std::pow(static_cast<long double>(radix), static_cast<long double>(power)));
        out.close = significant <= 100 && (value < 8.1e307 || value > 8.3e307);  // not too near the limit to say
    }
    if (value > 8.2e307) {
        value = kTooLarge;
    } else if (negative) {
        value = -value;
    }
    out.value = value;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size < 1) return 0;
    int const radix = static_cast<int>(data[0] % 40) - 1;
    std::string const text(reinterpret_cast<char const*>(data + 1), size - 1);  // stops at a zero byte

    double value = 1234.5;
    int const count = NonLocal::StringToDouble(text.c_str(), &value, radix);
    Expected expected;
    if (!Read(text.c_str(), radix, 0, expected)) return 0;
    Check(count == expected.count);
    if (count == 0) {
        Check(value == 1234.5);
        return 0;
    }
    Check(!std::isnan(value) && !std::isinf(value) && std::fabs(value) <= kTooLarge);
    if (expected.exact) Check(std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(expected.value));
    if (expected.close) {
        double const magnitude = std::fabs(expected.value);
        double const place = std::nextafter(magnitude, INFINITY) - magnitude;
        Check(std::fabs(value - expected.value) <= place * 1.1);
    }
    return 0;
}
