// The double nearest to a natural number times a power of its radix, ties to
// even, as a C library's correctly rounded conversions give it.  Results are
// never negative; a value beyond the largest double gives infinity.
#pragma once

#include "util/big_natural.h"

#include <cstdint>

namespace zelk {

// head × 10^power from 64-bit integer arithmetic alone: true and *result
// set when it can tell the nearest double apart from its neighbours, false
// when only an exact computation can.  `cut` says that nonzero digits
// followed the ones in head (so the number lies strictly between head and
// head + 1 times the power).
bool NearestDecimalQuick(std::uint64_t head, int power, bool cut, double* result);

// digits × radix^power, exactly rounded; radix 2 to 36.
double NearestDouble(BigNatural digits, int radix, std::int64_t power);

}  // namespace zelk
