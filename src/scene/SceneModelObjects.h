#pragma once

#include "geometry/ModelObjectFactory.h"

namespace Vrenn {

class SceneMgr;

// Builds loaded models through the scene: surfaces are registered with the scene
// manager and materials are resolved by the material manager. Meshes stay the
// geometry's own until a vertex buffer manager takes them over.
class SceneModelObjects : public ModelObjectFactory {
public:
    explicit SceneModelObjects(SceneMgr& scene) : m_scene(scene) {}

    std::shared_ptr<Surface> createSurface() override;
    std::shared_ptr<Material> findMaterial(const std::string& name) override;

private:
    SceneMgr& m_scene;
};

} // namespace Vrenn
