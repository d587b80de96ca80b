#pragma once

#include "fs/Codec.h"

#include <cstdint>

namespace Vrenn {

// DirectDraw Surface files: uncompressed 8-bit and 16-bit layouts, the float and
// 16-bit formats named by numeric codes, and DXT1/3/5 kept compressed. Reading takes
// the pixel data as one block in the Image layout (level-major for cube maps);
// 24- and 32-bit colour is stored blue first in the file and red first in the Image.
class DDSCodec : public Codec {
public:
    explicit DDSCodec(std::string name = "dds") : Codec(std::move(name)) {}

    // False (image unchanged) for a wrong magic, an unsupported pixel layout, sizes
    // that do not fit, or a file shorter than its header and pixel data.
    bool decode(std::shared_ptr<File>& file, Image& image) override;
    // Writes formats 1, 3, 4, 5, 6, 8, 9, 10, 12, 13, 14 and 16; false for the rest,
    // for an image without data and when a write fails. The image is not modified.
    bool encode(std::shared_ptr<File>& file, Image& image) override;

    static constexpr uint32_t kHeaderSize = 128;
};

} // namespace Vrenn
