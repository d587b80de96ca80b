#include "scene/Camera.h"

#include "render/Renderer.h"

namespace Vrenn {

ProjectionSwitch& projectionSwitch() {
    static ProjectionSwitch value;
    return value;
}

Camera::Camera(std::string name, const Vec3& position, const Quaternion& orientation,
               std::weak_ptr<const Renderer> renderer)
    : SceneNode(std::move(name), position, orientation, BoundingBox::empty()),
      m_renderer(std::move(renderer)) {}

Matrix4 Camera::defaultConversion() {
    return Matrix4::scaling(1.0f, 1.0f, -1.0f);
}

Matrix4 Camera::conversion() const {
    if (const auto renderer = m_renderer.lock()) return renderer->coordinateConversion();
    return defaultConversion();
}

void Camera::turnAboutUp(float degrees) {
    rotate(m_up, degrees);
}

void Camera::turnAboutSide(float degrees) {
    rotate(orientation().rotate({1.0f, 0.0f, 0.0f}), degrees);
}

void Camera::moveForward(float distance) {
    translate(orientation().rotate({0.0f, 0.0f, 1.0f}) * distance);
}

void Camera::moveSide(float distance) {
    translate(orientation().rotate({1.0f, 0.0f, 0.0f}) * distance);
}

void Camera::projectionChanged() {
    m_projectionChanged = true;
    m_viewChanged = true;
}

void Camera::setFov(float degrees) {
    m_fov = degrees;
    projectionChanged();
}

void Camera::setNear(float distance) {
    m_near = distance;
    projectionChanged();
}

void Camera::setFar(float distance) {
    m_far = distance;
    projectionChanged();
}

void Camera::setAspect(float ratio) {
    m_aspect = ratio;
    projectionChanged();
}

void Camera::update() {
    update(conversion());
}

void Camera::update(const Matrix4& conversion) {
    bool moved = updateTransform();
    if (!moved && conversion != m_viewConversion) moved = true;
    if (moved) {
        m_view = conversion * worldMatrix().inverse();
        m_viewConversion = conversion;
    }
    if (!moved && !m_viewChanged) return;
    const bool leftHanded = projectionSwitch().leftHanded;
    if (m_projectionChanged) {
        m_projection = leftHanded ? perspectiveLH(m_fov, m_aspect, m_near, m_far)
                                  : perspectiveRH(m_fov, m_aspect, m_near, m_far);
        m_projectionChanged = false;
    }
    m_volume.update(m_view, m_projection, leftHanded);
    m_viewChanged = false;
}

} // namespace Vrenn
