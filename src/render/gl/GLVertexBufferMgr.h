#pragma once

#include "render/VertexBufferMgr.h"

namespace Vrenn {

class GLVertexBufferMgr : public VertexBufferMgr {
public:
    GLVertexBufferMgr() = default;
    ~GLVertexBufferMgr() override;

    std::shared_ptr<VertexBuffer> createVertexBuffer() override;
    // Makes a buffer per stream and for the indices, the layout of all streams, and
    // copies everything.
    bool upload(const std::shared_ptr<VertexBuffer>& buffer) override;
};

} // namespace Vrenn
