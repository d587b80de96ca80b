#pragma once

#include "core/Singleton.h"
#include "core/Registry.h"
#include "render/RenderTarget.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class Window;

// Render-texture kinds of createRenderTexture: 2D, anything else a cube map.
constexpr int32_t RENDER_TEXTURE_2D = 1;
constexpr int32_t RENDER_TEXTURE_CUBE = 3;

using RenderTargetList = std::vector<std::shared_ptr<RenderTarget>>;

// Creates, names and keeps the render targets. A name asked for again returns the
// target made first under it.
class RenderTargetMgr : public Singleton<RenderTargetMgr>, public RegistryOwner<RenderTarget> {
public:
    RenderTargetMgr() = default;
    virtual ~RenderTargetMgr();

    // The primary target: the window's back buffer, whose creation creates the
    // device. Empty on failure, and then nothing is registered.
    virtual std::shared_ptr<RenderTarget>
    createRenderWindow(const std::string& name, const std::shared_ptr<Window>& window) = 0;
    // format is an ImageFormat code.
    virtual std::shared_ptr<RenderTarget>
    createRenderTexture(const std::string& name, int32_t type, int32_t width, int32_t height,
                        int32_t format, int32_t depthBits, int32_t stencilBits, int32_t fsaaLevel,
                        bool autoGenMips) = 0;
    // A 2D render texture of the primary target's size.
    virtual std::shared_ptr<RenderTarget>
    createScreenRenderTexture(const std::string& name, int32_t format, int32_t depthBits,
                              int32_t stencilBits, int32_t fsaaLevel);
    // Targets baseName0, baseName1, ... drawn together, one per format; the list is
    // empty when one of them cannot be made.
    virtual RenderTargetList createMRT(const std::string& baseName, int32_t width, int32_t height,
                                       const std::vector<int32_t>& formats, int32_t depthBits,
                                       int32_t stencilBits, int32_t fsaaLevel) = 0;
    virtual RenderTargetList createScreenMRT(const std::string& baseName,
                                             const std::vector<int32_t>& formats, int32_t depthBits,
                                             int32_t stencilBits, int32_t fsaaLevel);

    // The target made by the last successful createRenderWindow, while it lives.
    std::shared_ptr<RenderTarget> primaryTarget() const { return m_primary.lock(); }

protected:
    std::weak_ptr<RenderTarget> m_primary;
};

} // namespace Vrenn
