#include "geometry/Model.h"

#include "geometry/Surface.h"

namespace Vrenn {

Model::Model() = default;
Model::~Model() = default;

void Model::addSurface(std::shared_ptr<Surface> surface) {
    if (!surface) return;
    if (m_surfaces.empty())
        m_bounds = surface->bounds();
    else
        m_bounds.merge(surface->bounds());
    m_surfaces.push_back(std::move(surface));
}

} // namespace Vrenn
