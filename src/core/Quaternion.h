#pragma once

#include "core/Matrix4.h"
#include "core/Vector3.h"

#include <cmath>

namespace Vrenn {

// A rotation quaternion stored w, x, y, z; the identity is (1, 0, 0, 0).
struct Quaternion {
    float w = 1.0f, x = 0.0f, y = 0.0f, z = 0.0f;

    // The rotation by degrees about a unit axis (right-hand rule).
    static Quaternion fromAxisAngle(const Vec3& axis, float degrees) {
        const float half = degrees * 0.01745329f * 0.5f;
        const float s = std::sin(half);
        return {std::cos(half), s * axis.x, s * axis.y, s * axis.z};
    }

    // Hamilton product: (q * o) applies o first, then q.
    constexpr Quaternion operator*(const Quaternion& o) const {
        return {w * o.w - x * o.x - y * o.y - z * o.z, w * o.x + x * o.w + y * o.z - z * o.y,
                w * o.y + y * o.w + z * o.x - x * o.z, w * o.z + z * o.w + x * o.y - y * o.x};
    }

    // v rotated by this (unit) quaternion.
    constexpr Vec3 rotate(const Vec3& v) const {
        const Vec3 u{x, y, z};
        const Vec3 c = cross(u, v);
        return v + c * (2.0f * w) + cross(u, c) * 2.0f;
    }

    // The rotation as a matrix (upper 3x3; translation 0).
    constexpr Matrix4 toMatrix() const {
        Matrix4 r = Matrix4::identity();
        r(0, 0) = 1.0f - 2.0f * (y * y + z * z);
        r(0, 1) = 2.0f * (x * y - w * z);
        r(0, 2) = 2.0f * (x * z + w * y);
        r(1, 0) = 2.0f * (x * y + w * z);
        r(1, 1) = 1.0f - 2.0f * (x * x + z * z);
        r(1, 2) = 2.0f * (y * z - w * x);
        r(2, 0) = 2.0f * (x * z - w * y);
        r(2, 1) = 2.0f * (y * z + w * x);
        r(2, 2) = 1.0f - 2.0f * (x * x + y * y);
        return r;
    }
};

} // namespace Vrenn
