#pragma once

#include <cstdint>

namespace Vrenn {

// IEEE binary16 ("half float"): sign bit, 5-bit exponent with bias 15, 10-bit mantissa.
//
// floatToHalf rounds to the nearest half float with ties away from zero (the dropped bits are
// rounded by adding half a unit of the last kept place, so a mantissa carry moves into the
// exponent). Magnitudes of 65520 and above become infinity (0x7c00 with the sign); magnitudes
// below 2^-14 become denormals, and below 2^-25 zero (keeping the sign). Infinities stay
// infinities; a NaN stays a NaN, quiet, with the top of its payload kept.
uint16_t floatToHalf(float value);

// Exact conversion back, denormals, infinities and NaN payloads included.
float halfToFloat(uint16_t half);

} // namespace Vrenn
