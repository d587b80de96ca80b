#include "render/TextureManager.h"

#include "fs/Image.h"

namespace Vrenn {

TextureManager::~TextureManager() = default;

std::shared_ptr<Texture> TextureManager::loadTexture(const std::string& fileName,
                                                     int32_t /*flag*/) {
    return createTexture(fileName, loadImage(fileName));
}

int32_t textureTypeOf(const Image& image) {
    if (image.faces() >= 2) return TEXTURE_CUBE;
    if (image.height() > 1) return image.depth() <= 1 ? TEXTURE_2D : TEXTURE_VOLUME;
    return TEXTURE_1D;
}

} // namespace Vrenn
