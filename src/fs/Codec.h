#pragma once

#include "core/NamedObject.h"
#include "fs/File.h"

#include <memory>
#include <string>

namespace Vrenn {

class Image;

// Reads and writes one image file format. A codec is registered with the CodecMgr
// under the file-name extension it handles.
class Codec : public NamedObject {
public:
    explicit Codec(std::string name) : NamedObject(std::move(name)) {}

    // Opens the data file fileName (logging "--- Loading ") and decodes it.
    virtual bool load(const std::string& fileName, Image& image);
    // Encodes into a temporary file beside fileName and renames it over fileName, so
    // a refused or failed write leaves any previous file whole. True only when every
    // byte reached the disk.
    virtual bool save(const std::string& fileName, Image& image);
    // Reads a whole image from file. On failure the image is left unchanged.
    virtual bool decode(std::shared_ptr<File>& file, Image& image) = 0;
    // Writes image to file; false when the image cannot be written in this format
    // or a write fails.
    virtual bool encode(std::shared_ptr<File>& file, Image& image) = 0;
};

} // namespace Vrenn
