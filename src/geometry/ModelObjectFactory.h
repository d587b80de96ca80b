#pragma once

#include <memory>
#include <string>

namespace Vrenn {

class Material;
class Mesh;
class Model;
class Surface;

// Where model loaders get the objects they fill. The base class makes plain CPU-side
// objects and resolves no materials, so models load and save with no scene or
// renderer present. A scene manager overrides the model and surface hooks (to
// register them) and the material lookup; a vertex buffer manager overrides the mesh
// hooks (to hand out meshes that mirror themselves on the GPU, and to upload them).
class ModelObjectFactory {
public:
    ModelObjectFactory() = default;
    virtual ~ModelObjectFactory();
    ModelObjectFactory(const ModelObjectFactory&) = delete;
    ModelObjectFactory& operator=(const ModelObjectFactory&) = delete;

    virtual std::shared_ptr<Model> createModel();
    virtual std::shared_ptr<Surface> createSurface();
    virtual std::shared_ptr<Mesh> createMesh();
    // The material for a name read from a file; empty when there is nothing to resolve.
    virtual std::shared_ptr<Material> findMaterial(const std::string& name);
    // Gives a freshly loaded mesh its GPU buffers; the CPU-only base has none to make.
    virtual bool uploadMesh(const std::shared_ptr<Mesh>& mesh);
};

} // namespace Vrenn
