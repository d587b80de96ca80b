#pragma once

#include "render/VertexBufferMgr.h"

namespace Vrenn {

class SceneMgr;

// Builds loaded models through the scene: surfaces are registered with the scene
// manager, materials are resolved by the material manager, and meshes are vertex
// buffers when a vertex buffer manager exists.
class SceneModelObjects : public VertexBufferObjectFactory {
public:
    explicit SceneModelObjects(SceneMgr& scene) : m_scene(scene) {}

    std::shared_ptr<Surface> createSurface() override;
    std::shared_ptr<Material> findMaterial(const std::string& name) override;

private:
    SceneMgr& m_scene;
};

} // namespace Vrenn
