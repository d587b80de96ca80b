#include "render/ScreenShot.h"

#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "fs/JPEGCodec.h"

#include <cstdio>
#include <cstring>

namespace Vrenn {

std::string nextScreenShotName() {
    char name[16];
    for (int n = 0; n <= 9999; ++n) {
        std::snprintf(name, sizeof name, "shot%04d.jpg", n);
        if (!openDataFile(name, false)) return name;
    }
    return {};
}

bool writeJpeg(const std::string& fileName, const uint8_t* rgba, int32_t width, int32_t height,
               int quality) {
    if (!rgba || width <= 0 || height <= 0) return false;
    Image image;
    uint8_t* pixels = image.create(width, height, 1, FORMAT_RGBA8, 1, 1);
    if (!pixels) return false;
    std::memcpy(pixels, rgba, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    JPEGCodec codec;
    codec.setQuality(quality);
    return codec.save(fileName, image); // written beside fileName, then renamed over it
}

} // namespace Vrenn
