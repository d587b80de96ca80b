#pragma once

#include "core/BoundingBox.h"

#include <memory>
#include <string>

namespace Vrenn {

class Material; // defined by the scene layer; geometry only passes it along
class Mesh;
class Model;

// One part of a model: a mesh drawn with one material, and the mesh's bounding box.
// The material is kept both by name (what mesh files store) and as the object a
// material manager resolved for that name, which is empty when none was asked.
//
// Placed in a scene, a surface may also carry a whole model: its surfaces are then
// the parts drawn, and the model's box is the surface's box.
class Surface {
public:
    Surface();
    virtual ~Surface();

    const std::shared_ptr<Mesh>& mesh() const { return m_mesh; }
    // Sets the mesh and the bounding box from it (the empty box without a mesh).
    void setMesh(std::shared_ptr<Mesh> mesh);

    const std::string& materialName() const { return m_materialName; }
    const std::shared_ptr<Material>& material() const { return m_material; }
    void setMaterial(std::string name, std::shared_ptr<Material> material = {});

    const BoundingBox& bounds() const { return m_bounds; }

    const std::shared_ptr<Model>& model() const { return m_model; }
    // Attaches a model and takes its box (an empty pointer detaches it).
    void setModel(std::shared_ptr<Model> model);

private:
    std::shared_ptr<Mesh> m_mesh;
    std::shared_ptr<Model> m_model;
    std::shared_ptr<Material> m_material;
    std::string m_materialName;
    BoundingBox m_bounds;
};

} // namespace Vrenn
