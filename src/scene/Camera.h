#pragma once

#include "scene/SceneNode.h"
#include "scene/ViewVolume.h"

namespace Vrenn {

// Which perspective builder cameras use. The renderer's convention is left-handed
// with depth 0..1; the application copies it here at start-up.
struct ProjectionSwitch {
    bool leftHanded = true;
    bool rightHanded = false; // always the negation of leftHanded
};
ProjectionSwitch& projectionSwitch();

// A viewpoint: a scene node plus view and projection matrices and a view volume.
// Turning and moving only change the node and set flags; update() recomputes.
class Camera : public SceneNode {
public:
    Camera(std::string name, const Vec3& position, const Quaternion& orientation);

    // Turns about the world's up axis (0, 1, 0).
    void turnAboutUp(float degrees);
    // Turns about the camera's own x axis.
    void turnAboutSide(float degrees);
    // Moves along the camera's own z (forward) and x (side) axes.
    void moveForward(float distance);
    void moveSide(float distance);

    void setFov(float degrees);
    void setNear(float distance);
    void setFar(float distance);
    void setAspect(float ratio);

    // Recomputes what changed. conversion is the renderer's coordinate-conversion
    // matrix K: view = K * inverse(world).
    void update(const Matrix4& conversion = Matrix4::identity());

    const Matrix4& viewMatrix() const { return m_view; }
    const Matrix4& projectionMatrix() const { return m_projection; }
    const ViewVolume& viewVolume() const { return m_volume; }
    float fov() const { return m_fov; }
    float nearDistance() const { return m_near; }
    float farDistance() const { return m_far; }
    float aspect() const { return m_aspect; }

private:
    void projectionChanged();

    Matrix4 m_view = Matrix4::identity();
    float m_fov = 45.0f;
    float m_far = 1000.0f;
    float m_near = 4.0f;
    float m_aspect = 1.33f;
    bool m_projectionChanged = true;
    Matrix4 m_projection = Matrix4::identity();
    ViewVolume m_volume;
    Vec3 m_up{0.0f, 1.0f, 0.0f};
    bool m_viewChanged = true;
};

} // namespace Vrenn
