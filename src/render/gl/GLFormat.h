#pragma once

#include <array>
#include <cstdint>
#include <epoxy/gl.h>

namespace Vrenn {

// How one ImageFormat code lives in GL: sized internal format, the client format and
// type of its pixel data, and the swizzle that makes luminance codes read as
// (L, L, L, 1) or (L, L, L, A) and codes without alpha read alpha 1.
struct GLFormat {
    GLenum internalFormat;
    GLenum format;
    GLenum type;
    bool compressed;
    bool depth;
    bool swizzled;
    std::array<GLint, 4> swizzle;
};

// The row of an ImageFormat code, or null for codes without a GL format (0, the
// three-channel 16-bit and float codes, and anything outside the table).
const GLFormat* glFormatOf(int32_t imageFormat);

// True for the depth codes (23 to 25).
bool isDepthFormat(int32_t imageFormat);

} // namespace Vrenn
