#pragma once

#include <cstdint>
#include <string>

namespace Vrenn {

// Anything the renderer draws into: the window's back buffer (the primary target)
// or an off-screen texture. The manager names them; the renderer binds them.
class RenderTarget {
public:
    explicit RenderTarget(std::string name) : m_name(std::move(name)) {}
    virtual ~RenderTarget() = default;
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    virtual bool create(int32_t colourBits, int32_t depthBits, int32_t stencilBits,
                        int32_t fsaaLevel, bool fullScreen) = 0;
    virtual void release() = 0;
    virtual bool unbind() = 0;
    virtual bool bind() = 0;
    // Only records the size; nothing is re-created.
    virtual void setSize(int32_t width, int32_t height) {
        m_width = width;
        m_height = height;
    }
    // Chooses the cube face the next bind() draws into; targets without faces ignore it.
    virtual void setFace(int32_t /*face*/) {}

    const std::string& name() const { return m_name; }
    bool fullScreen() const { return m_fullScreen; }
    int32_t colourBits() const { return m_colourBits; }
    int32_t depthBits() const { return m_depthBits; }
    int32_t stencilBits() const { return m_stencilBits; }
    int32_t fsaaLevel() const { return m_fsaaLevel; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }

protected:
    std::string m_name;
    bool m_fullScreen = false;
    int32_t m_colourBits = 0;
    int32_t m_depthBits = 0;
    int32_t m_stencilBits = 0;
    int32_t m_fsaaLevel = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

} // namespace Vrenn
