#pragma once

#include <cstdint>

namespace Vrenn {

// Pixel format of an Image. The codes are stable: they are stored in tools' output
// and chosen by the readers.
enum ImageFormat : int32_t {
    FORMAT_UNKNOWN = 0,
    FORMAT_L8 = 1,       // one 8-bit channel
    FORMAT_A8L8 = 2,     // 8-bit luminance and alpha (no size is defined for it)
    FORMAT_RGB8 = 3,     // three 8-bit channels, red first
    FORMAT_RGBA8 = 4,    // four 8-bit channels, red first
    FORMAT_L16 = 5,      // one 16-bit channel
    FORMAT_RG16 = 6,     // two 16-bit channels
    FORMAT_RGB16 = 7,    // three 16-bit channels
    FORMAT_RGBA16 = 8,   // four 16-bit channels
    FORMAT_R16F = 9,     // one 16-bit float
    FORMAT_RG16F = 10,   // two 16-bit floats
    FORMAT_RGB16F = 11,  // three 16-bit floats
    FORMAT_RGBA16F = 12, // four 16-bit floats
    FORMAT_R32F = 13,    // one 32-bit float
    FORMAT_RG32F = 14,   // two 32-bit floats
    FORMAT_RGB32F = 15,  // three 32-bit floats
    FORMAT_RGBA32F = 16, // four 32-bit floats
    FORMAT_RGBA4 = 17,   // 16 bits, 4 per channel with alpha
    FORMAT_R5G6B5 = 18,  // 16 bits, 5:6:5
    FORMAT_RGB10A2 = 19, // four channels in 32 bits
    FORMAT_DXT1 = 20,    // 8 bytes per 4x4 block
    FORMAT_DXT3 = 21,    // 16 bytes per 4x4 block
    FORMAT_DXT5 = 22,    // 16 bytes per 4x4 block
    FORMAT_D16 = 23,     // single channel, 2 bytes
    FORMAT_D24 = 24,     // single channel, 3 bytes
    FORMAT_D32 = 25,     // single channel, 4 bytes
};

// Channels of a format; 0 for codes outside the table.
int32_t channelCount(int32_t format);
// Bytes of one texel; 0 for block-compressed formats and codes outside the table.
int32_t bytesPerPixel(int32_t format);
// True for the DXT formats, whose sizes count 4x4 blocks instead of texels.
bool isBlockCompressed(int32_t format);
// Bytes of one 4x4 block of a block-compressed format; 0 for the others.
int32_t bytesPerBlock(int32_t format);

} // namespace Vrenn
