#include "fs/ImageFormat.h"

namespace Vrenn {

namespace {
struct FormatInfo {
    int32_t channels;
    int32_t bytes;
};

// Indexed by format code.
constexpr FormatInfo kFormats[] = {
    {0, 0},  // 0 unknown
    {1, 1},  // 1 L8
    {0, 0},  // 2 A8L8
    {3, 3},  // 3 RGB8
    {4, 4},  // 4 RGBA8
    {1, 2},  // 5 L16
    {2, 4},  // 6 RG16
    {3, 6},  // 7 RGB16
    {4, 8},  // 8 RGBA16
    {1, 2},  // 9 R16F
    {2, 4},  // 10 RG16F
    {3, 6},  // 11 RGB16F
    {4, 8},  // 12 RGBA16F
    {1, 4},  // 13 R32F
    {2, 8},  // 14 RG32F
    {3, 12}, // 15 RGB32F
    {4, 16}, // 16 RGBA32F
    {4, 2},  // 17 RGBA4
    {3, 2},  // 18 R5G6B5
    {4, 4},  // 19 RGB10A2
    {3, 0},  // 20 DXT1
    {4, 0},  // 21 DXT3
    {4, 0},  // 22 DXT5
    {1, 2},  // 23 D16
    {1, 3},  // 24 D24
    {1, 4},  // 25 D32
};
constexpr int32_t kFormatCount = static_cast<int32_t>(sizeof kFormats / sizeof kFormats[0]);

const FormatInfo* find(int32_t format) {
    return format >= 0 && format < kFormatCount ? &kFormats[format] : nullptr;
}
} // namespace

int32_t channelCount(int32_t format) {
    const FormatInfo* info = find(format);
    return info ? info->channels : 0;
}

int32_t bytesPerPixel(int32_t format) {
    const FormatInfo* info = find(format);
    return info ? info->bytes : 0;
}

bool isBlockCompressed(int32_t format) {
    return format >= FORMAT_DXT1 && format <= FORMAT_DXT5;
}

int32_t bytesPerBlock(int32_t format) {
    if (format == FORMAT_DXT1) return 8;
    return isBlockCompressed(format) ? 16 : 0;
}

} // namespace Vrenn
