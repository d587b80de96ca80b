#include "render/gl/GLVertexBufferMgr.h"

#include "core/Log.h"
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
    const char* failure = nullptr;
    if (!glBuffer)
        failure = "not a buffer of this manager";
    else if (!glBuffer->createBuffers())
        failure = "the device buffers cannot be made";
    else if (glBuffer->declaration(Mesh::kAllStreams) == 0)
        failure = "the vertex layout cannot be made";
    else if (!glBuffer->update(true, true, -1, -1))
        failure = "copying the vertices and indices failed";
    if (failure) logFormat("GLVertexBufferMgr::upload: %s\n", failure);
    return failure == nullptr;
}

} // namespace Vrenn
