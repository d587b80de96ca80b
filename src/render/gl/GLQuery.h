#pragma once

#include "render/Query.h"
#include "render/gl/GLContext.h"

#include <epoxy/gl.h>

namespace Vrenn {

// An occlusion query on a GL query object counting samples that pass.
class GLQuery : public Query {
public:
    // Takes over a query object made in the context.
    GLQuery(GLContext& context, GLuint id);
    ~GLQuery() override;

    void begin() override;
    void end() override;
    // Waits for the result of the last finished begin/end pair. Without one (never
    // begun, or begun and not yet ended) there is nothing to wait for: false at once.
    bool getResult(uint32_t& out, bool flush) override;

    GLuint id() const { return m_id; }

private:
    GLuint m_id;
    GLContextHandle m_context;
    bool m_active = false;
    bool m_hasResult = false;
};

} // namespace Vrenn
