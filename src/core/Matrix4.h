#pragma once

#include "core/Vector3.h"

#include <array>

namespace Vrenn {

// A 4x4 float matrix stored row by row. Points are column vectors transformed as
// M * p, so a translation sits in the fourth column, and in A * B the transform B
// applies first.
struct Matrix4 {
    std::array<float, 16> m{};

    static constexpr Matrix4 identity() {
        Matrix4 r;
        r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
        return r;
    }
    static constexpr Matrix4 translation(const Vec3& t) {
        Matrix4 r = identity();
        r.m[3] = t.x;
        r.m[7] = t.y;
        r.m[11] = t.z;
        return r;
    }
    static constexpr Matrix4 scaling(float sx, float sy, float sz) {
        Matrix4 r = identity();
        r.m[0] = sx;
        r.m[5] = sy;
        r.m[10] = sz;
        return r;
    }

    constexpr float& operator()(int row, int column) { return m[row * 4 + column]; }
    constexpr float operator()(int row, int column) const { return m[row * 4 + column]; }
    const float* data() const { return m.data(); }

    Matrix4 operator*(const Matrix4& b) const;
    // M * (p, 1), divided by w when w is neither 0 nor 1.
    Vec3 transformPoint(const Vec3& p) const;
    // The upper 3x3 part times v.
    Vec3 transformVector(const Vec3& v) const;
    Matrix4 transposed() const;
    // The general inverse (adjugate over determinant); a singular matrix gives the
    // identity and ok = false.
    Matrix4 inverse(bool* ok = nullptr) const;
    constexpr bool operator==(const Matrix4&) const = default;
};

// Perspective projections from a vertical field of view in degrees. The left-handed
// one maps view depth near..far to 0..1 (the engine's convention); the other is the
// right-handed form with depth -1..1.
Matrix4 perspectiveLH(float fovYDegrees, float aspect, float zNear, float zFar);
Matrix4 perspectiveRH(float fovYDegrees, float aspect, float zNear, float zFar);
// Orthographic projection of the box left..right, bottom..top, depth near..far to
// clip space with depth 0..1.
Matrix4 orthoOffCenterLH(float left, float right, float bottom, float top, float zNear, float zFar);

} // namespace Vrenn
