#pragma once

#include <epoxy/gl.h>

namespace Vrenn::Test {

// Counts calls of the GL entry points the renderer filters (binds of targets,
// viewports, attachments, programs, vertex arrays, textures and samplers, render
// states, uniform uploads) and of the ones that delete objects, by standing in for
// them in the loader's dispatch table while it lives.
class GLCallCounter {
public:
    GLCallCounter();
    ~GLCallCounter();
    GLCallCounter(const GLCallCounter&) = delete;
    GLCallCounter& operator=(const GLCallCounter&) = delete;

    // Every counted call so far.
    int total() const;
    int bindFramebuffer() const;
    int viewport() const;
    int attachments() const;
    // Programs, vertex arrays, textures and samplers bound.
    int binds() const;
    // Render states set: enables, masks, depth, blend, cull and fill calls.
    int states() const;
    // Uniform values handed to programs.
    int uniforms() const;
    // GL objects deleted.
    int deletes() const;
};

} // namespace Vrenn::Test
