#include "fs/HalfFloat.h"

#include <cstring>

namespace Vrenn {

namespace {

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float bitsFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

uint16_t floatToHalf(float value) {
    const uint32_t bits = floatBits(value);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const uint32_t magnitude = bits & 0x7fffffffu;

    if (magnitude >= 0x7f800000u) {
        if (magnitude == 0x7f800000u) return static_cast<uint16_t>(sign | 0x7c00u);
        // NaN: set the quiet bit so the mantissa can never come out 0 (which would read as
        // infinity), and keep the top of the payload.
        return static_cast<uint16_t>(sign | 0x7e00u | ((magnitude >> 13) & 0x03ffu));
    }
    // 65520 = 65504 (the largest half) plus half its unit: rounds up to infinity.
    if (magnitude >= 0x477ff000u) return static_cast<uint16_t>(sign | 0x7c00u);
    if (magnitude >= 0x38800000u) {
        // Normal half: rebias the exponent from 127 to 15 and round the 13 dropped mantissa
        // bits; a carry out of the mantissa correctly bumps the exponent.
        const uint32_t rounded = magnitude + 0x1000u;
        return static_cast<uint16_t>(sign | ((rounded - 0x38000000u) >> 13));
    }
    if (magnitude < 0x33000000u) // below 2^-25: rounds to zero
        return static_cast<uint16_t>(sign);
    // Denormal half: the value in units of 2^-24, rounded. A result of 0x400 is the smallest
    // normal half, which the bit pattern already expresses.
    const uint32_t exponent = magnitude >> 23;
    const uint32_t mantissa = (magnitude & 0x007fffffu) | 0x00800000u;
    const uint32_t shift = 126u - exponent; // 14 ... 24
    const uint32_t units = (mantissa + (1u << (shift - 1))) >> shift;
    return static_cast<uint16_t>(sign | units);
}

float halfToFloat(uint16_t half) {
    const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1fu;
    uint32_t mantissa = half & 0x03ffu;

    if (exponent == 0x1fu) // infinity or NaN
        return bitsFloat(sign | 0x7f800000u | (mantissa << 13));
    if (exponent != 0) return bitsFloat(sign | ((exponent + 112u) << 23) | (mantissa << 13));
    if (mantissa == 0) return bitsFloat(sign);
    // Denormal half: normalise into a float.
    uint32_t e = 113u;
    while ((mantissa & 0x0400u) == 0) {
        mantissa <<= 1;
        --e;
    }
    return bitsFloat(sign | (e << 23) | ((mantissa & 0x03ffu) << 13));
}

} // namespace Vrenn
