#include "scene/SceneModelObjects.h"

#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"

namespace Vrenn {

std::shared_ptr<Surface> SceneModelObjects::createSurface() {
    return m_scene.createSurface();
}

std::shared_ptr<Material> SceneModelObjects::findMaterial(const std::string& name) {
    const auto& materials = m_scene.materialMgr();
    return materials ? materials->getMaterial(name) : nullptr;
}

} // namespace Vrenn
