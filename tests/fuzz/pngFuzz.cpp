// Decodes arbitrary bytes as a PNG file through the codec's file path.
#include "fs/Image.h"
#include "fs/PNGCodec.h"
#include "fs/RamFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    PNGCodec codec;
    // Small inputs can claim enormous pictures; keep each run quick.
    codec.setMaxPixels(uint64_t{1} << 22);
    std::shared_ptr<File> file = std::make_shared<RamFile>(data, static_cast<uint32_t>(size));
    Image image;
    if (!codec.decode(file, image)) return 0;
    const int32_t channels = channelCount(image.format());
    if ((channels != 1 && channels != 3 && channels != 4) ||
        image.byteCount() != size_t(image.width()) * size_t(image.height()) * size_t(channels))
        __builtin_trap();
    return 0;
}
