#pragma once

#include "render/TextureManager.h"
#include "render/gl/GLContext.h"

namespace Vrenn {

class GLTexture;

// Textures on GL: immutable storage with the image's mip levels, filled level by level
// (and face by face). Three-byte RGB images go up as RGBA; DXT images go up
// compressed; luminance formats read (L, L, L, 1) or (L, L, L, A) in shaders.
class GLTextureManager : public TextureManager {
public:
    explicit GLTextureManager(GLContext& context) : m_context(context) {}
    ~GLTextureManager() override;

    std::shared_ptr<Texture> createTexture(const std::string& name,
                                           const std::shared_ptr<Image>& image) override;
    bool upload(const std::shared_ptr<Texture>& texture) override;

private:
    GLContextHandle m_context;
};

} // namespace Vrenn
