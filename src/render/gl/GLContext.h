#pragma once

#include "render/gl/GLStateCache.h"

#include <cstdint>
#include <epoxy/gl.h>
#include <memory>
#include <string>

namespace Vrenn {

class GLDrawFramebuffer;
class RenderSurface;

// The kinds of GL object the context deletes.
enum class GLObjectType : uint8_t {
    Texture,
    Framebuffer,
    Renderbuffer,
    Buffer,
    VertexArray,
    Program,
    Shader,
    Sampler,
    Query,
};

// The renderer's GL context: made on a surface, the owner of the context's state
// cache, and the one place GL objects are deleted, so that the cache forgets a name
// exactly where GL frees it (GL gives freed names out again). The renderer owns it
// (made with std::make_shared) and passes it by reference; resources made in it keep
// a GLContextHandle.
class GLContext : public std::enable_shared_from_this<GLContext> {
public:
    // surface: where the context is made; without one, create() fails.
    explicit GLContext(std::shared_ptr<RenderSurface> surface);
    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    // Makes the context (GL 4.6 core, else 4.5 core), sets the conventions every
    // target draws with (depth 0 to 1, row 0 at the top, tight pixel rows, seamless
    // cube maps) and puts GL and the cache in the default state. False, with one log
    // line saying why, when no context can be made.
    bool create();
    // Deletes the context's own objects and destroys the GL context; nothing once it
    // is gone.
    void destroy();
    // True from create() until the GL context is destroyed, here or by the surface
    // (a window closed before the renderer shut down).
    bool alive() const;

    // The label of the version made, e.g. "(GL 4.5 core)".
    const std::string& label() const { return m_label; }
    RenderSurface& surface() { return *m_surface; }
    GLStateCache& cache() { return m_cache; }
    // The framebuffer render textures are bound into, made when first asked for while
    // the context lives.
    std::shared_ptr<GLDrawFramebuffer> drawFramebuffer();

    // Deletes a GL object and has the cache forget its name (and the draw framebuffer
    // detach it); once the context is gone only the name is dropped. The name becomes
    // 0 either way.
    void deleteObject(GLObjectType type, GLuint& name);

private:
    std::shared_ptr<RenderSurface> m_surface;
    GLStateCache m_cache;
    std::shared_ptr<GLDrawFramebuffer> m_drawFramebuffer;
    uint64_t m_id = 0; // the surface's id of the context made; 0 before and after
    std::string m_label;
    GLuint m_emptyVertexArray = 0;
};

// A resource's hold on the context it was made in. It does not keep the context:
// once the renderer lets go of it, or the GL context is destroyed, live() is empty
// and the resource drops its names without GL calls.
class GLContextHandle {
public:
    GLContextHandle() = default;
    explicit GLContextHandle(GLContext& context) : m_context(context.weak_from_this()) {}

    // The context while its GL context lives; empty otherwise.
    std::shared_ptr<GLContext> live() const;
    // Deletes through the context while it lives; the name becomes 0 either way.
    void deleteObject(GLObjectType type, GLuint& name) const;

private:
    std::weak_ptr<GLContext> m_context;
};

} // namespace Vrenn
