#include "fs/Codec.h"

#include "core/Log.h"
#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"

namespace Vrenn {

bool Codec::load(const std::string& fileName, Image& image) {
    std::shared_ptr<File> file = openDataFile(fileName); // logs the failure
    return file && decode(file, image);
}

bool Codec::save(const std::string& fileName, Image& image) {
    AtomicFile output(fileName);
    if (!output.isOpen()) {
        logMessage("Warning: Saving " + fileName + " failed: cannot create the file.\n");
        return false;
    }
    std::shared_ptr<File> file = output.file();
    if (!encode(file, image)) return false;
    if (!output.commit()) {
        logMessage("Warning: Saving " + fileName + " failed: writing the file failed.\n");
        return false;
    }
    return true;
}

} // namespace Vrenn
