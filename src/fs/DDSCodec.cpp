#include "fs/DDSCodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace Vrenn {

namespace {
// Byte offsets of the header fields used here.
constexpr size_t kFlags = 8;
constexpr size_t kHeight = 12;
constexpr size_t kWidth = 16;
constexpr size_t kDepth = 24;
constexpr size_t kMipCount = 28;
constexpr size_t kPixelFormatSize = 76;
constexpr size_t kPixelFlags = 80;
constexpr size_t kFourCC = 84;
constexpr size_t kBitCount = 88;
constexpr size_t kRedMask = 92;
constexpr size_t kGreenMask = 96;
constexpr size_t kBlueMask = 100;
constexpr size_t kAlphaMask = 104;
constexpr size_t kCaps = 108;
constexpr size_t kCaps2 = 112;

constexpr uint32_t kCaps2CubeMap = 0x200;

constexpr uint32_t fourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

uint32_t readWord(const uint8_t* header, size_t offset) {
    return static_cast<uint32_t>(header[offset]) | static_cast<uint32_t>(header[offset + 1]) << 8 |
           static_cast<uint32_t>(header[offset + 2]) << 16 |
           static_cast<uint32_t>(header[offset + 3]) << 24;
}

void writeWord(uint8_t* header, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        header[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Numeric codes of the 16-bit and float formats, by ImageFormat.
struct NumericCode {
    uint32_t code;
    ImageFormat format;
};
constexpr NumericCode kNumericCodes[] = {
    {34, FORMAT_RG16},     {36, FORMAT_RGBA16}, {111, FORMAT_R16F},  {112, FORMAT_RG16F},
    {113, FORMAT_RGBA16F}, {114, FORMAT_R32F},  {115, FORMAT_RG32F}, {116, FORMAT_RGBA32F},
};

ImageFormat formatFromHeader(const uint8_t* header) {
    const uint32_t code = readWord(header, kFourCC);
    if (code == fourCC('D', 'X', 'T', '1')) return FORMAT_DXT1;
    if (code == fourCC('D', 'X', 'T', '3')) return FORMAT_DXT3;
    if (code == fourCC('D', 'X', 'T', '5')) return FORMAT_DXT5;
    for (const auto& numeric : kNumericCodes)
        if (code == numeric.code) return numeric.format;

    const uint32_t bitCount = readWord(header, kBitCount);
    if (bitCount == 8) return FORMAT_L8;
    if (bitCount == 16) {
        const uint32_t alphaMask = readWord(header, kAlphaMask);
        if (alphaMask == 0xF000) return FORMAT_RGBA4;
        if (alphaMask == 0xFF00) return FORMAT_A8L8;
        if (readWord(header, kBlueMask) == 0x1F) return FORMAT_R5G6B5;
        return FORMAT_L16;
    }
    if (bitCount == 24) return FORMAT_RGB8;
    if (bitCount == 32) return FORMAT_RGBA8;
    return FORMAT_UNKNOWN;
}

bool writable(ImageFormat format) {
    switch (format) {
    case FORMAT_L8:
    case FORMAT_RGB8:
    case FORMAT_RGBA8:
    case FORMAT_L16:
    case FORMAT_RG16:
    case FORMAT_RGBA16:
    case FORMAT_R16F:
    case FORMAT_RG16F:
    case FORMAT_RGBA16F:
    case FORMAT_R32F:
    case FORMAT_RG32F:
    case FORMAT_RGBA32F:
        return true;
    default:
        return false;
    }
}

void fillPixelFormat(uint8_t* header, ImageFormat format) {
    writeWord(header, kPixelFormatSize, 32);
    for (const auto& numeric : kNumericCodes) {
        if (numeric.format == format) {
            writeWord(header, kPixelFlags, 4); // four-character code present
            writeWord(header, kFourCC, numeric.code);
            return;
        }
    }
    const int32_t channels = channelCount(format);
    const bool even = channels % 2 == 0;
    writeWord(header, kPixelFlags, (channels > 2 ? 0x40u : 0x20000u) | (even ? 1u : 0u));
    writeWord(header, kBitCount,
              static_cast<uint32_t>(channels * 8 * (format == FORMAT_L16 ? 2 : 1)));
    writeWord(header, kRedMask,
              format == FORMAT_L16 ? 0xFFFFu : (channels >= 3 ? 0xFF0000u : 0xFFu));
    writeWord(header, kGreenMask, channels >= 2 ? 0xFF00u : 0u);
    writeWord(header, kBlueMask, channels >= 2 ? 0xFFu : 0u);
    writeWord(header, kAlphaMask, channels == 4 ? 0xFF000000u : (channels == 2 ? 0xFF00u : 0u));
}

// Exchanges bytes 0 and 2 of each texel of `count` bytes of 8-bit colour.
void swapRedBlue(uint8_t* bytes, size_t count, size_t texelBytes) {
    for (size_t i = 0; i + texelBytes <= count; i += texelBytes)
        std::swap(bytes[i], bytes[i + 2]);
}
} // namespace

bool DDSCodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    uint8_t header[kHeaderSize];
    const uint32_t start = file->tell();
    if (file->read(header, kHeaderSize) != kHeaderSize) {
        logMessage("DDS: the file is shorter than its header\n");
        return false;
    }
    if (std::memcmp(header, "DDS ", 4) != 0) {
        logMessage("DDS: the file does not start with \"DDS \"\n");
        return false;
    }
    const ImageFormat format = formatFromHeader(header);
    if (format == FORMAT_UNKNOWN) {
        logFormat("DDS: unsupported pixel format (code 0x%08X, %u bits)\n",
                  readWord(header, kFourCC), readWord(header, kBitCount));
        return false;
    }

    // A size of 0 is taken as 1, as the data holds one texel (or block) there.
    const uint32_t width = std::max<uint32_t>(readWord(header, kWidth), 1);
    const uint32_t height = std::max<uint32_t>(readWord(header, kHeight), 1);
    const bool cube = (readWord(header, kCaps2) & kCaps2CubeMap) != 0;
    const uint32_t depth = cube ? 1 : std::max<uint32_t>(readWord(header, kDepth), 1);
    const int32_t faces = cube ? 6 : 1;
    constexpr uint32_t kMaxExtent = std::numeric_limits<int32_t>::max();
    if (width > kMaxExtent || height > kMaxExtent || depth > kMaxExtent) {
        logFormat("DDS: image size %ux%ux%u is out of range\n", width, height, depth);
        return false;
    }
    // Levels past the 1x1x1 one hold no data; a larger count is taken as the full chain.
    const uint32_t mipCount = std::max<uint32_t>(readWord(header, kMipCount), 1);
    const int32_t mipLevels = static_cast<int32_t>(std::min<uint32_t>(
        mipCount, static_cast<uint32_t>(Image::fullChainLength(width, height, depth))));

    // 16-bit luminance with alpha has no layout of its own in an Image: its pairs (L, A)
    // are widened to RGBA (L, L, L, A), as the renderer would show them.
    const bool luminanceAlpha = format == FORMAT_A8L8;
    const ImageFormat imageFormat = luminanceAlpha ? FORMAT_RGBA8 : format;

    // Refuse sizes the file cannot hold before allocating anything.
    const uint64_t units =
        Image::chainSize(width, height, depth, luminanceAlpha ? FORMAT_L8 : format, 0, mipLevels);
    constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();
    const uint64_t perFace = !luminanceAlpha          ? units
                             : units > kSaturated / 2 ? kSaturated
                                                      : units * 2;
    const uint64_t fileSize = file->size();
    const uint64_t available =
        fileSize > start + uint64_t{kHeaderSize} ? fileSize - start - kHeaderSize : 0;
    // perFace saturates instead of overflowing, so this product stays above `available`.
    const uint64_t bytes = perFace > available ? perFace : perFace * static_cast<uint64_t>(faces);
    if (bytes > available) {
        logFormat("DDS: %ux%ux%u, %d levels, %d faces needs %llu bytes of pixel data, the file "
                  "holds %llu\n",
                  width, height, depth, mipLevels, faces, static_cast<unsigned long long>(bytes),
                  static_cast<unsigned long long>(available));
        return false;
    }

    Image decoded;
    uint8_t* data = decoded.create(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                   static_cast<int32_t>(depth), imageFormat, mipLevels, faces);
    if (!data) {
        logMessage("DDS: out of memory for the pixel data\n");
        return false;
    }
    const auto count = static_cast<uint32_t>(bytes);
    std::vector<uint8_t> pairs(luminanceAlpha ? count : 0);
    if (file->read(luminanceAlpha ? pairs.data() : data, count) != count) {
        logMessage("DDS: reading the pixel data failed\n");
        return false;
    }
    for (size_t i = 0; i < pairs.size(); i += 2) {
        uint8_t* texel = data + i * 2;
        texel[0] = texel[1] = texel[2] = pairs[i];
        texel[3] = pairs[i + 1];
    }
    // 24- and 32-bit colour is blue first unless the masks say the bytes are already
    // red first.
    if ((format == FORMAT_RGB8 || format == FORMAT_RGBA8) && readWord(header, kRedMask) != 0xFF)
        decoded.swapRedBlue();
    image = std::move(decoded);
    return true;
}

bool DDSCodec::encode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    const ImageFormat format = image.format();
    if (!writable(format)) {
        logFormat("DDS: format %d cannot be written\n", static_cast<int>(format));
        return false;
    }
    // Only shapes the reader gives back: one face or a cube, a cube being no volume.
    const int32_t faces = image.faces();
    if ((faces != 1 && faces != 6) || (faces == 6 && image.depth() > 1) || image.mipLevels() < 1) {
        logFormat("DDS: %d faces, depth %d and %d levels cannot be written\n", faces, image.depth(),
                  image.mipLevels());
        return false;
    }
    // Levels past the 1x1x1 one hold no data and are not written.
    const int32_t mipLevels =
        std::min(image.mipLevels(), Image::fullChainLength(static_cast<uint32_t>(image.width()),
                                                           static_cast<uint32_t>(image.height()),
                                                           static_cast<uint32_t>(image.depth())));
    const uint64_t bytes = uint64_t{image.dataSize(0, mipLevels)} * static_cast<uint64_t>(faces);
    if (!image.data() || bytes > image.byteCount()) {
        logMessage("DDS: the image holds no pixel data\n");
        return false;
    }

    uint8_t header[kHeaderSize] = {};
    const bool mipmapped = mipLevels > 1;
    const bool volume = image.depth() > 1;
    const bool cubeMap = faces > 1;
    std::memcpy(header, "DDS ", 4);
    writeWord(header, 4, 124);
    writeWord(header, kFlags, 0x1007u | (mipmapped ? 0x20000u : 0u) | (volume ? 0x800000u : 0u));
    writeWord(header, kHeight, static_cast<uint32_t>(std::max(image.height(), 1)));
    writeWord(header, kWidth, static_cast<uint32_t>(std::max(image.width(), 1)));
    writeWord(header, kDepth, volume ? static_cast<uint32_t>(image.depth()) : 0u);
    writeWord(header, kMipCount, mipmapped ? static_cast<uint32_t>(mipLevels) : 0u);
    fillPixelFormat(header, format);
    writeWord(header, kCaps,
              0x1000u | (mipmapped ? 0x400008u : 0u) | (cubeMap || volume ? 8u : 0u));
    writeWord(header, kCaps2, volume ? 0x200000u : (cubeMap ? 0xFE00u : 0u));
    if (file->write(header, kHeaderSize) != kHeaderSize) return false;

    const uint8_t* data = image.data();
    const auto count = static_cast<size_t>(bytes);
    if (format != FORMAT_RGB8 && format != FORMAT_RGBA8)
        return file->write(data, static_cast<uint32_t>(count)) == count;

    // The file holds blue first: swap through a scratch buffer, leaving the image as it is.
    const size_t texelBytes = static_cast<size_t>(bytesPerPixel(format));
    std::vector<uint8_t> scratch(std::min<size_t>(count, texelBytes * 16384));
    for (size_t done = 0; done < count;) {
        const size_t chunk = std::min(scratch.size(), count - done);
        std::memcpy(scratch.data(), data + done, chunk);
        swapRedBlue(scratch.data(), chunk, texelBytes);
        if (file->write(scratch.data(), static_cast<uint32_t>(chunk)) != chunk) return false;
        done += chunk;
    }
    return true;
}

} // namespace Vrenn
