#include "fs/Codec.h"

#include "core/Log.h"
#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"

#include <system_error>

namespace Vrenn {

bool Codec::load(const std::string& fileName, Image& image) {
    std::shared_ptr<File> file = openDataFile(fileName); // logs the failure
    return file && decode(file, image);
}

bool Codec::save(const std::string& fileName, Image& image) {
    AtomicFile output(fileName);
    if (!output.isOpen()) {
        logMessage("Warning: Saving " + fileName +
                   " failed: cannot create the file: " + output.failure() + ".\n");
        return false;
    }
    std::shared_ptr<File> file = output.file();
    if (!encode(file, image)) {
        // A write the system refused is the reason, not the image.
        if (const int error = output.file()->error())
            logMessage("Warning: Saving " + fileName +
                       " failed: " + std::generic_category().message(error) + ".\n");
        return false;
    }
    if (!output.commit()) {
        logMessage("Warning: Saving " + fileName + " failed: " + output.failure() + ".\n");
        return false;
    }
    return true;
}

bool Codec::withinPixelLimit(const char* prefix, uint64_t width, uint64_t height) const {
    if (m_pixelLimit == 0 || width * height <= m_pixelLimit) return true;
    logFormat("%s: the picture is %llux%llu pixels, more than the %llu allowed\n", prefix,
              static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
              static_cast<unsigned long long>(m_pixelLimit));
    return false;
}

} // namespace Vrenn
