#include "render/gl/GLTextureManager.h"

#include "core/Log.h"
#include "fs/Image.h"
#include "render/gl/GLFormat.h"
#include "render/gl/GLTexture.h"

#include <algorithm>

namespace Vrenn {

namespace {
int32_t extent(int32_t size, int32_t level) {
    return std::max(1, size >> level);
}

// The data of one face of one level, when the image holds all of it.
const uint8_t* levelData(const Image& image, int32_t face, int32_t level, uint32_t& size) {
    const uint8_t* data = image.getFaceData(face, level);
    size = image.dataSize(level, 1);
    if (!data || size == 0) return nullptr;
    const auto offset = static_cast<size_t>(data - image.data());
    return offset + size <= image.byteCount() ? data : nullptr;
}

void clearErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

// Creates the storage and fills it; 0 on any failure (nothing left behind).
GLuint createAndFill(GLContext& context, const Image& image, int32_t type, const GLFormat& format) {
    const GLenum target = glTextureTarget(type);
    const int32_t width = std::max(image.width(), 1);
    const int32_t height = std::max(image.height(), 1);
    const int32_t depth = type == TEXTURE_VOLUME ? std::max(image.depth(), 1) : 1;
    const int32_t chain = Image::fullChainLength(
        static_cast<uint32_t>(width), static_cast<uint32_t>(height), static_cast<uint32_t>(depth));
    const int32_t levels = std::min(image.mipLevels(), chain);
    if (levels <= 0 || !image.data()) return 0;
    if (type == TEXTURE_CUBE && (width != height || image.faces() != 6)) return 0;
    if (type == TEXTURE_VOLUME && format.compressed) return 0;

    clearErrors();
    GLuint id = 0;
    glCreateTextures(target, 1, &id);
    if (type == TEXTURE_VOLUME)
        glTextureStorage3D(id, levels, format.internalFormat, width, height, depth);
    else
        glTextureStorage2D(id, levels, format.internalFormat, width, height);
    if (format.swizzled) glTextureParameteriv(id, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle.data());
    bool filled = glGetError() == GL_NO_ERROR;

    const int32_t faces = type == TEXTURE_CUBE ? 6 : 1;
    for (int32_t face = 0; face < faces && filled; ++face) {
        for (int32_t level = 0; level < levels && filled; ++level) {
            uint32_t size = 0;
            const uint8_t* data = levelData(image, face, level, size);
            if (!data) {
                filled = false;
                break;
            }
            const int32_t w = extent(width, level);
            const int32_t h = extent(height, level);
            const auto bytes = static_cast<GLsizei>(size);
            if (type == TEXTURE_VOLUME) {
                glTextureSubImage3D(id, level, 0, 0, 0, w, h, extent(depth, level), format.format,
                                    format.type, data);
            } else if (type == TEXTURE_CUBE) {
                // A cube map's faces are the layers of its levels.
                if (format.compressed)
                    glCompressedTextureSubImage3D(id, level, 0, 0, face, w, h, 1,
                                                  format.internalFormat, bytes, data);
                else
                    glTextureSubImage3D(id, level, 0, 0, face, w, h, 1, format.format, format.type,
                                        data);
            } else if (format.compressed) {
                glCompressedTextureSubImage2D(id, level, 0, 0, w, h, format.internalFormat, bytes,
                                              data);
            } else {
                glTextureSubImage2D(id, level, 0, 0, w, h, format.format, format.type, data);
            }
            filled = glGetError() == GL_NO_ERROR;
        }
    }
    if (!filled) context.deleteObject(GLObjectType::Texture, id);
    return id;
}

const char* failureLine(int32_t type) {
    switch (type) {
    case TEXTURE_CUBE:
        return "Could not Create Cube Texture \n";
    case TEXTURE_VOLUME:
        return "Could not Create Volume Texture \n";
    default:
        return "Could not Create Texture \n";
    }
}
} // namespace

GLTextureManager::~GLTextureManager() = default;

std::shared_ptr<Texture> GLTextureManager::createTexture(const std::string& name,
                                                         const std::shared_ptr<Image>& image) {
    if (!image) return nullptr;
    auto texture = std::make_shared<GLTexture>(
        name, textureTypeOf(*image), std::max(image->width(), 1), std::max(image->height(), 1),
        std::max(image->depth(), 1), image->format());
    texture->setImage(image);
    if (!upload(texture)) return nullptr;
    texture->releaseImage();
    m_registry.add(name, texture);
    return texture;
}

bool GLTextureManager::upload(const std::shared_ptr<Texture>& texture) {
    auto glTexture = std::dynamic_pointer_cast<GLTexture>(texture);
    if (!glTexture || !glTexture->image()) return false;
    const int32_t type = glTexture->type();
    if (type < TEXTURE_1D || type > TEXTURE_CUBE) return false;
    const auto context = m_context.live();
    if (!context) {
        logMessage(failureLine(type));
        return false;
    }
    // Three-byte RGB goes up as RGBA. The conversion works on a copy, so the caller's
    // image keeps its pixels and format.
    auto image = glTexture->image();
    if (image->format() == FORMAT_RGB8) {
        auto expanded = std::make_shared<Image>(*image);
        expanded->expandRGBToRGBA(FORMAT_RGBA8);
        if (expanded->format() != FORMAT_RGBA8) {
            logMessage(failureLine(type));
            return false;
        }
        image = expanded;
        glTexture->setFormat(FORMAT_RGBA8);
    }
    const GLFormat* format = glFormatOf(glTexture->format());
    const GLuint id = format ? createAndFill(*context, *image, type, *format) : 0;
    if (id == 0) {
        logMessage(failureLine(type));
        return false;
    }
    const int32_t levels = std::min(
        image->mipLevels(), Image::fullChainLength(static_cast<uint32_t>(glTexture->width()),
                                                   static_cast<uint32_t>(glTexture->height()),
                                                   static_cast<uint32_t>(glTexture->depth())));
    glTexture->adopt(*context, id, glTextureTarget(type), levels);
    return true;
}

} // namespace Vrenn
