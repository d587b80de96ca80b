#pragma once

#include <epoxy/gl.h>

namespace Vrenn::Test {

// Counts the calls of the GL entry points that bind targets and viewports, by
// standing in for them in the loader's dispatch table while it lives.
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
};

} // namespace Vrenn::Test
