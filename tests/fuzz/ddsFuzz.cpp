// Decodes arbitrary bytes as a DDS file; whatever decodes must survive a write and a
// second read unchanged.
#include "fs/DDSCodec.h"
#include "fs/Image.h"
#include "fs/RamFile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    DDSCodec codec;
    std::shared_ptr<File> file = std::make_shared<RamFile>(data, static_cast<uint32_t>(size));
    Image image;
    if (!codec.decode(file, image)) return 0;

    // Every level and face the image claims must lie inside its data.
    const uint8_t* end = image.data() + image.byteCount();
    for (int32_t level = 0; level < image.mipLevels(); ++level)
        for (int32_t face = 0; face < image.faces(); ++face)
            if (const uint8_t* start = image.getFaceData(face, level))
                if (start + image.dataSize(level, 1) > end) __builtin_trap();

    std::shared_ptr<File> copy = std::make_shared<RamFile>();
    if (!codec.encode(copy, image)) return 0; // formats without a file layout
    copy->rewind();
    Image reread;
    if (!codec.decode(copy, reread)) __builtin_trap();
    if (reread.format() != image.format() || reread.width() != image.width() ||
        reread.mipLevels() != image.mipLevels() || reread.faces() != image.faces() ||
        reread.byteCount() != image.byteCount() ||
        std::memcmp(reread.data(), image.data(), image.byteCount()) != 0)
        __builtin_trap();
    return 0;
}
