#pragma once

#include "core/BoundingBox.h"
#include "core/Matrix4.h"
#include "core/Quaternion.h"

#include <memory>
#include <string>

namespace Vrenn {

// The transform of a placed object: a position and an orientation, with local and
// world matrices recomputed lazily after something moved the node.
class SceneNode {
public:
    SceneNode(std::string name, const Vec3& position, const Quaternion& orientation,
              const BoundingBox& bounds);
    virtual ~SceneNode() = default;

    // Turns by degrees about a world-space unit axis, after the current orientation.
    void rotate(const Vec3& axis, float degrees);
    void translate(const Vec3& v);
    void setPosition(const Vec3& p);
    void setOrientation(const Quaternion& q);

    // Recomputes the matrices when the node moved; true when it did.
    bool updateTransform();

    const std::string& name() const { return m_name; }
    const Vec3& position() const { return m_position; }
    const Quaternion& orientation() const { return m_orientation; }
    const BoundingBox& bounds() const { return m_bounds; }
    bool dirty() const { return m_dirty; }
    const Matrix4& localMatrix() const { return m_local; }
    const Matrix4& worldMatrix() const { return m_world; }
    const Vec3& worldPosition() const { return m_worldPosition; }
    const Quaternion& worldOrientation() const { return m_worldOrientation; }
    void setParent(std::shared_ptr<SceneNode> parent) { m_parent = std::move(parent); }

private:
    std::string m_name;
    Vec3 m_position;
    Quaternion m_orientation;
    Matrix4 m_local = Matrix4::identity();
    BoundingBox m_bounds;
    bool m_dirty = true;
    Vec3 m_worldPosition;
    Quaternion m_worldOrientation;
    Matrix4 m_world = Matrix4::identity();
    std::shared_ptr<SceneNode> m_parent;
};

} // namespace Vrenn
