#include "geometry/ModelObjectFactory.h"

#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"

namespace Vrenn {

ModelObjectFactory::~ModelObjectFactory() = default;

std::shared_ptr<Model> ModelObjectFactory::createModel() {
    return std::make_shared<Model>();
}

std::shared_ptr<Surface> ModelObjectFactory::createSurface() {
    return std::make_shared<Surface>();
}

std::shared_ptr<Mesh> ModelObjectFactory::createMesh() {
    return std::make_shared<Mesh>();
}

std::shared_ptr<Material> ModelObjectFactory::findMaterial(const std::string&) {
    return {};
}

bool ModelObjectFactory::uploadMesh(const std::shared_ptr<Mesh>&) {
    return true;
}

} // namespace Vrenn
