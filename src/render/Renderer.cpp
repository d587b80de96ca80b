#include "render/Renderer.h"

namespace Vrenn {

namespace {
std::shared_ptr<Renderer>& rendererHandle() {
    static std::shared_ptr<Renderer> handle;
    return handle;
}
} // namespace

std::shared_ptr<Renderer> currentRenderer() {
    return rendererHandle();
}

void setCurrentRenderer(std::shared_ptr<Renderer> renderer) {
    rendererHandle() = std::move(renderer);
}

Renderer::Renderer() = default;

Renderer::~Renderer() = default;

void Renderer::reset() {
    m_clearColour = true;
    m_clearDepth = true;
    m_clearStencil = false;
    m_primaryTarget.reset();
    m_currentTarget.reset();
    m_currentTargets.clear();
    m_viewport.reset();
    m_lastFace = -1;
    m_world = m_view = m_projection = m_conversion = Matrix4::identity();
    m_projectionFlag = false;
    m_textureManager.reset();
    m_vertexBufferMgr.reset();
    m_renderTargetMgr.reset();
    m_shaderMgr.reset();
    m_queryMgr.reset();
}

void Renderer::setClearFlags(bool colour, bool depth, bool stencil) {
    m_clearColour = colour;
    m_clearDepth = depth;
    m_clearStencil = stencil;
}

void Renderer::setRenderTarget(const std::shared_ptr<RenderTarget>& target) {
    // While a group is bound no single target is, so the filter must not take an
    // empty pointer for "already bound".
    if (target == m_currentTarget && m_currentTargets.empty()) return;
    unbindGroup();
    m_currentTarget = target;
    if (target) {
        target->bind();
    } else if (m_primaryTarget) {
        m_primaryTarget->unbind();
    }
}

void Renderer::setRenderTargetFace(const std::shared_ptr<RenderTarget>& target, int32_t face) {
    if (target == m_currentTarget && face == m_lastFace && m_currentTargets.empty()) return;
    unbindGroup();
    m_currentTarget = target;
    if (target) {
        m_lastFace = face;
        target->setFace(face);
        target->bind();
    } else if (m_primaryTarget) {
        m_primaryTarget->unbind();
    }
}

void Renderer::setRenderTargets(const RenderTargetList& targets) {
    if (targets == m_currentTargets) return;
    m_currentTarget.reset();
    for (const auto& target : targets)
        if (target) target->bind();
    // Positions the new list covers were replaced by its binds; the rest go.
    for (size_t i = targets.size(); i < m_currentTargets.size(); ++i)
        if (m_currentTargets[i]) m_currentTargets[i]->unbind();
    m_currentTargets = targets;
    // Without a group drawing goes to the back buffer, not to a framebuffer with
    // nothing attached.
    if (targets.empty() && m_primaryTarget) m_primaryTarget->unbind();
}

void Renderer::unbindGroup() {
    for (const auto& target : m_currentTargets)
        if (target) target->unbind();
    m_currentTargets.clear();
}

const std::shared_ptr<RenderTarget>& Renderer::boundTarget() const {
    if (m_currentTarget) return m_currentTarget;
    for (const auto& target : m_currentTargets)
        if (target) return target;
    return m_primaryTarget;
}

void Renderer::setViewport(const std::shared_ptr<Viewport>& viewport) {
    if (viewport == m_viewport) return;
    m_viewport = viewport;
    if (viewport) applyViewport(*viewport);
}

void Renderer::resize(int32_t width, int32_t height) {
    if (m_primaryTarget) m_primaryTarget->setSize(width, height);
}

void Renderer::begin2D() {
    static const Matrix4 ortho = orthoOffCenterLH(0.0f, 1.0f, 1.0f, 0.0f, -1.0f, 1.0f);
    m_view = Matrix4::identity();
    m_world = Matrix4::identity();
    m_projection = ortho;
    applyTransform(TRANSFORM_WORLD);
    applyTransform(TRANSFORM_VIEW);
    applyTransform(TRANSFORM_PROJECTION);
}

void Renderer::applyTransform(int32_t /*kind*/) {}

} // namespace Vrenn
