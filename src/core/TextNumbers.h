#pragma once

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// Reads text that is a whole decimal number and nothing else: blanks around it, an
// optional sign, then digits, in the 32-bit range. "12" and " -3 " read; "1.5", "1e2",
// "12abc", "" and "99999999999" do not (false, value untouched), where textToInt would
// read 1, 1, 12, 0 and a clamped value.
inline bool textToWholeInt(const std::string& text, int32_t& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long read = std::strtol(begin, &end, 10); // takes leading blanks and a sign
    if (end == begin || errno == ERANGE || read < INT32_MIN || read > INT32_MAX) return false;
    while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (end != begin + text.size()) return false;
    value = static_cast<int32_t>(read);
    return true;
}

// Reads text as the C library's atof does: 0 when no number starts the text.
inline float textToFloat(const std::string& text) {
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

} // namespace Vrenn
