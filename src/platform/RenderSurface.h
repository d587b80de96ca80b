#pragma once

#include <cstdint>
#include <string>

namespace Vrenn {

// A drawable size in pixels.
struct SurfaceSize {
    int32_t width = 0;
    int32_t height = 0;
};

// What the renderer draws on: the seam between the window system and GL. The renderer
// asks for a GL context on the surface, makes it current, shows finished frames and
// reads the drawable size; it never sees the window system itself. The surface owns
// the context it made, so whoever closes the surface destroys the context first.
class RenderSurface {
public:
    virtual ~RenderSurface() = default;

    // Makes a core-profile GL context of the version on the surface and makes it
    // current, presenting immediately (no wait for the display). False, with the
    // window system's reason in `why`, when the driver refuses it.
    virtual bool createGLContext(int32_t major, int32_t minor, std::string& why) = 0;
    // Destroys the surface's context, if any (nothing is current afterwards).
    virtual void destroyGLContext() = 0;
    // Identifies the context that lives on the surface: a number no earlier context
    // of this surface had, 0 while there is none.
    virtual uint64_t glContextId() const = 0;
    // Makes the surface's context current; false when there is none.
    virtual bool makeCurrent() = 0;
    // Shows what was drawn into the surface's own framebuffer.
    virtual void swap() = 0;
    // The size of the surface's own framebuffer.
    virtual SurfaceSize drawableSize() const = 0;
};

} // namespace Vrenn
