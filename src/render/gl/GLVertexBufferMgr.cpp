#include "render/gl/GLVertexBufferMgr.h"

#include "render/gl/GLVertexBuffer.h"

namespace Vrenn {

GLVertexBufferMgr::~GLVertexBufferMgr() = default;

std::shared_ptr<VertexBuffer> GLVertexBufferMgr::createVertexBuffer() {
    auto buffer = std::make_shared<GLVertexBuffer>(m_context);
    m_registry.add(m_registry.generateName(), buffer);
    return buffer;
}

bool GLVertexBufferMgr::upload(const std::shared_ptr<VertexBuffer>& buffer) {
    auto glBuffer = std::dynamic_pointer_cast<GLVertexBuffer>(buffer);
    if (!glBuffer || !glBuffer->createBuffers()) return false;
    if (glBuffer->declaration(Mesh::kAllStreams) == 0) return false;
    return glBuffer->update(true, true, -1, -1);
}

} // namespace Vrenn
