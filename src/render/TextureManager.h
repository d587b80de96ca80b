#pragma once

#include "core/Singleton.h"
#include "core/Registry.h"
#include "render/Texture.h"

#include <memory>
#include <string>

namespace Vrenn {

class Image;

// Turns images into device textures and keeps them by name (for loaded textures, the
// file name).
class TextureManager : public Singleton<TextureManager>, public RegistryOwner<Texture> {
public:
    TextureManager() = default;
    virtual ~TextureManager();

    // A texture described by the image (six faces: cube; taller than one texel: 2D, or
    // a volume when deeper than one; otherwise one-dimensional), uploaded and
    // registered under name. The texture does not keep the pixels. Empty on failure.
    virtual std::shared_ptr<Texture> createTexture(const std::string& name,
                                                   const std::shared_ptr<Image>& image) = 0;
    // Reads the image through its codec and creates the texture under the file name.
    // flag is kept for image loaders that take options; the present ones take none.
    virtual std::shared_ptr<Texture> loadTexture(const std::string& fileName, int32_t flag);
    // Creates the device texture for the description and copies every level and face
    // of its image into it.
    virtual bool upload(const std::shared_ptr<Texture>& texture) = 0;
};

// The texture type an image describes.
int32_t textureTypeOf(const Image& image);

} // namespace Vrenn
