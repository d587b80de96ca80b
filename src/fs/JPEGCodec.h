#pragma once

#include "fs/Codec.h"

#include <cstddef>
#include <cstdint>

namespace Vrenn {

// JPEG pictures, read only: grey-scale files give FORMAT_L8, colour files FORMAT_RGB8
// (red first). Corrupt or truncated data fails the read with one log line; it never
// ends the process.
class JPEGCodec : public Codec {
public:
    explicit JPEGCodec(std::string name = "jpg") : Codec(std::move(name)) {}

    // Writing JPEG files is not supported: false, nothing written.
    bool save(const std::string& fileName, Image& image) override;
    // Reads the whole file and decodes it as decodeMemory does.
    bool decode(std::shared_ptr<File>& file, Image& image) override;
    bool encode(std::shared_ptr<File>& file, Image& image) override;

    // Decodes a JPEG held in memory. False (image unchanged, one log line) for data
    // the decoder rejects or warns about, colour spaces other than grey and colour
    // (such as CMYK), and pictures of more than maxPixels() texels.
    bool decodeMemory(const uint8_t* data, size_t size, Image& image) const;

    // Largest picture accepted, in texels; a guard against tiny files that claim
    // enormous sizes.
    uint64_t maxPixels() const { return m_maxPixels; }
    void setMaxPixels(uint64_t count) { m_maxPixels = count; }

    static constexpr uint64_t kDefaultMaxPixels = uint64_t{1} << 28;

private:
    uint64_t m_maxPixels = kDefaultMaxPixels;
};

} // namespace Vrenn
