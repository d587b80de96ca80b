#include "geometry/Surface.h"

#include "geometry/Mesh.h"
#include "geometry/Model.h"

namespace Vrenn {

Surface::Surface() = default;
Surface::~Surface() = default;

void Surface::setMesh(std::shared_ptr<Mesh> mesh) {
    m_mesh = std::move(mesh);
    m_bounds = BoundingBox::empty();
    if (m_mesh) m_mesh->computeBounds(m_bounds);
}

void Surface::setModel(std::shared_ptr<Model> model) {
    m_model = std::move(model);
    if (m_model) m_bounds = m_model->bounds();
}

void Surface::setMaterial(std::string name, std::shared_ptr<Material> material) {
    m_materialName = std::move(name);
    m_material = std::move(material);
}

} // namespace Vrenn
