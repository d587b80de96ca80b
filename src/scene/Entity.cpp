#include "scene/Entity.h"

namespace Vrenn {

Entity::Entity(std::string name, std::shared_ptr<Mesh> mesh, std::shared_ptr<Material> material)
    : SceneNode(std::move(name), {}, Quaternion{}, BoundingBox::empty()), m_mesh(std::move(mesh)),
      m_material(std::move(material)) {}

} // namespace Vrenn
