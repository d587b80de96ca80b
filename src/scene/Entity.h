#pragma once

#include "scene/SceneNode.h"

#include <memory>

namespace Vrenn {

class Material;
class Mesh;

// A placed object drawn from one mesh with one material (for example the bake's
// debug lines). Its bounding box is its mesh's box in the entity's own frame, taken
// when the entity is made (empty without a mesh).
class Entity : public SceneNode {
public:
    Entity(std::string name, std::shared_ptr<Mesh> mesh, std::shared_ptr<Material> material);

    const std::shared_ptr<Mesh>& mesh() const { return m_mesh; }
    const std::shared_ptr<Material>& material() const { return m_material; }
    void setMesh(std::shared_ptr<Mesh> mesh) { m_mesh = std::move(mesh); }
    void setMaterial(std::shared_ptr<Material> material) { m_material = std::move(material); }

private:
    std::shared_ptr<Mesh> m_mesh;
    std::shared_ptr<Material> m_material;
};

// A light of the scene. The scene keeps them by name; the lighting itself comes from
// light probes, so a light carries only its placement.
class Light : public SceneNode {
public:
    using SceneNode::SceneNode;
};

} // namespace Vrenn
