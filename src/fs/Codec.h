#pragma once

#include "core/NamedObject.h"
#include "fs/File.h"

#include <cstdint>
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

    // The most pixels (width * height) a decoded picture may have; 0, the default, leaves
    // only the limits of the format and of Image. Codecs that read a picture's size before
    // its pixels (Radiance, OpenEXR) refuse a larger one before allocating anything for it.
    void setPixelLimit(uint64_t pixels) { m_pixelLimit = pixels; }
    uint64_t pixelLimit() const { return m_pixelLimit; }

protected:
    // True when a picture of width x height pixels is within the limit; otherwise logs
    // "<prefix>: the picture is <w>x<h> pixels, more than the <n> allowed" and returns false.
    bool withinPixelLimit(const char* prefix, uint64_t width, uint64_t height) const;

private:
    uint64_t m_pixelLimit = 0;
};

} // namespace Vrenn
