// StringToDouble on arbitrary text and radices, checked against a direct,
// recursive reading of the parsing rules (for mantissas small enough that
// summing every digit stays exact enough to compare).
#include <zelk/binchar.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

int Digit(char c) {
    int const d = static_cast<int>(static_cast<signed char>(c)) | 0x20;
    return d > 0x39 ? d - 0x57 : d - 0x30;
}

// Returns the count; `huge` is set when a mantissa got too large to compare.
int Reference(char const* text, double* result, int radix, bool& huge, bool& deep, int depth) {
    if (radix < 2 || radix > 36) return 0;
    int i = 0;
    while (text[i] == ' ') ++i;
    bool negative = false;
    while (text[i] == '-' || text[i] == '+') negative ^= text[i++] == '-';
    double m = 0, divisor = 1;
    int n = 0, f = 0;
    for (; Digit(text[i]) >= 0 && Digit(text[i]) < radix; ++i, ++n) m = m * radix + Digit(text[i]);
    if (text[i] == '.') {
        ++i;
        for (; Digit(text[i]) >= 0 && Digit(text[i]) < radix; ++i, ++f) {
            m = m * radix + Digit(text[i]);
            divisor *= radix;
        }
    } else if (n == 0) {
        return 0;
    }
    if (m >= 1e290) huge = true;
    double exponent = 0;
    if (radix <= 10 && (text[i] == 'e' || text[i] == 'E') && depth < 200) {
        int const taken = Reference(text + i + 1, &exponent, radix, huge, deep, depth + 1);
        if (taken == 0)
            exponent = 0;
        else
            i += taken + 1;
    } else if (radix <= 10 && (text[i] == 'e' || text[i] == 'E')) {
        deep = true;  // too deep to follow here; only the crash checks apply
    }
    *result = 0.0;
    double const x = (exponent - f) * std::log(double(radix));
    double value;
    if (x > 708.0) {
        value = 8.988e307;
    } else {
        value = exponent == 0.0 ? m / divisor : std::exp(x) * m;
        if (value > 8.2e307) value = 8.988e307;
    }
    *result = negative ? -value : value;  // a too large value keeps its sign
    return i;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size < 1) return 0;
    int const radix = static_cast<int>(data[0] % 40) - 1;
    std::string const text(reinterpret_cast<char const*>(data + 1), size - 1);  // stops at a zero byte

    double value = 1234.5;
    int const count = NonLocal::StringToDouble(text.c_str(), &value, radix);
    Check(count >= 0 && static_cast<std::size_t>(count) <= std::strlen(text.c_str()));
    if (count == 0) {
        Check(value == 1234.5);
        return 0;
    }
    Check(!std::isnan(value) && !std::isinf(value));
    Check(std::fabs(value) <= 8.988e307);

    double expected = 0;
    bool huge = false;
    bool deep = false;
    int const expectedCount = Reference(text.c_str(), &expected, radix, huge, deep, 0);
    if (deep) return 0;
    Check(expectedCount == count);
    if (!huge) Check(value == expected);
    return 0;
}
