#include "scene/SceneNode.h"

namespace Vrenn {

SceneNode::SceneNode(std::string name, const Vec3& position, const Quaternion& orientation,
                     const BoundingBox& bounds)
    : m_name(std::move(name)), m_position(position), m_orientation(orientation), m_bounds(bounds) {}

void SceneNode::rotate(const Vec3& axis, float degrees) {
    m_orientation = Quaternion::fromAxisAngle(axis, degrees) * m_orientation;
    m_dirty = true;
}

void SceneNode::translate(const Vec3& v) {
    m_position += v;
    m_dirty = true;
}

void SceneNode::setPosition(const Vec3& p) {
    m_position = p;
    m_dirty = true;
}

void SceneNode::setOrientation(const Quaternion& q) {
    m_orientation = q;
    m_dirty = true;
}

bool SceneNode::updateTransform() {
    if (!m_dirty) return false;
    m_local = m_orientation.toMatrix();
    m_local(0, 3) = m_position.x;
    m_local(1, 3) = m_position.y;
    m_local(2, 3) = m_position.z;
    m_dirty = false;
    if (m_parent) {
        m_parent->updateTransform();
        m_world = m_parent->worldMatrix() * m_local;
        m_worldOrientation = m_parent->worldOrientation() * m_orientation;
    } else {
        m_world = m_local;
        m_worldOrientation = m_orientation;
    }
    m_worldPosition = {m_world(0, 3), m_world(1, 3), m_world(2, 3)};
    return true;
}

} // namespace Vrenn
