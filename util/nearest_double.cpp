// Correctly rounded scaling of natural numbers to double.
//
// Decimal numbers go first through a 64 x 128-bit product with a table of
// powers of five rounded down to 128 bits: the product brackets the exact
// value closely enough to settle the rounding for all but a vanishing share
// of inputs.  What it cannot settle, and every other radix, goes through
// exact big-number comparisons with the points halfway between neighbouring
// doubles.  Everything is integer arithmetic; only the quick path for short
// decimals multiplies doubles, and only where the compiler rounds each double
// operation once (not on x87 with extended precision, where a product would
// be rounded twice).
#include "util/nearest_double.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

namespace zelk {
namespace {

constexpr std::uint64_t kInfinityBits = 0x7FF0000000000000u;
constexpr int kSmallestPower = -342;  // 2^64 x 10^-343 is below half the smallest double
constexpr int kLargestPower = 308;  // 1 x 10^309 is above the largest double

// ---- powers of five ----

// 5^q = (high x 2^64 + low + d) x 2^binaryExponent with 0 <= d < 1 and the
// top bit of high set: the power rounded down to 128 bits.
struct PowerOfFive {
    std::uint64_t high;
    std::uint64_t low;
    int binaryExponent;
};

constexpr PowerOfFive Top128(BigNatural value, int binaryExponent) {
    int const length = value.BitLength();
    if (length < 128) value.ShiftLeft(128 - length);
    int const from = std::max(length - 128, 0);
    return {value.Bits(from + 64, 64), value.Bits(from, 64), binaryExponent + length - 128};
}

// 5^q for q >= 0 exactly, then 5^-q as 2^1216 / 5^q rounded down (dividing
// the rounded-down quotient by 5 again rounds down the same as dividing the
// exact one), which keeps over 400 bits for the smallest power.
constexpr auto kPowersOfFive = [] {
    std::array<PowerOfFive, kLargestPower - kSmallestPower + 1> table{};
    BigNatural power(1);
    for (int q = 0; q <= kLargestPower; ++q) {
        table[q - kSmallestPower] = Top128(power, 0);
        power.MultiplyAdd(5, 0);
    }
    constexpr int kScale = 1216;
    BigNatural quotient(1);
    quotient.ShiftLeft(kScale);
    for (int q = -1; q >= kSmallestPower; --q) {
        quotient.Divide(5);
        table[q - kSmallestPower] = Top128(quotient, -kScale);
    }
    return table;
}();

constexpr int kLargestExactPower = 55;  // 5^55 < 2^128 <= 5^56

// ---- bits of doubles ----

// mantissa x 2^exponent as the bits of a double, where the mantissa already
// has its final width: [2^52, 2^53] for normal numbers (2^53 after rounding
// up carries into the exponent), below 2^52 only with exponent -1074.
std::uint64_t Compose(std::uint64_t mantissa, int exponent) {
    std::uint64_t const bits = (std::uint64_t(exponent + 1074) << 52) + mantissa;
    return bits >= kInfinityBits ? kInfinityBits : bits;
}

// ---- decimal numbers from a 192-bit product ----

struct Product {
    std::uint64_t high;
    std::uint64_t low;
};

Product Multiply64(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 Wide;  // a compiler extension, hence the marker
    Wide const p = static_cast<Wide>(a) * b;
    return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#else
    std::uint64_t const aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
    std::uint64_t const bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    std::uint64_t const ll = aLow * bLow, lh = aLow * bHigh, hl = aHigh * bLow, hh = aHigh * bHigh;
    std::uint64_t const middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & 0xFFFFFFFFu)};
#endif
}

struct Rounding {
    std::uint64_t bits;  // the nearest double, or when unsure the one just below
    bool sure;
};

// w x 10^q for 0 < w, kSmallestPower <= q <= kLargestPower.  The product of
// w (shifted to fill 64 bits) with the table entry is Z = (z2, z1, z0); the
// exact value lies in [Z, Z + 2^64) in the same units, and at a single point
// when the entry is exact and w holds every digit.
Rounding RoundProduct(std::uint64_t w, int q, bool exactDigits) {
    PowerOfFive const& power = kPowersOfFive[q - kSmallestPower];
    int const zeros = std::countl_zero(w);
    std::uint64_t const normal = w << zeros;
    Product const upper = Multiply64(normal, power.high);
    Product const lower = Multiply64(normal, power.low);
    std::uint64_t const z0 = lower.low;
    std::uint64_t const z1 = upper.low + lower.high;
    std::uint64_t const z2 = upper.high + (z1 < lower.high ? 1 : 0);

    // Bit 0 of Z weighs 2^scale; the double's last place falls on bit `last`.
    int const topBit = (z2 >> 63) != 0 ? 191 : 190;
    int const scale = power.binaryExponent + q - zeros;
    int const last = std::max(topBit - 52, -1074 - scale);
    if (last > 191) return {0, false};  // below the smallest double: the exact path decides

    int const cut = last - 128;  // 10 to 63: the last place lies in z2
    std::uint64_t const mantissa = z2 >> cut;
    std::uint64_t const rest = z2 & ((std::uint64_t(1) << cut) - 1);
    std::uint64_t const half = std::uint64_t(1) << (cut - 1);
    bool const restOfTail = (z1 | z0) != 0;
    int const exponent = last + scale;

    bool up;
    if (exactDigits && q >= 0 && q <= kLargestExactPower) {
        // Z is the exact value: a true tie rounds to the even neighbour.
        up = rest > half || (rest == half && (restOfTail || (mantissa & 1) != 0));
    } else if (rest > half || (rest == half && restOfTail)) {
        up = true;  // above the halfway point however much the tail grows
    } else if (rest < half - 1 || (rest == half - 1 && z1 != ~std::uint64_t(0))) {
        up = false;  // adding less than 2^64 cannot reach the halfway point
    } else {
        return {Compose(mantissa, exponent), false};
    }
    return {Compose(mantissa + (up ? 1 : 0), exponent), true};
}

// ---- exact rounding with big numbers ----

// b x 2^shift rounded to the nearest double; b > 0.
double RoundToDouble(BigNatural const& b, std::int64_t shift) {
    int const length = b.BitLength();
    if (length - 1 + shift > 1023) return std::numeric_limits<double>::infinity();
    std::int64_t const last = std::max<std::int64_t>(length - 53, -1074 - shift);
    if (last > length) return 0.0;  // below half the smallest double
    int const place = static_cast<int>(last);
    std::uint64_t mantissa;
    if (place <= 0) {
        mantissa = b.Bits(0, 64) << -place;  // fits in 53 bits: exact
    } else {
        mantissa = b.Bits(place, length - place);
        bool const halfBit = b.Bits(place - 1, 1) != 0;
        if (halfBit && (b.AnyBitBelow(place - 1) || (mantissa & 1) != 0)) ++mantissa;
    }
    return std::bit_cast<double>(Compose(mantissa, static_cast<int>(last + shift)));
}

// Compares digits x 2^shift / divisor with the point halfway between the
// double with these bits and the next one up: -1, 0 or 1.
int CompareWithHalfway(BigNatural const& digits, std::int64_t shift, BigNatural const& divisor, std::uint64_t bits) {
    int const field = static_cast<int>(bits >> 52);
    std::uint64_t mantissa = bits & ((std::uint64_t(1) << 52) - 1);
    int exponent = -1074;
    if (field != 0) {
        mantissa |= std::uint64_t(1) << 52;
        exponent = field - 1075;
    }
    // halfway = (2 mantissa + 1) x 2^(exponent - 1); both sides times divisor.
    BigNatural left = digits;
    BigNatural right = divisor;
    right.Multiply(2 * mantissa + 1);
    std::int64_t const difference = shift - (exponent - 1);
    if (difference > 0)
        left.ShiftLeft(static_cast<int>(difference));
    else
        right.ShiftLeft(static_cast<int>(-difference));
    return Compare(left, right);
}

// The odd part of a radix and its power of two: 10 = 5 x 2^1, 24 = 3 x 2^3.
struct RadixParts {
    std::uint32_t odd;
    int twos;
};

RadixParts Split(int radix) {
    int const twos = std::countr_zero(static_cast<unsigned>(radix));
    return {static_cast<std::uint32_t>(radix >> twos), twos};
}

// Top 64 bits of b as a double and the power of two that scales them.
double Leading(BigNatural const& b, int& shift) {
    shift = std::max(b.BitLength() - 64, 0);
    return static_cast<double>(b.Bits(shift, 64));
}

}  // namespace

bool NearestDecimalQuick(std::uint64_t head, int power, bool cut, double* result) {
    if (head == 0 || power < kSmallestPower) {
        *result = 0.0;
        return true;
    }
    if (power > kLargestPower) {
        *result = std::numeric_limits<double>::infinity();
        return true;
    }
#if FLT_EVAL_METHOD == 0
    // Both factors exact in a double: one rounding, the right one.
    static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!cut && head <= (std::uint64_t(1) << 53) && power >= -22 && power <= 22) {
        double const m = static_cast<double>(head);
        *result = power >= 0 ? m * kExactPowers[power] : m / kExactPowers[-power];
        return true;
    }
#endif
    Rounding const low = RoundProduct(head, power, !cut);
    if (!low.sure) return false;
    if (cut) {
        // The number lies strictly between head and head + 1: both ends
        // must round alike.
        Rounding const high = RoundProduct(head + 1, power, false);
        if (!high.sure || high.bits != low.bits) return false;
    }
    *result = std::bit_cast<double>(low.bits);
    return true;
}

double NearestDouble(BigNatural digits, int radix, std::int64_t power) {
    if (digits.IsZero()) return 0.0;
    RadixParts const parts = Split(radix);
    // Far outside the doubles, say so before the numbers grow: the bounds
    // keep every big number below 3000 bits.
    double const magnitude = static_cast<double>(power) * std::log2(static_cast<double>(radix));
    if (digits.BitLength() - 1 + magnitude > 1026) return std::numeric_limits<double>::infinity();
    if (digits.BitLength() + magnitude < -1078) return 0.0;

    std::int64_t const shift = parts.twos * power;
    if (power >= 0 || parts.odd == 1) {
        if (power > 0) digits.MultiplyPower(parts.odd, power);
        return RoundToDouble(digits, shift);
    }

    // digits x 2^shift / odd^-power: start from a quotient of the leading
    // bits (a few places off at most) and step to the exact answer.
    BigNatural divisor(1);
    divisor.MultiplyPower(parts.odd, -power);
    int digitsShift = 0, divisorShift = 0;
    double const top = Leading(digits, digitsShift);
    double const bottom = Leading(divisor, divisorShift);
    double const guess = std::ldexp(top / bottom, static_cast<int>(digitsShift - divisorShift + shift));
    std::uint64_t bits = std::min(std::bit_cast<std::uint64_t>(guess), kInfinityBits);

    auto const roundsUp = [&](std::uint64_t below) {  // past the halfway point above `below`?
        int const c = CompareWithHalfway(digits, shift, divisor, below);
        return c > 0 || (c == 0 && (below & 1) != 0);
    };
    while (bits > 0 && !roundsUp(bits - 1)) --bits;
    while (bits < kInfinityBits && roundsUp(bits)) ++bits;
    return std::bit_cast<double>(bits);
}

}  // namespace zelk
