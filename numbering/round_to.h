// RoundTo: the amounts' rounding, to a number of decimals, halves away from
// zero, done as the platform's Format with "0.##" does it: on the value's
// 15-significant-digit decimal form (so 1.005 rounds to 1.01 although the
// double is slightly below 1.005).
//
// Thread-safety: pure function.
#pragma once

#include <cstdint>

namespace tovan::numbering {

double RoundTo(double value, int16_t decimals);

}  // namespace tovan::numbering
