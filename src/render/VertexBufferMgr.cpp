#include "render/VertexBufferMgr.h"

namespace Vrenn {

VertexBufferMgr::~VertexBufferMgr() = default;

void VertexBufferMgr::remove(const std::shared_ptr<VertexBuffer>& buffer) {
    m_registry.remove(buffer);
}

void VertexBufferMgr::remove(const std::string& name) {
    m_registry.remove(name);
}

void VertexBufferMgr::removeAll() {
    m_registry.clear();
}

std::shared_ptr<Mesh> VertexBufferObjectFactory::createMesh() {
    if (auto* manager = VertexBufferMgr::instance())
        if (auto buffer = manager->createVertexBuffer()) return buffer;
    return ModelObjectFactory::createMesh();
}

bool VertexBufferObjectFactory::uploadMesh(const std::shared_ptr<Mesh>& mesh) {
    auto buffer = std::dynamic_pointer_cast<VertexBuffer>(mesh);
    auto* manager = VertexBufferMgr::instance();
    if (!buffer || !manager) return ModelObjectFactory::uploadMesh(mesh);
    return manager->upload(buffer);
}

} // namespace Vrenn
