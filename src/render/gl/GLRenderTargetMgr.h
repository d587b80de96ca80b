#pragma once

#include "render/RenderTargetMgr.h"
#include "render/gl/GLContext.h"

#include <memory>

namespace Vrenn {

class GLDrawFramebuffer;
class GLRenderTexture;

// Render targets in the renderer's GL context: the primary target (the back buffer)
// and render textures, bound through one shared framebuffer.
class GLRenderTargetMgr : public RenderTargetMgr {
public:
    explicit GLRenderTargetMgr(GLContext& context);
    ~GLRenderTargetMgr() override;

    std::shared_ptr<RenderTarget>
    createRenderWindow(const std::string& name, const std::shared_ptr<Window>& window) override;
    std::shared_ptr<RenderTarget> createRenderTexture(const std::string& name, int32_t type,
                                                      int32_t width, int32_t height, int32_t format,
                                                      int32_t depthBits, int32_t stencilBits,
                                                      int32_t fsaaLevel, bool autoGenMips) override;
    RenderTargetList createMRT(const std::string& baseName, int32_t width, int32_t height,
                               const std::vector<int32_t>& formats, int32_t depthBits,
                               int32_t stencilBits, int32_t fsaaLevel) override;


private:
    // Makes, shares depth with the primary target when it may, creates and logs one
    // render texture; empty on failure.
    std::shared_ptr<GLRenderTexture> makeRenderTexture(const std::string& name, int32_t type,
                                                       int32_t width, int32_t height,
                                                       int32_t format, uint32_t mrtIndex,
                                                       int32_t depthBits, int32_t stencilBits,
                                                       int32_t fsaaLevel, bool autoGenMips);

    GLContextHandle m_context;
};

} // namespace Vrenn
