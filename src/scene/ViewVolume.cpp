#include "scene/ViewVolume.h"

namespace Vrenn {

void ViewVolume::update(const Matrix4& view, const Matrix4& projection, bool depthZeroToOne) {
    const Matrix4 clip = projection * view;
    auto row = [&](int r) {
        return std::array<float, 4>{clip(r, 0), clip(r, 1), clip(r, 2), clip(r, 3)};
    };
    const auto r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3);
    auto make = [](const std::array<float, 4>& p) {
        Plane plane{{p[0], p[1], p[2]}, p[3]};
        const float n = length(plane.normal);
        if (n > 0.0f) {
            plane.normal *= 1.0f / n;
            plane.d /= n;
        }
        return plane;
    };
    auto add = [](auto a, auto b, float s) {
        return std::array<float, 4>{a[0] + s * b[0], a[1] + s * b[1], a[2] + s * b[2],
                                    a[3] + s * b[3]};
    };
    m_planes[0] = make(add(r3, r0, 1.0f));                       // left:   w + x >= 0
    m_planes[1] = make(add(r3, r0, -1.0f));                      // right:  w - x >= 0
    m_planes[2] = make(add(r3, r1, 1.0f));                       // bottom: w + y >= 0
    m_planes[3] = make(add(r3, r1, -1.0f));                      // top:    w - y >= 0
    m_planes[4] = make(depthZeroToOne ? r2 : add(r3, r2, 1.0f)); // near: z >= 0 or w + z >= 0
    m_planes[5] = make(add(r3, r2, -1.0f));                      // far:    w - z >= 0
}

bool ViewVolume::intersects(const BoundingBox& box) const {
    for (const auto& plane : m_planes) {
        // The box corner furthest along the plane's normal.
        const Vec3 corner{plane.normal.x >= 0.0f ? box.max.x : box.min.x,
                          plane.normal.y >= 0.0f ? box.max.y : box.min.y,
                          plane.normal.z >= 0.0f ? box.max.z : box.min.z};
        if (dot(plane.normal, corner) + plane.d < 0.0f) return false;
    }
    return true;
}

bool ViewVolume::contains(const Vec3& point) const {
    for (const auto& plane : m_planes)
        if (dot(plane.normal, point) + plane.d < 0.0f) return false;
    return true;
}

} // namespace Vrenn
