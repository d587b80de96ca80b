#pragma once

#include "core/Matrix4.h"
#include "render/RenderTargetMgr.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {

class Window;
class TextureManager;
class VertexBufferMgr;
class ShaderMgr;
class QueryMgr;

// A viewport in pixels of the bound target, from its top-left corner.
struct Viewport {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// A shader model as one number, major * 256 + minor (3.0 is 0x300), so versions
// compare as unsigned numbers.
constexpr uint32_t shaderVersion(uint32_t major, uint32_t minor) {
    return major * 256u + minor;
}

// What the device can run, as far as engine code chooses between paths by it. Zero
// until the renderer is initialised.
struct RendererCaps {
    // The shader model the fragment stage matches.
    uint32_t pixelShaderVersion = 0;
};

// Kinds of applyTransform.
enum TransformKind : int32_t {
    TRANSFORM_WORLD = 0,
    TRANSFORM_VIEW = 1,
    TRANSFORM_WORLD_ALT = 2, // loads the world matrix as well
    TRANSFORM_PROJECTION = 3,
};

// The renderer: owns the device, the resource managers, the frame's clear flags, the
// bound render targets, the viewport and the transforms. Binding is filtered: asking
// for what is already bound does nothing.
class Renderer {
public:
    Renderer();
    virtual ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Back to the constructed state: clear flags colour and depth, no targets, no
    // viewport, identity matrices, and the managers released (textures, vertex
    // buffers, render targets, effects, queries, in that order).
    virtual void reset();
    virtual bool Initialize(const std::shared_ptr<Window>& window) = 0;
    virtual void ShutDown() = 0;
    // Starts a frame and clears the bound target with the stored clear flags.
    virtual void beginFrame() = 0;
    // Ends the frame and presents the back buffer.
    virtual void endFrame() = 0;
    virtual void setClearFlags(bool colour, bool depth, bool stencil);
    // Clears the whole bound target to black (alpha 0), depth 1, stencil 0. The colour
    // is cleared whatever `colour` says; depth and stencil only when asked.
    virtual void clear(bool colour, bool depth, bool stencil) = 0;
    // Binds one target. An empty pointer binds the back buffer through the primary
    // target's unbind (the bound group, if any, is unbound first).
    virtual void setRenderTarget(const std::shared_ptr<RenderTarget>& target);
    // Binds one face of a cube render texture; an empty pointer as setRenderTarget.
    virtual void setRenderTargetFace(const std::shared_ptr<RenderTarget>& target, int32_t face);
    // Binds targets drawn together, each at its own index. An empty list while a group
    // is bound unbinds the group and binds the back buffer in its place.
    virtual void setRenderTargets(const RenderTargetList& targets);
    // Binds the back buffer (the primary target), whatever was bound before.
    void bindBackBuffer() { setRenderTarget(m_primaryTarget); }
    // The target drawing goes to now: the single bound target, else the first of the
    // bound group, else the primary target (the back buffer). Empty only before the
    // renderer has a primary target.
    const std::shared_ptr<RenderTarget>& boundTarget() const;
    virtual void setViewport(const std::shared_ptr<Viewport>& viewport);
    // Records the window's new client size on the primary target (the size screen
    // sized render textures take); nothing is re-created.
    virtual void resize(int32_t width, int32_t height);
    // World and view become the identity and the projection maps x and y from 0 to 1,
    // y down, for overlays.
    virtual void begin2D();
    // Hands one stored matrix to the device; shaders read the matrices through effect
    // parameters, so implementations may have nothing to do.
    virtual void applyTransform(int32_t kind);
    virtual void enableScissor(bool on) = 0;
    virtual void setScissorRect(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    // Saves the back buffer as the next free "shotNNNN.jpg"; false when it was not
    // written (logged with the reason; with every name taken nothing is written).
    virtual bool takeScreenShot() = 0;

    bool clearColour() const { return m_clearColour; }
    bool clearDepth() const { return m_clearDepth; }
    bool clearStencil() const { return m_clearStencil; }

    const std::shared_ptr<RenderTarget>& primaryTarget() const { return m_primaryTarget; }
    const std::shared_ptr<RenderTarget>& currentTarget() const { return m_currentTarget; }
    const RenderTargetList& currentTargets() const { return m_currentTargets; }
    const std::shared_ptr<Viewport>& viewport() const { return m_viewport; }

    Matrix4& world() { return m_world; }
    Matrix4& view() { return m_view; }
    Matrix4& projection() { return m_projection; }
    // Applied by the camera after its view matrix (a mirror of z turns the engine's
    // right-handed scenes into the left-handed view space).
    Matrix4& coordinateConversion() { return m_conversion; }
    const Matrix4& world() const { return m_world; }
    const Matrix4& view() const { return m_view; }
    const Matrix4& projection() const { return m_projection; }
    const Matrix4& coordinateConversion() const { return m_conversion; }
    // True: the camera builds left-handed projections with depth from 0 to 1.
    bool projectionFlag() const { return m_projectionFlag; }

    // Filled by Initialize and kept until the next one. The writable form lets a test
    // report less than the device has, to reach the paths of older devices.
    const RendererCaps& capabilities() const { return m_capabilities; }
    RendererCaps& capabilities() { return m_capabilities; }

    const std::shared_ptr<RenderTargetMgr>& renderTargetMgr() const { return m_renderTargetMgr; }
    const std::shared_ptr<TextureManager>& textureManager() const { return m_textureManager; }
    const std::shared_ptr<VertexBufferMgr>& vertexBufferMgr() const { return m_vertexBufferMgr; }
    const std::shared_ptr<ShaderMgr>& shaderMgr() const { return m_shaderMgr; }
    const std::shared_ptr<QueryMgr>& queryMgr() const { return m_queryMgr; }

protected:
    // Sets the device viewport; called by setViewport when the viewport changes.
    virtual void applyViewport(const Viewport& viewport) = 0;
    // Unbinds the bound group, leaving the list empty.
    void unbindGroup();

    bool m_clearColour = true;
    bool m_clearDepth = true;
    bool m_clearStencil = false;
    std::shared_ptr<RenderTarget> m_primaryTarget;
    std::shared_ptr<RenderTarget> m_currentTarget;
    RenderTargetList m_currentTargets;
    std::shared_ptr<Viewport> m_viewport;
    // Face last bound through setRenderTargetFace; -1 before the first.
    int32_t m_lastFace = -1;
    Matrix4 m_world = Matrix4::identity();
    Matrix4 m_view = Matrix4::identity();
    Matrix4 m_projection = Matrix4::identity();
    Matrix4 m_conversion = Matrix4::identity();
    bool m_projectionFlag = false;
    RendererCaps m_capabilities;
    std::shared_ptr<RenderTargetMgr> m_renderTargetMgr;
    std::shared_ptr<TextureManager> m_textureManager;
    std::shared_ptr<VertexBufferMgr> m_vertexBufferMgr;
    std::shared_ptr<ShaderMgr> m_shaderMgr;
    std::shared_ptr<QueryMgr> m_queryMgr;
};

// The process-wide renderer handle that the application publishes; parts without an
// application reference reach the renderer through it.
std::shared_ptr<Renderer> currentRenderer();
void setCurrentRenderer(std::shared_ptr<Renderer> renderer);

} // namespace Vrenn
