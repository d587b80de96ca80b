#include "render/RenderTargetMgr.h"

namespace Vrenn {

RenderTargetMgr::~RenderTargetMgr() = default;

std::shared_ptr<RenderTarget> RenderTargetMgr::createScreenRenderTexture(const std::string& name,
                                                                         int32_t format,
                                                                         int32_t depthBits,
                                                                         int32_t stencilBits,
                                                                         int32_t fsaaLevel) {
    const auto primary = primaryTarget();
    if (!primary) return nullptr;
    return createRenderTexture(name, RENDER_TEXTURE_2D, primary->width(), primary->height(), format,
                               depthBits, stencilBits, fsaaLevel, false);
}

RenderTargetList RenderTargetMgr::createScreenMRT(const std::string& baseName,
                                                  const std::vector<int32_t>& formats,
                                                  int32_t depthBits, int32_t stencilBits,
                                                  int32_t fsaaLevel) {
    const auto primary = primaryTarget();
    if (!primary) return {};
    return createMRT(baseName, primary->width(), primary->height(), formats, depthBits, stencilBits,
                     fsaaLevel);
}

} // namespace Vrenn
