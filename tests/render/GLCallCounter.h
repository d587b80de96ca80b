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
    int viewport() const { return count(kViewports); }
    // Programs, vertex arrays, textures and samplers bound.
    int binds() const { return count(kBinds); }
    // Render states set: enables, masks, depth, blend, cull and fill calls.
    int states() const { return count(kStates); }
    // Uniform values handed to programs.
    int uniforms() const { return count(kUniforms); }
    // GL objects deleted.
    int deletes() const { return count(kDeletes); }

    // What a counted call is; the others (framebuffer binds, attachments, draw buffers)
    // count in the total only.
    enum Kind { kViewports, kBinds, kStates, kUniforms, kDeletes, kOther, kKinds };

private:
    static int count(Kind kind);
};

} // namespace Vrenn::Test
