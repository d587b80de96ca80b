#pragma once

#include "core/Matrix4.h"
#include "scene/SceneNode.h"

#include <array>

namespace Vrenn {

// The six planes bounding what a camera sees, taken from projection * view. Each plane (a, b, c, d)
// keeps points with a x + b y + c z + d >= 0 inside; planes are normalised.
class ViewVolume {
public:
    struct Plane {
        Vec3 normal;
        float d = 0.0f;
    };

    // depthZeroToOne: clip-space depth runs 0..1 (else -1..1).
    void update(const Matrix4& view, const Matrix4& projection, bool depthZeroToOne = true);
    // Conservative: false only when the box lies wholly outside one plane.
    bool intersects(const BoundingBox& box) const;
    bool contains(const Vec3& point) const;

    const std::array<Plane, 6>& planes() const { return m_planes; }

private:
    std::array<Plane, 6> m_planes{};
};

} // namespace Vrenn
