#pragma once

#include "fs/Codec.h"

#include <cstddef>
#include <cstdint>

namespace Vrenn {

// PNG pictures, read only. Every colour type is read into a format we hold: grey
// gives FORMAT_L8, colour FORMAT_RGB8, colour with alpha FORMAT_RGBA8 (red first).
// Grey with alpha becomes FORMAT_RGBA8 with the grey in red, green and blue, since
// there is no sized grey-and-alpha format. Palettes are looked up into RGB, or RGBA
// when the file gives them transparency; a transparent colour key of a grey or colour
// file becomes an alpha channel; 16-bit channels are scaled to 8 bits (rounded);
// grey of 1, 2 or 4 bits is widened to 8 bits; interlaced files are put together.
// Stored gamma and colour profiles are not applied: the values are taken as they are.
// Damaged or truncated data fails the read with one log line; it never ends the
// process.
class PNGCodec : public Codec {
public:
    explicit PNGCodec(std::string name = "png") : Codec(std::move(name)) {}

    // Reads the whole file and decodes it as decodeMemory does.
    bool decode(std::shared_ptr<File>& file, Image& image) override;
    // Writing is not supported: always false, with one log line.
    bool encode(std::shared_ptr<File>& file, Image& image) override;

    // Decodes a PNG file held in memory, up to and including its end chunk. False
    // (image unchanged, one log line) for data the decoder rejects (a bad signature,
    // checksum or compressed stream, missing or truncated chunks) and pictures of more
    // than maxPixels() texels, which are refused before anything is allocated.
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
