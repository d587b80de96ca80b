#include "render/ScreenShot.h"

#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "fs/JPEGCodec.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <system_error>

namespace Vrenn {

std::string nextScreenShotName() {
    char name[16];
    for (int n = 0; n <= 9999; ++n) {
        std::snprintf(name, sizeof name, "shot%04d.jpg", n);
        // Anything by that name in the run folder, a link leading nowhere included, takes the
        // name: a screenshot never goes through a link to somewhere outside the run folder.
        struct stat info {};
        if (::lstat(name, &info) != 0 && !runFolderHolds(name)) return name;
    }
    return {};
}

bool writeJpeg(const std::string& fileName, const uint8_t* rgba, int32_t width, int32_t height,
               int quality, std::string* why) {
    const auto refuse = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!rgba || width <= 0 || height <= 0) return refuse("there are no pixels");
    Image image;
    uint8_t* pixels = image.create(width, height, 1, FORMAT_RGBA8, 1, 1);
    if (!pixels) return refuse("no memory for the picture");
    std::memcpy(pixels, rgba, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    JPEGCodec codec;
    codec.setQuality(quality);
    struct stat info {};
    if (::lstat(fileName.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return refuse("it is a symbolic link, which a screenshot is never written through");
    // Written beside fileName, then renamed over it.
    AtomicFile output(fileName);
    if (!output.isOpen()) return refuse("cannot create the file: " + output.failure());
    std::shared_ptr<File> file = output.file();
    if (!codec.encode(file, image)) {
        const int error = output.file()->error();
        return refuse(error ? std::generic_category().message(error)
                            : std::string("the picture could not be encoded"));
    }
    if (!output.commit()) return refuse(output.failure());
    return true;
}

} // namespace Vrenn
