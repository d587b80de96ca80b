// Decodes arbitrary bytes as an OpenEXR file.
#include "fs/EXRCodec.h"
#include "fs/Image.h"
#include "fs/RamFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    EXRCodec codec;
    std::shared_ptr<File> file = std::make_shared<RamFile>(data, static_cast<uint32_t>(size));
    Image image;
    if (!codec.decode(file, image)) return 0;
    if (image.format() != FORMAT_RGBA32F || image.faces() != 1 || image.mipLevels() != 1 ||
        image.byteCount() != size_t(image.width()) * size_t(image.height()) * 16)
        __builtin_trap();
    return 0;
}
