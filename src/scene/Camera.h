#pragma once

#include "scene/SceneNode.h"
#include "scene/ViewVolume.h"

#include <memory>

namespace Vrenn {

class Renderer;

// Which perspective builder cameras use. The renderer's convention is left-handed
// with depth 0..1; the application copies it here at start-up.
struct ProjectionSwitch {
    bool leftHanded = true;
    bool rightHanded = false; // always the negation of leftHanded
};
ProjectionSwitch& projectionSwitch();

// A viewpoint: a scene node plus view and projection matrices and a view volume.
// Turning and moving only change the node and set flags; update() recomputes.
//
// The view matrix ends with the coordinate conversion of the renderer the camera works
// with (view = K * inverse(world)), read at each update so that a conversion installed
// after the camera was made still applies. A camera without a live renderer uses
// defaultConversion(), the z mirror every renderer of the engine is given at start-up.
class Camera : public SceneNode {
public:
    Camera(std::string name, const Vec3& position, const Quaternion& orientation,
           std::weak_ptr<const Renderer> renderer = {});

    // The conversion used without a renderer: the identity with z negated, which turns
    // the engine's right-handed scenes into the renderer's left-handed view space.
    static Matrix4 defaultConversion();

    void setRenderer(std::weak_ptr<const Renderer> renderer) { m_renderer = std::move(renderer); }
    // The conversion the next update() applies.
    Matrix4 conversion() const;

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

    // Recomputes what changed, with the conversion of the camera's renderer. A
    // conversion other than the one the view was made with remakes the view even when
    // the camera did not move.
    void update();
    // The same with an explicit conversion K (tools and tests that have no renderer).
    void update(const Matrix4& conversion);

    const Matrix4& viewMatrix() const { return m_view; }
    const Matrix4& projectionMatrix() const { return m_projection; }
    const ViewVolume& viewVolume() const { return m_volume; }
    float fov() const { return m_fov; }
    float nearDistance() const { return m_near; }
    float farDistance() const { return m_far; }
    float aspect() const { return m_aspect; }

private:
    void projectionChanged();

    std::weak_ptr<const Renderer> m_renderer;
    Matrix4 m_view = Matrix4::identity();
    Matrix4 m_viewConversion = Matrix4::identity(); // the conversion m_view was made with
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
