#include "fs/Image.h"

#include "core/Log.h"
#include "fs/Codec.h"
#include "fs/CodecMgr.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace Vrenn {

namespace {
constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();

uint64_t multiply(uint64_t a, uint64_t b) {
    if (a != 0 && b > kSaturated / a) return kSaturated;
    return a * b;
}

uint64_t add(uint64_t a, uint64_t b) {
    return b > kSaturated - a ? kSaturated : a + b;
}

// Size of level `level` along one axis: at least 1.
uint64_t levelExtent(uint32_t extent, int32_t level) {
    const uint32_t shifted = level >= 32 ? 0 : extent >> std::max(level, 0);
    return shifted ? shifted : 1;
}
} // namespace

uint64_t Image::chainSize(uint32_t width, uint32_t height, uint32_t depth, ImageFormat format,
                          int32_t firstLevel, int32_t levelCount) {
    if (levelCount <= 0) return 0;
    uint64_t w = levelExtent(width, firstLevel);
    uint64_t h = levelExtent(height, firstLevel);
    uint64_t d = levelExtent(depth, firstLevel);
    const bool blocks = isBlockCompressed(format);
    uint64_t units = 0;
    for (int32_t level = 0; level < levelCount; ++level) {
        // Block formats count 4x4 blocks and ignore depth.
        units =
            add(units, blocks ? multiply((h + 3) >> 2, (w + 3) >> 2) : multiply(multiply(d, h), w));
        w >>= 1;
        h >>= 1;
        d >>= 1;
        if (w == 0 && h == 0 && d == 0) break; // the 1x1x1 level was the last
        w = std::max<uint64_t>(w, 1);
        h = std::max<uint64_t>(h, 1);
        d = std::max<uint64_t>(d, 1);
    }
    const int32_t unitBytes = blocks ? bytesPerBlock(format) : bytesPerPixel(format);
    return multiply(units, static_cast<uint64_t>(unitBytes));
}

int32_t Image::fullChainLength(uint32_t width, uint32_t height, uint32_t depth) {
    int32_t levels = 1;
    while (width > 1 || height > 1 || depth > 1) {
        width >>= 1;
        height >>= 1;
        depth >>= 1;
        ++levels;
    }
    return levels;
}

uint8_t* Image::create(int32_t width, int32_t height, int32_t depth, ImageFormat format,
                       int32_t mipLevels, int32_t faces, Fill fill) {
    if (width < 0 || height < 0 || depth < 0 || mipLevels < 0 || faces < 0) return nullptr;
    const uint64_t bytes =
        multiply(chainSize(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                           static_cast<uint32_t>(depth), format, 0, mipLevels),
                 static_cast<uint64_t>(faces));
    if (bytes > std::numeric_limits<uint32_t>::max()) return nullptr;
    const auto size = static_cast<size_t>(bytes);
    auto* block = fill == Fill::Zeroed ? new (std::nothrow) uint8_t[size]()
                                       : new (std::nothrow) uint8_t[size];
    if (!block) return nullptr;

    m_data.reset(block);
    m_byteCount = static_cast<size_t>(bytes);
    m_width = width;
    m_height = height;
    m_depth = depth;
    m_format = format;
    m_mipLevels = mipLevels;
    m_faces = faces;
    return block;
}

uint32_t Image::dataSize(int32_t firstLevel, int32_t levelCount, ImageFormat format) const {
    const uint64_t size =
        chainSize(static_cast<uint32_t>(m_width), static_cast<uint32_t>(m_height),
                  static_cast<uint32_t>(m_depth), format == FORMAT_UNKNOWN ? m_format : format,
                  firstLevel, levelCount);
    return static_cast<uint32_t>(std::min<uint64_t>(size, std::numeric_limits<uint32_t>::max()));
}

uint32_t Image::texelCount(int32_t firstLevel, int32_t levelCount) const {
    // A one-byte format counts texels one for one, also for the DXT formats.
    const uint64_t count =
        chainSize(static_cast<uint32_t>(m_width), static_cast<uint32_t>(m_height),
                  static_cast<uint32_t>(m_depth), FORMAT_L8, firstLevel, levelCount);
    return static_cast<uint32_t>(std::min<uint64_t>(count, std::numeric_limits<uint32_t>::max()));
}

int64_t Image::faceOffset(int32_t face, int32_t level) const {
    if (!m_data || level < 0 || level >= m_mipLevels || face < 0 || face >= m_faces) return -1;
    const auto w = static_cast<uint32_t>(m_width);
    const auto h = static_cast<uint32_t>(m_height);
    const auto d = static_cast<uint32_t>(m_depth);
    // A mip count beyond the full chain names levels that hold no data.
    if (level >= fullChainLength(w, h, d)) return -1;
    const uint64_t levelStart =
        multiply(chainSize(w, h, d, m_format, 0, level), static_cast<uint64_t>(m_faces));
    const uint64_t faceSize = chainSize(w, h, d, m_format, level, 1);
    const uint64_t offset = add(levelStart, multiply(faceSize, static_cast<uint64_t>(face)));
    if (add(offset, faceSize) > m_byteCount) return -1;
    return static_cast<int64_t>(offset);
}

uint8_t* Image::getLevelData(int32_t level) const {
    const int64_t offset = faceOffset(0, level);
    return offset < 0 ? nullptr : m_data.get() + offset;
}

uint8_t* Image::getFaceData(int32_t face, int32_t level) const {
    const int64_t offset = faceOffset(face, level);
    return offset < 0 ? nullptr : m_data.get() + offset;
}

uint8_t* Image::getTexel(const float uv[2], int32_t level) const {
    const int64_t offset = faceOffset(0, level);
    const int32_t texelBytes = bytesPerPixel(m_format);
    if (offset < 0 || texelBytes == 0) return nullptr;
    const auto w = static_cast<int64_t>(levelExtent(static_cast<uint32_t>(m_width), level));
    const auto h = static_cast<int64_t>(levelExtent(static_cast<uint32_t>(m_height), level));
    const double fx = static_cast<double>(w - 1) * uv[0] + 0.5;
    const double fy = static_cast<double>(h - 1) * uv[1] + 0.5;
    // Truncation toward zero maps (-1, w) onto the level's columns; anything else
    // (including NaN) lies outside it.
    if (!(fx > -1.0 && fx < static_cast<double>(w) && fy > -1.0 && fy < static_cast<double>(h)))
        return nullptr;
    const auto x = static_cast<int64_t>(fx);
    const auto y = static_cast<int64_t>(fy);
    return m_data.get() + offset + texelBytes * (y * w + x);
}

void Image::swapRedBlue() {
    if (!m_data || (m_format != FORMAT_RGB8 && m_format != FORMAT_RGBA8)) return;
    const size_t step = static_cast<size_t>(channelCount(m_format));
    const size_t texels = std::min<size_t>(
        uint64_t{texelCount(0, m_mipLevels)} * static_cast<uint64_t>(m_faces), m_byteCount / step);
    uint8_t* texel = m_data.get();
    for (size_t i = 0; i < texels; ++i, texel += step)
        std::swap(texel[0], texel[2]);
}

void Image::expandRGBToRGBA(ImageFormat targetFormat) {
    if (!m_data || m_format != FORMAT_RGB8 || targetFormat != FORMAT_RGBA8) return;
    const size_t texels = m_byteCount / 3;
    const uint64_t bytes = uint64_t{texels} * 4;
    if (bytes > std::numeric_limits<uint32_t>::max()) return;
    auto* block = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    if (!block) return;
    const uint8_t* src = m_data.get();
    for (size_t i = 0; i < texels; ++i) {
        block[4 * i + 0] = src[3 * i + 0];
        block[4 * i + 1] = src[3 * i + 1];
        block[4 * i + 2] = src[3 * i + 2];
        block[4 * i + 3] = 255;
    }
    m_data.reset(block);
    m_byteCount = static_cast<size_t>(bytes);
    m_format = FORMAT_RGBA8;
}

bool Image::crossToCube() {
    if (!m_data || m_depth != 1 || isBlockCompressed(m_format)) return false;
    const int32_t texelBytes = bytesPerPixel(m_format);
    const int32_t s = m_height / 4;
    if (texelBytes == 0 || s == 0 || int64_t{m_width} < 3 * int64_t{s}) return false;
    const size_t srcPitch = static_cast<size_t>(m_width) * static_cast<size_t>(texelBytes);
    if (srcPitch * static_cast<size_t>(m_height) > m_byteCount) return false;

    Image cube;
    uint8_t* dst = cube.create(s, s, 1, m_format, 1, 6);
    if (!dst) return false;
    const uint8_t* src = m_data.get();
    const size_t bpp = static_cast<size_t>(texelBytes);
    const size_t size = static_cast<size_t>(s);
    const size_t faceRow = size * bpp;

    // Column and row (in faces) of +X, -X, +Y, -Y, +Z inside the cross.
    static constexpr int kCell[5][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {1, 1}};
    for (size_t face = 0; face < 5; ++face) {
        const size_t column = static_cast<size_t>(kCell[face][0]) * size;
        const size_t row = static_cast<size_t>(kCell[face][1]) * size;
        for (size_t y = 0; y < size; ++y)
            std::memcpy(dst + (face * size + y) * faceRow,
                        src + (row + y) * srcPitch + column * bpp, faceRow);
    }
    // -Z hangs upside down below +Z: rows bottom to top, texels right to left.
    uint8_t* negZ = dst + 5 * size * faceRow;
    for (size_t y = 0; y < size; ++y) {
        const uint8_t* srcRow = src + (3 * size + size - 1 - y) * srcPitch;
        for (size_t x = 0; x < size; ++x)
            std::memcpy(negZ + y * faceRow + x * bpp, srcRow + (size + size - 1 - x) * bpp, bpp);
    }
    *this = std::move(cube);
    return true;
}

bool Image::load(const std::string& fileName) {
    auto codec = CodecMgr::codecForFile(fileName);
    if (!codec) {
        logMessage("Warning: Loading " + fileName + " failed: no codec for its extension.\n");
        return false;
    }
    return codec->load(fileName, *this);
}

bool Image::save(const std::string& fileName) {
    auto codec = CodecMgr::codecForFile(fileName);
    if (!codec) {
        logMessage("Warning: Saving " + fileName + " failed: no codec for its extension.\n");
        return false;
    }
    return codec->save(fileName, *this);
}

std::shared_ptr<Image> loadImage(const std::string& fileName) {
    auto image = std::make_shared<Image>();
    image->load(fileName);
    return image;
}

} // namespace Vrenn
