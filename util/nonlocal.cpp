// NonLocal::StringToDouble: numbers in any radix from 2 to 36 with "." as
// the fraction point, whatever the C locale says.  Nothing here consults the
// locale or any other state, so any thread may call it at any time.
#include <zelk/binchar.h>

#include <cmath>
#include <vector>

namespace {

// Past this exponent (as a power of e) the value counts as too large.
constexpr double kLargestExponent = 708.0;
// The largest value let through, and what anything larger becomes.
constexpr double kLargestValue = 8.2e307;
constexpr double kTooLarge = 8.988e307;

// Once the mantissa reaches this size, further digits no longer change the
// double it rounds to; integer digits then only scale the value by the radix
// and fraction digits are dropped.  This keeps the mantissa finite for texts
// of hundreds of digits, where summing them all would give infinity (and
// infinity / infinity a NaN).  Below the limit every digit goes in.
constexpr double kMantissaLimit = 1e290;

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

// One number without its exponent part.
struct Segment {
    bool negative = false;
    double mantissa = 0.0;   // all digits taken, the point skipped
    double divisor = 1.0;    // radix ^ fractionDigits
    int fractionDigits = 0;  // digits after the point that went into the mantissa
    int droppedDigits = 0;   // integer digits past the mantissa limit
};

// Reads blanks, signs, digits and the point of one number; returns the
// bytes taken, or 0 when no number stands there.
int ParseSegment(char const* text, int radix, Segment& segment) {
    int i = 0;
    while (text[i] == ' ') ++i;  // blanks only: a tab ends the text's number
    bool negative = false;
    while (text[i] == '-' || text[i] == '+') {
        if (text[i] == '-') negative = !negative;
        ++i;
    }
    double mantissa = 0.0;
    double divisor = 1.0;
    int fraction = 0;
    int dropped = 0;
    int integerDigits = 0;
    int value = 0;
    for (; IsDigit(text[i], radix, value); ++i, ++integerDigits) {
        if (mantissa < kMantissaLimit)
            mantissa = mantissa * radix + value;
        else
            ++dropped;
    }
    if (text[i] == '.') {
        ++i;
        for (; IsDigit(text[i], radix, value); ++i) {
            if (mantissa < kMantissaLimit) {
                mantissa = mantissa * radix + value;
                divisor *= radix;
                ++fraction;
            }
        }
    } else if (integerDigits == 0) {
        return 0;
    }
    segment.negative = negative;
    segment.mantissa = mantissa;
    segment.divisor = divisor;
    segment.fractionDigits = fraction;
    segment.droppedDigits = dropped;
    return i;
}

// The value of a segment raised by `exponent` powers of the radix.  A value
// too large keeps the sign of its text: "-1e400" gives -8.988e307.
double Evaluate(Segment const& segment, double exponent, int radix) {
    double value;
    if (exponent == 0.0 && segment.droppedDigits == 0) {
        // The everyday case: one exact division, no exp or log.
        value = segment.mantissa / segment.divisor;
    } else {
        double const power = (exponent + segment.droppedDigits - segment.fractionDigits) * std::log(double(radix));
        if (power > kLargestExponent) return segment.negative ? -kTooLarge : kTooLarge;
        value = std::exp(power) * segment.mantissa;
    }
    if (value > kLargestValue) value = kTooLarge;
    return segment.negative ? -value : value;
}

bool StartsExponent(char c) { return c == 'e' || c == 'E'; }

}  // namespace

namespace NonLocal {

int StringToDouble(char const* text, double* result, int radix) {
    if (radix < 2 || radix > 36 || !text || !result) return 0;
    Segment first;
    int count = ParseSegment(text, radix, first);
    if (count == 0) return 0;
    // From radix 11 on "e" is no exponent mark (from 15 on it is a digit).
    if (radix > 10 || !StartsExponent(text[count])) {
        *result = Evaluate(first, 0.0, radix);
        return count;
    }
    // An exponent is itself a full number, which may carry an exponent of
    // its own ("1e1e1" is 1e10).  The chain is read forwards and evaluated
    // from its innermost end, without recursion, so a long chain cannot
    // exhaust the stack.  An "e" not followed by a number is not taken.
    std::vector<Segment> chain{first};
    while (StartsExponent(text[count])) {
        Segment next;
        int const taken = ParseSegment(text + count + 1, radix, next);
        if (taken == 0) break;
        chain.push_back(next);
        count += taken + 1;
    }
    double value = 0.0;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) value = Evaluate(*it, value, radix);
    *result = value;
    return count;
}

}  // namespace NonLocal
