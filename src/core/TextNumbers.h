#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace Vrenn {

// Reads text as the C library's atoi does (leading blanks, optional sign, decimal
// digits; anything else ends the number, no digits give 0), but clamps to the 32-bit
// range instead of overflowing.
inline int32_t textToInt(const std::string& text) {
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

// Reads text as the C library's atof does: 0 when no number starts the text.
inline float textToFloat(const std::string& text) {
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

} // namespace Vrenn
