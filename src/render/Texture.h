#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Vrenn {

class Image;

// Kinds of texture.
enum TextureType : int32_t {
    TEXTURE_1D = 0, // made as a 2D texture of height 1
    TEXTURE_2D = 1,
    TEXTURE_VOLUME = 2,
    TEXTURE_CUBE = 3,
};

// A texture as the engine sees it: kind, size, ImageFormat code and, until it is
// uploaded, the image it comes from.
class Texture {
public:
    Texture(std::string name, int32_t type, int32_t width, int32_t height, int32_t depth,
            int32_t format)
        : m_name(std::move(name)), m_type(type), m_width(width), m_height(height), m_depth(depth),
          m_format(format) {}
    virtual ~Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Drops the source image (the pixels are not kept after upload).
    virtual void releaseImage() { m_image.reset(); }
    // Drops the device texture.
    virtual void release() = 0;

    const std::string& name() const { return m_name; }
    int32_t type() const { return m_type; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    int32_t depth() const { return m_depth; }
    int32_t format() const { return m_format; }
    void setFormat(int32_t format) { m_format = format; }
    // For render textures: a full mip chain instead of one level.
    bool mipmapped() const { return m_mipmapped; }
    void setMipmapped(bool mipmapped) { m_mipmapped = mipmapped; }
    const std::shared_ptr<Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<Image> image) { m_image = std::move(image); }

protected:
    std::string m_name;
    int32_t m_type;
    int32_t m_width;
    int32_t m_height;
    int32_t m_depth;
    int32_t m_format;
    bool m_mipmapped = false;
    std::shared_ptr<Image> m_image;
};

} // namespace Vrenn
