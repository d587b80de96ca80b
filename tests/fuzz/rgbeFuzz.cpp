// Decodes arbitrary bytes as a Radiance RGBE file.
#include "fs/Image.h"
#include "fs/RGBECodec.h"
#include "fs/RamFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    RGBECodec codec;
    std::shared_ptr<File> file = std::make_shared<RamFile>(data, static_cast<uint32_t>(size));
    Image image;
    if (!codec.decode(file, image)) return 0;
    if (image.format() != FORMAT_RGBA8 ||
        image.byteCount() != image.dataSize(0, 1) * static_cast<uint32_t>(image.faces()))
        __builtin_trap();
    return 0;
}
