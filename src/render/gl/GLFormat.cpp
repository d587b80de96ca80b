#include "render/gl/GLFormat.h"

namespace Vrenn {

namespace {
constexpr std::array<GLint, 4> kIdentity = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
constexpr std::array<GLint, 4> kLuminance = {GL_RED, GL_RED, GL_RED, GL_ONE};
constexpr std::array<GLint, 4> kLuminanceAlpha = {GL_RED, GL_RED, GL_RED, GL_GREEN};
constexpr std::array<GLint, 4> kOpaque = {GL_RED, GL_GREEN, GL_BLUE, GL_ONE};

constexpr GLFormat plain(GLenum internalFormat, GLenum format, GLenum type) {
    return {internalFormat, format, type, false, false, false, kIdentity};
}
constexpr GLFormat swizzled(GLenum internalFormat, GLenum format, GLenum type,
                            std::array<GLint, 4> swizzle) {
    return {internalFormat, format, type, false, false, true, swizzle};
}
constexpr GLFormat compressed(GLenum internalFormat) {
    return {internalFormat, GL_NONE, GL_NONE, true, false, false, kIdentity};
}
constexpr GLFormat depth(GLenum internalFormat, GLenum type) {
    return {internalFormat, GL_DEPTH_COMPONENT, type, false, true, false, kIdentity};
}

// Indexed by ImageFormat code. 8-bit colour is held red first, so codes 3 and 4 take
// GL_RGBA directly; the packed 16- and 32-bit codes keep their blue-lowest bit order.
constexpr GLFormat kNone = {GL_NONE, GL_NONE, GL_NONE, false, false, false, kIdentity};
constexpr GLFormat kTable[] = {
    kNone,                                                       // 0
    swizzled(GL_R8, GL_RED, GL_UNSIGNED_BYTE, kLuminance),       // 1 L8
    swizzled(GL_RG8, GL_RG, GL_UNSIGNED_BYTE, kLuminanceAlpha),  // 2 A8L8
    swizzled(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, kOpaque),      // 3 X8R8G8B8
    plain(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE),                  // 4 A8R8G8B8
    swizzled(GL_R16, GL_RED, GL_UNSIGNED_SHORT, kLuminance),     // 5 L16
    plain(GL_RG16, GL_RG, GL_UNSIGNED_SHORT),                    // 6 G16R16
    kNone,                                                       // 7
    plain(GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT),                // 8 A16B16G16R16
    plain(GL_R16F, GL_RED, GL_HALF_FLOAT),                       // 9 R16F
    plain(GL_RG16F, GL_RG, GL_HALF_FLOAT),                       // 10 G16R16F
    kNone,                                                       // 11
    plain(GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT),                   // 12 A16B16G16R16F
    plain(GL_R32F, GL_RED, GL_FLOAT),                            // 13 R32F
    plain(GL_RG32F, GL_RG, GL_FLOAT),                            // 14 G32R32F
    kNone,                                                       // 15
    plain(GL_RGBA32F, GL_RGBA, GL_FLOAT),                        // 16 A32B32G32R32F
    plain(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV),     // 17 A4R4G4B4
    plain(GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5),           // 18 R5G6B5
    plain(GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV), // 19 A2R10G10B10
    compressed(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT),                // 20 DXT1
    compressed(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT),                // 21 DXT3
    compressed(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT),                // 22 DXT5
    depth(GL_DEPTH_COMPONENT16, GL_UNSIGNED_SHORT),              // 23 D16
    depth(GL_DEPTH_COMPONENT24, GL_UNSIGNED_INT),                // 24 D24X8
    depth(GL_DEPTH_COMPONENT32F, GL_FLOAT),                      // 25 D32
};
} // namespace

const GLFormat* glFormatOf(int32_t imageFormat) {
    constexpr int32_t count = static_cast<int32_t>(sizeof kTable / sizeof kTable[0]);
    if (imageFormat < 0 || imageFormat >= count) return nullptr;
    const GLFormat& row = kTable[imageFormat];
    return row.internalFormat == GL_NONE ? nullptr : &row;
}

bool isDepthFormat(int32_t imageFormat) {
    return imageFormat >= 23 && imageFormat <= 25;
}

} // namespace Vrenn
