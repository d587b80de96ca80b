#pragma once

#include "fs/ImageFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Vrenn {

// Decoded pixels: width, height, depth, a chain of mip levels and 1 or 6 faces (a
// cube map), in one format. 8-bit colour is always held red first (R, G, B, A),
// whatever file it came from.
//
// The pixel data is level-major: level 0 of every face, then level 1 of every face,
// and so on. Within a level, rows run from the top, texels from left to right, and
// the slices of a volume follow one another. Copies of an Image share the block.
class Image {
public:
    Image() = default;

    // What a new block holds: zeros, or whatever memory held (for a decoder that writes
    // every byte itself; the system then backs a page only once it is written).
    enum class Fill { Zeroed, Unset };

    // Describes the image anew and allocates dataSize(0, mipLevels) * faces bytes of
    // pixel data, replacing the old block. Returns the data, or null (and the image
    // unchanged) when a value is negative, the size does not fit in 32 bits, or memory
    // runs out.
    uint8_t* create(int32_t width, int32_t height, int32_t depth, ImageFormat format,
                    int32_t mipLevels, int32_t faces, Fill fill = Fill::Zeroed);

    // Bytes of levelCount levels from firstLevel for one face, in the image's own
    // format or in format when that is not FORMAT_UNKNOWN. Levels past the 1x1x1 one
    // add nothing.
    uint32_t dataSize(int32_t firstLevel, int32_t levelCount,
                      ImageFormat format = FORMAT_UNKNOWN) const;
    // Texels of levelCount levels from firstLevel for one face (also for DXT formats).
    uint32_t texelCount(int32_t firstLevel, int32_t levelCount) const;

    // Start of a level (face 0), or null when the level does not exist.
    uint8_t* getLevelData(int32_t level) const;
    // Start of one face of a level, or null when either does not exist.
    uint8_t* getFaceData(int32_t face, int32_t level) const;
    // The texel nearest to uv (0 to 1 across the level) in face 0 of a level, or null
    // when uv falls outside the level or the format has no texel size.
    uint8_t* getTexel(const float uv[2], int32_t level) const;

    // Exchanges red and blue in every texel of 8-bit RGB and RGBA images; other
    // formats are left alone.
    void swapRedBlue();
    // Turns an 8-bit RGB image into RGBA with opaque alpha when targetFormat is
    // FORMAT_RGBA8; any other combination does nothing.
    void expandRGBToRGBA(ImageFormat targetFormat);
    // Turns a vertical cross (three faces wide, four high; the -Z face upside down at
    // the bottom) into a six-face cube map of height / 4 texels square. Refuses (false,
    // image unchanged) volumes, block-compressed formats and pictures too small for
    // the cross.
    bool crossToCube();

    // Read or write through the codec registered for the text after the last '.' of
    // fileName (case-sensitive). False, with a log line, when there is no such codec
    // or it fails.
    bool load(const std::string& fileName);
    bool save(const std::string& fileName);

    // Bytes of a mip chain for the given size and format, in 64 bits, UINT64_MAX when
    // it does not fit. dataSize is this for the image's own size.
    static uint64_t chainSize(uint32_t width, uint32_t height, uint32_t depth, ImageFormat format,
                              int32_t firstLevel, int32_t levelCount);
    // Levels of a full chain down to 1x1x1.
    static int32_t fullChainLength(uint32_t width, uint32_t height, uint32_t depth);

    uint8_t* data() const { return m_data.get(); }
    // Bytes allocated for the pixel data.
    size_t byteCount() const { return m_byteCount; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    int32_t depth() const { return m_depth; }
    int32_t mipLevels() const { return m_mipLevels; }
    int32_t faces() const { return m_faces; }
    ImageFormat format() const { return m_format; }

private:
    // Byte offset of a face of a level, or -1 when it lies outside the data.
    int64_t faceOffset(int32_t face, int32_t level) const;

    std::shared_ptr<uint8_t[]> m_data;
    size_t m_byteCount = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_depth = 0;
    int32_t m_mipLevels = 0;
    int32_t m_faces = 1;
    ImageFormat m_format = FORMAT_UNKNOWN;
};

// A new image loaded from fileName. The image is returned whether or not loading
// worked; on failure it holds no data.
std::shared_ptr<Image> loadImage(const std::string& fileName);

} // namespace Vrenn
