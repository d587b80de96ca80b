#pragma once

#include "fs/Codec.h"

#include <cstddef>
#include <cstdint>

namespace Vrenn {

// JPEG pictures. Reading: grey-scale files give FORMAT_L8, colour files FORMAT_RGB8
// (red first). Corrupt or truncated data fails the read with one log line; it never
// ends the process. Writing: baseline files of the top level of 8-bit grey, RGB or
// RGBA images (alpha is dropped) at the codec's quality.
class JPEGCodec : public Codec {
public:
    explicit JPEGCodec(std::string name = "jpg") : Codec(std::move(name)) {}

    // Reads the whole file and decodes it as decodeMemory does.
    bool decode(std::shared_ptr<File>& file, Image& image) override;
    // False, with one log line, for other formats, cube maps, volumes, sizes beyond
    // 65500 texels either way, or a failed write.
    bool encode(std::shared_ptr<File>& file, Image& image) override;

    // Decodes a JPEG held in memory. False (image unchanged, one log line) for data
    // the decoder rejects or warns about, colour spaces other than grey and colour
    // (such as CMYK), pictures of more than maxPixels() texels, and pictures whose
    // decoding would take more than maxDecoderMemory() bytes besides the output.
    bool decodeMemory(const uint8_t* data, size_t size, Image& image) const;

    // Largest picture accepted, in texels; a guard against tiny files that claim
    // enormous sizes.
    uint64_t maxPixels() const { return m_maxPixels; }
    void setMaxPixels(uint64_t count) { m_maxPixels = count; }

    // Most memory the decoder may take for its own work, in bytes. Pictures stored in
    // several scans (progressive ones) hold all their coefficients while they are read,
    // about 2 bytes per texel and component, which is checked against this before
    // anything is allocated. The default covers, for example, a progressive 4:2:0 colour
    // picture of 89 million texels.
    uint64_t maxDecoderMemory() const { return m_maxDecoderMemory; }
    void setMaxDecoderMemory(uint64_t bytes) { m_maxDecoderMemory = bytes; }

    // Quality of written files, 1 (smallest) to 100 (best); values outside are
    // clamped.
    int quality() const { return m_quality; }
    void setQuality(int quality) { m_quality = quality < 1 ? 1 : quality > 100 ? 100 : quality; }

    static constexpr uint64_t kDefaultMaxPixels = uint64_t{1} << 28;
    static constexpr uint64_t kDefaultMaxDecoderMemory = uint64_t{256} << 20;
    static constexpr int kDefaultQuality = 90;

private:
    uint64_t m_maxPixels = kDefaultMaxPixels;
    uint64_t m_maxDecoderMemory = kDefaultMaxDecoderMemory;
    int m_quality = kDefaultQuality;
};

} // namespace Vrenn
