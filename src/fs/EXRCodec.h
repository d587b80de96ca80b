#pragma once

#include "fs/Codec.h"

#include <cstdint>

namespace Vrenn {

// OpenEXR pictures (HDR panoramas and environment maps), read through the OpenEXR library:
// scan-line and tiled files (a tiled file's full-resolution level), half, float and
// unsigned-integer channels, every compression the library reads. The picture is the file's
// data window, top row first, as FORMAT_RGBA32F: the channels R, G and B (a channel the file
// lacks is 0), A (1 where the file has none), or a luminance-only file's Y in red, green and
// blue. Other channels are not read. Values are as stored: HDR, unclamped, not packed.
//
// The pixels are decoded in bands of rows into memory that grows with what has been read,
// so a short file claiming a huge picture fails before that picture is allocated. Refused,
// with one log line and the image unchanged: files the library cannot read, files cut short
// or damaged (named so), pictures without R, G, B or Y, subsampled colour channels and
// pictures larger than kMaxSide on a side or than an Image can hold. Writing is not
// supported.
class EXRCodec : public Codec {
public:
    explicit EXRCodec(std::string name = "exr") : Codec(std::move(name)) {}

    // The longest side read; the library refuses a header with a larger data window before
    // it reads its offset tables.
    static constexpr int32_t kMaxSide = 32768;

    bool decode(std::shared_ptr<File>& file, Image& image) override;
    bool encode(std::shared_ptr<File>& file, Image& image) override;
};

} // namespace Vrenn
