#include "render/gl/GLRenderTargetMgr.h"

#include "core/Log.h"
#include "platform/Window.h"
#include "render/gl/GLDrawFramebuffer.h"
#include "render/gl/GLFormat.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLRenderbuffer.h"

namespace Vrenn {

namespace {
// Bits per texel of an ImageFormat code, as the render texture records them.
int32_t formatBits(int32_t format) {
    constexpr int32_t kBytes[] = {0, 1, 0,  3,  4, 2, 4, 6, 8, 2, 4, 6, 8,
                                  4, 8, 12, 16, 2, 2, 4, 0, 0, 0, 2, 3, 4};
    if (format < 0 || format >= static_cast<int32_t>(sizeof kBytes / sizeof kBytes[0])) return 0;
    return kBytes[format] * 8;
}
} // namespace

GLRenderTargetMgr::GLRenderTargetMgr(GLContext& context) : m_context(context) {}

GLRenderTargetMgr::~GLRenderTargetMgr() = default;

std::shared_ptr<RenderTarget>
GLRenderTargetMgr::createRenderWindow(const std::string& name,
                                      const std::shared_ptr<Window>& window) {
    const auto context = m_context.live();
    if (!window || !context) {
        logMessage(std::string("Couldn't Create Any GL Device! ") +
                   (window ? "no GL context to draw with\n" : "no window\n"));
        return nullptr;
    }
    auto target =
        std::make_shared<GLRenderTarget>(name, *context, window->width(), window->height());
    if (!target->create(window->colourBits(), window->depthBits(), window->stencilBits(),
                        window->fsaaLevel(), window->fullScreen()))
        return nullptr;
    m_registry.add(name, target);
    m_primary = target;
    return target;
}

std::shared_ptr<GLRenderTexture>
GLRenderTargetMgr::makeRenderTexture(const std::string& name, int32_t type, int32_t width,
                                     int32_t height, int32_t format, uint32_t mrtIndex,
                                     int32_t depthBits, int32_t stencilBits, int32_t fsaaLevel,
                                     bool autoGenMips) {
    const auto context = m_context.live();
    if (!context) {
        logMessage("\t" + name + " Creation: Fail\n");
        return nullptr;
    }
    auto target =
        std::make_shared<GLRenderTexture>(*context, name, type, width, height, format, mrtIndex,
                                          autoGenMips, context->drawFramebuffer());
    // The back buffer's depth serves a target of the same size and settings. A
    // multisampled depth buffer cannot serve a single-sampled texture, and a depth
    // target draws into its own depth texture.
    const auto primary = std::dynamic_pointer_cast<GLRenderTarget>(primaryTarget());
    if (primary && primary->depthBuffer() && primary->samples() == 0 && !isDepthFormat(format) &&
        primary->width() == width && primary->height() == height &&
        primary->depthBits() == depthBits && primary->stencilBits() == stencilBits &&
        primary->fsaaLevel() == fsaaLevel) {
        logMessage("\tShare frame buffer depth\n");
        target->shareDepth(primary->depthBuffer());
    }
    const bool created =
        target->create(formatBits(format), depthBits, stencilBits, fsaaLevel, true);
    logMessage("\t" + name + " Creation: " + (created ? "Success\n" : "Fail\n"));
    if (!created) return nullptr;
    return target;
}

std::shared_ptr<RenderTarget>
GLRenderTargetMgr::createRenderTexture(const std::string& name, int32_t type, int32_t width,
                                       int32_t height, int32_t format, int32_t depthBits,
                                       int32_t stencilBits, int32_t fsaaLevel, bool autoGenMips) {
    if (auto existing = m_registry.find(name)) return existing;
    logMessage("GLRenderTargetMgr::createRenderTexture: " + name + "\n");
    auto target = makeRenderTexture(name, type, width, height, format, 0, depthBits, stencilBits,
                                    fsaaLevel, autoGenMips);
    if (!target) return nullptr;
    m_registry.add(name, target);
    return target;
}

RenderTargetList GLRenderTargetMgr::createMRT(const std::string& baseName, int32_t width,
                                              int32_t height, const std::vector<int32_t>& formats,
                                              int32_t depthBits, int32_t stencilBits,
                                              int32_t fsaaLevel) {
    logMessage("GLRenderTargetMgr::createMRT: " + baseName + "\n");
    RenderTargetList result;
    for (size_t i = 0; i < formats.size(); ++i) {
        const std::string name = baseName + std::to_string(i);
        if (m_registry.find(name)) continue;
        auto target =
            makeRenderTexture(name, RENDER_TEXTURE_2D, width, height, formats[i],
                              static_cast<uint32_t>(i), depthBits, stencilBits, fsaaLevel, false);
        // Targets made before the failure stay registered.
        if (!target) return {};
        m_registry.add(name, target);
        result.push_back(target);
    }
    return result;
}

} // namespace Vrenn
