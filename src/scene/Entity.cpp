#include "scene/Entity.h"

#include "geometry/Mesh.h"

namespace Vrenn {

namespace {

BoundingBox boundsOf(const std::shared_ptr<Mesh>& mesh) {
    BoundingBox box;
    if (mesh) mesh->computeBounds(box);
    return box;
}

} // namespace

Entity::Entity(std::string name, std::shared_ptr<Mesh> mesh, std::shared_ptr<Material> material)
    : SceneNode(std::move(name), {}, Quaternion{}, boundsOf(mesh)), m_mesh(std::move(mesh)),
      m_material(std::move(material)) {}

} // namespace Vrenn
