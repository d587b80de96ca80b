#pragma once

#include "render/VertexBufferMgr.h"
#include "render/gl/GLContext.h"

namespace Vrenn {

class GLVertexBufferMgr : public VertexBufferMgr {
public:
    explicit GLVertexBufferMgr(GLContext& context) : m_context(context) {}
    ~GLVertexBufferMgr() override;

    std::shared_ptr<VertexBuffer> createVertexBuffer() override;
    // Makes a buffer per stream and for the indices, the layout of all streams, and
    // copies everything.
    bool upload(const std::shared_ptr<VertexBuffer>& buffer) override;

private:
    GLContextHandle m_context;
};

} // namespace Vrenn
