// NonLocal::StringToDouble: numbers in any radix from 2 to 36 with "." as
// the fraction point, whatever the C locale says.  Nothing here consults the
// locale or any other state, so any thread may call it at any time.
//
// Values: a number with a whole exponent (no exponent counts as 0) is its
// digits, f of them after the point, times radix^(exponent - f), and comes
// out as the double nearest to that, ties to even: in radix 10 exactly what
// strtod gives in the "C" locale, so "1e1" is 10 and "0.1" is 0.1.  That
// holds at the bottom too, where exp((exponent - f) x ln radix) x m would
// turn subnormal below 2.2e-308 and 0 below 4.9e-324, and m / radix^f would
// give 0 once the divisor overflows (past 308 fraction digits): a number
// above half the smallest subnormal (2.47e-324) gives the nearest subnormal
// or normal double, one up to that half gives 0, and zero keeps the text's
// sign ("-1e-400" is -0).  The other radices are exact in the same way while
// their nonzero digits fit in 64 bits (12 or more digits in radix 36, 64 in
// radix 2; in radices 2, 4, 8, 16 and 32 without limit).  Digits beyond that
// are cut with a marker for "more follows", which moves the number by less
// than 36 / 2^64 (about 2e-18) of itself before it is rounded: the result is
// then one of the two doubles around the exact value.
//
// An exponent with a fraction ("1e0.5") makes the power no whole number; the
// value is then exp((exponent - f) x ln radix) x m, with m the digits as a
// double (the leading 64 bits' worth of digits, the power of those after
// them carried into the exponent), close but not always correctly rounded.
//
// The limits stand before all of this: (exponent - f) x ln radix above 708
// gives 8.988e307, then any value above 8.2e307 gives 8.988e307.  Neither
// takes the text's sign: "-1e400" is +8.988e307, so "1e-1e400" is too.
#include <zelk/binchar.h>

#include "util/big_natural.h"
#include "util/nearest_double.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Past this exponent (as a power of e) the value counts as too large.
constexpr double kLargestExponent = 708.0;
// The largest value let through, and what anything larger becomes.
constexpr double kLargestValue = 8.2e307;
constexpr double kTooLarge = 8.988e307;

// Significant decimal digits that settle the rounding of any number: a
// point halfway between two doubles has at most 768 of them, so digits
// beyond 800 only matter through whether any of them is nonzero.
constexpr int kDecimalDigitsKept = 800;

// The value of byte c as a digit: its signed value with bit 0x20 set, so
// upper and lower case read alike; negative or >= radix means no digit.
inline int DigitValue(char c) {
    int const d = static_cast<int>(static_cast<signed char>(c)) | 0x20;
    return d > 0x39 ? d - 0x57 : d - 0x30;
}

inline bool IsDigit(char c, int radix, int& value) {
    value = DigitValue(c);
    return value >= 0 && value < radix;
}

// One number without its exponent part (ParseSegment sets every field).
struct Segment {
    bool negative;
    char const* integerDigits;
    std::int64_t integerCount;
    char const* fractionDigits;  // after the point
    std::int64_t fractionCount;
    std::uint64_t head;  // the leading digits, as many as fit in 64 bits
    std::int64_t dropped;  // digits after those in head
    bool droppedNonzero;
};

// The largest head that one more digit cannot push past 2^64, by radix.
constexpr auto kHeadLimits = [] {
    std::array<std::uint64_t, 37> limits{};
    for (int radix = 2; radix <= 36; ++radix)
        limits[radix] = (~std::uint64_t(0) - std::uint64_t(radix - 1)) / std::uint64_t(radix);
    return limits;
}();

// Reads blanks, signs, digits and the point of one number; returns the
// bytes taken, or 0 when no number stands there.  Texts may be longer than
// an int can count.
std::size_t ParseSegment(char const* text, int radix, Segment& segment) {
    std::size_t i = 0;
    while (text[i] == ' ') ++i;  // blanks only: a tab ends the text's number
    bool negative = false;
    while (text[i] == '-' || text[i] == '+') {
        if (text[i] == '-') negative = !negative;
        ++i;
    }
    std::uint64_t const headLimit = kHeadLimits[radix];
    std::uint64_t head = 0;
    std::int64_t dropped = 0;
    bool droppedNonzero = false;
    int value = 0;
    auto const take = [&](int digit) {
        if (head <= headLimit) {
            head = head * std::uint64_t(radix) + std::uint64_t(digit);
        } else {
            ++dropped;
            droppedNonzero = droppedNonzero || digit != 0;
        }
    };
    std::size_t const integerStart = i;
    for (; IsDigit(text[i], radix, value); ++i) take(value);
    std::size_t const integerCount = i - integerStart;
    std::size_t fractionStart = i;
    if (text[i] == '.') {
        fractionStart = ++i;
        for (; IsDigit(text[i], radix, value); ++i) take(value);
    } else if (integerCount == 0) {
        return 0;
    }
    segment.negative = negative;
    segment.integerDigits = text + integerStart;
    segment.integerCount = static_cast<std::int64_t>(integerCount);
    segment.fractionDigits = text + fractionStart;
    segment.fractionCount = static_cast<std::int64_t>(i - fractionStart);
    segment.head = head;
    segment.dropped = dropped;
    segment.droppedNonzero = droppedNonzero;
    return i;
}

// The decimal digits of a segment as one natural number, leading zeros
// skipped and cut after kDecimalDigitsKept with a final 1 standing for any
// nonzero digits cut; *power grows by the digits cut away.
zelk::BigNatural DecimalDigits(Segment const& segment, std::int64_t* power) {
    zelk::BigNatural digits;
    int kept = 0;
    std::int64_t cut = 0;
    bool cutNonzero = false;
    std::uint32_t chunk = 0, chunkScale = 1;
    auto const add = [&](char c) {
        int const digit = DigitValue(c);
        if (kept == 0 && digit == 0) return;
        if (kept == kDecimalDigitsKept) {
            ++cut;
            cutNonzero = cutNonzero || digit != 0;
            return;
        }
        ++kept;
        chunk = chunk * 10 + static_cast<std::uint32_t>(digit);
        chunkScale *= 10;
        if (chunkScale == 1000000000) {
            digits.MultiplyAdd(chunkScale, chunk);
            chunk = 0;
            chunkScale = 1;
        }
    };
    for (std::int64_t i = 0; i < segment.integerCount; ++i) add(segment.integerDigits[i]);
    for (std::int64_t i = 0; i < segment.fractionCount; ++i) add(segment.fractionDigits[i]);
    if (cutNonzero) {
        chunk = chunk * 10 + 1;
        chunkScale *= 10;
        --cut;
    }
    digits.MultiplyAdd(chunkScale, chunk);
    *power += cut;
    return digits;
}

// The segment's digits times radix^exponent for a whole exponent, rounded
// to the nearest double (infinity past the largest one).
double Nearest(Segment const& segment, double exponent, int radix) {
    if (segment.head == 0) return 0.0;  // all digits zero
    // head's last digit weighs radix^power; beyond +-5000 the value is 0 or
    // infinite in every radix, and power fits in an int.
    double const power = exponent - static_cast<double>(segment.fractionCount) + static_cast<double>(segment.dropped);
    if (power > 5000) return HUGE_VAL;
    if (power < -5000) return 0.0;
    int const wholePower = static_cast<int>(power);
    if (radix == 10) {
        double value = 0;
        if (zelk::NearestDecimalQuick(segment.head, wholePower, segment.droppedNonzero, &value)) return value;
        std::int64_t digitsPower = std::int64_t(wholePower) - segment.dropped;
        zelk::BigNatural const digits = DecimalDigits(segment, &digitsPower);
        return zelk::NearestDouble(digits, 10, digitsPower);
    }
    zelk::BigNatural digits(segment.head);
    if (!segment.droppedNonzero) return zelk::NearestDouble(digits, radix, wholePower);
    // Cut digits: a 1 one place further down marks that more follows.
    digits.MultiplyAdd(static_cast<std::uint32_t>(radix), 1);
    return zelk::NearestDouble(digits, radix, std::int64_t(wholePower) - 1);
}

// Every double from 2^52 on is a whole number.
bool IsWhole(double x) { return std::fabs(x) >= 0x1p52 || static_cast<double>(static_cast<std::int64_t>(x)) == x; }

// The value of a segment raised by `exponent` powers of the radix.
double Evaluate(Segment const& segment, double exponent, int radix) {
    double const places = exponent - static_cast<double>(segment.fractionCount);
    // Below 190 places the exponent limit is out of reach in every radix
    // (190 x ln 36 < 708), so the logarithm is only taken near it.
    if (places > 190 && places * std::log(double(radix)) > kLargestExponent) return kTooLarge;
    double value;
    if (exponent == 0 && segment.fractionCount == 0 && segment.dropped == 0) {
        value = static_cast<double>(segment.head);  // a plain integer: one rounding
    } else if (IsWhole(exponent)) {
        value = Nearest(segment, exponent, radix);
    } else {
        double const m = static_cast<double>(segment.head);
        value = std::exp((places + static_cast<double>(segment.dropped)) * std::log(double(radix))) * m;
    }
    if (value > kLargestValue) return kTooLarge;
    return segment.negative ? -value : value;
}

// A number and its chain of exponents, outermost first.  The first few live
// here; only a long chain ("1e0e0e0...") takes memory.  Segments are parsed
// in place, never copied.
class SegmentChain {
public:
    Segment& Add() {
        ++m_size;
        if (m_size <= kInline) return m_inline[m_size - 1];
        return m_more.emplace_back();
    }
    void RemoveLast() {
        if (m_size-- > kInline) m_more.pop_back();
    }
    Segment const& operator[](int i) const { return i < kInline ? m_inline[i] : m_more[i - kInline]; }
    int Size() const { return m_size; }

private:
    static constexpr int kInline = 4;
    Segment m_inline[kInline];
    std::vector<Segment> m_more;
    int m_size = 0;
};

bool StartsExponent(char c) { return c == 'e' || c == 'E'; }

}  // namespace

namespace NonLocal {

int StringToDouble(char const* text, double* result, int radix) {
    if (radix < 2 || radix > 36 || !text || !result) return 0;
    SegmentChain chain;
    std::size_t count = ParseSegment(text, radix, chain.Add());
    if (count == 0) return 0;
    // An exponent (only up to radix 10: from 11 on "e" ends the number, from
    // 15 on it is a digit) is itself a full number, which may carry an
    // exponent of its own ("1e1e1" is 1e10).  The chain is read forwards and
    // evaluated from its innermost end, without recursion, so a long chain
    // cannot exhaust the stack.  An "e" not followed by a number is not taken.
    while (radix <= 10 && StartsExponent(text[count])) {
        std::size_t const taken = ParseSegment(text + count + 1, radix, chain.Add());
        if (taken == 0) {
            chain.RemoveLast();
            break;
        }
        count += taken + 1;
    }
    // A count the result cannot carry: no number a caller could go on behind.
    if (count > static_cast<std::size_t>(INT_MAX)) return 0;
    double value = 0.0;
    for (int i = chain.Size() - 1; i >= 0; --i) value = Evaluate(chain[i], value, radix);
    *result = value;
    return static_cast<int>(count);
}

}  // namespace NonLocal
