#include "render/VertexBufferMgr.h"

#include "core/Log.h"

namespace Vrenn {

VertexBufferMgr::~VertexBufferMgr() = default;

std::shared_ptr<Mesh> VertexBufferObjectFactory::createMesh() {
    if (auto* manager = VertexBufferMgr::instance()) {
        if (auto buffer = manager->createVertexBuffer()) return buffer;
        logMessage("VertexBufferMgr: no vertex buffer could be made; the mesh stays on the CPU\n");
    }
    return ModelObjectFactory::createMesh();
}

bool VertexBufferObjectFactory::uploadMesh(const std::shared_ptr<Mesh>& mesh) {
    auto buffer = std::dynamic_pointer_cast<VertexBuffer>(mesh);
    auto* manager = VertexBufferMgr::instance();
    if (!buffer || !manager) return ModelObjectFactory::uploadMesh(mesh);
    return manager->upload(buffer);
}

} // namespace Vrenn
