#include "core/Matrix4.h"

#include <cmath>

namespace Vrenn {

Matrix4 Matrix4::operator*(const Matrix4& b) const {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += (*this)(i, k) * b(k, j);
            r(i, j) = sum;
        }
    return r;
}

Vec3 Matrix4::transformPoint(const Vec3& p) const {
    const auto& a = *this;
    Vec3 r{a(0, 0) * p.x + a(0, 1) * p.y + a(0, 2) * p.z + a(0, 3),
           a(1, 0) * p.x + a(1, 1) * p.y + a(1, 2) * p.z + a(1, 3),
           a(2, 0) * p.x + a(2, 1) * p.y + a(2, 2) * p.z + a(2, 3)};
    const float w = a(3, 0) * p.x + a(3, 1) * p.y + a(3, 2) * p.z + a(3, 3);
    if (w != 0.0f && w != 1.0f) r *= 1.0f / w;
    return r;
}

Vec3 Matrix4::transformVector(const Vec3& v) const {
    const auto& a = *this;
    return {a(0, 0) * v.x + a(0, 1) * v.y + a(0, 2) * v.z,
            a(1, 0) * v.x + a(1, 1) * v.y + a(1, 2) * v.z,
            a(2, 0) * v.x + a(2, 1) * v.y + a(2, 2) * v.z};
}

Matrix4 Matrix4::transposed() const {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r(i, j) = (*this)(j, i);
    return r;
}

Matrix4 Matrix4::inverse(bool* ok) const {
    // Cofactor expansion by 2x2 sub-determinants of the top and bottom row pairs.
    const auto& a = m;
    const float s0 = a[0] * a[5] - a[4] * a[1];
    const float s1 = a[0] * a[6] - a[4] * a[2];
    const float s2 = a[0] * a[7] - a[4] * a[3];
    const float s3 = a[1] * a[6] - a[5] * a[2];
    const float s4 = a[1] * a[7] - a[5] * a[3];
    const float s5 = a[2] * a[7] - a[6] * a[3];
    const float c5 = a[10] * a[15] - a[14] * a[11];
    const float c4 = a[9] * a[15] - a[13] * a[11];
    const float c3 = a[9] * a[14] - a[13] * a[10];
    const float c2 = a[8] * a[15] - a[12] * a[11];
    const float c1 = a[8] * a[14] - a[12] * a[10];
    const float c0 = a[8] * a[13] - a[12] * a[9];
    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (det == 0.0f || !std::isfinite(det)) {
        if (ok) *ok = false;
        return identity();
    }
    const float inv = 1.0f / det;
    Matrix4 r;
    auto& b = r.m;
    b[0] = (a[5] * c5 - a[6] * c4 + a[7] * c3) * inv;
    b[1] = (-a[1] * c5 + a[2] * c4 - a[3] * c3) * inv;
    b[2] = (a[13] * s5 - a[14] * s4 + a[15] * s3) * inv;
    b[3] = (-a[9] * s5 + a[10] * s4 - a[11] * s3) * inv;
    b[4] = (-a[4] * c5 + a[6] * c2 - a[7] * c1) * inv;
    b[5] = (a[0] * c5 - a[2] * c2 + a[3] * c1) * inv;
    b[6] = (-a[12] * s5 + a[14] * s2 - a[15] * s1) * inv;
    b[7] = (a[8] * s5 - a[10] * s2 + a[11] * s1) * inv;
    b[8] = (a[4] * c4 - a[5] * c2 + a[7] * c0) * inv;
    b[9] = (-a[0] * c4 + a[1] * c2 - a[3] * c0) * inv;
    b[10] = (a[12] * s4 - a[13] * s2 + a[15] * s0) * inv;
    b[11] = (-a[8] * s4 + a[9] * s2 - a[11] * s0) * inv;
    b[12] = (-a[4] * c3 + a[5] * c1 - a[6] * c0) * inv;
    b[13] = (a[0] * c3 - a[1] * c1 + a[2] * c0) * inv;
    b[14] = (-a[12] * s3 + a[13] * s1 - a[14] * s0) * inv;
    b[15] = (a[8] * s3 - a[9] * s1 + a[10] * s0) * inv;
    if (ok) *ok = true;
    return r;
}

namespace {
// Half the field of view in radians: degrees * pi / 360.
constexpr float kHalfAngleScale = 0.008726645f;
} // namespace

Matrix4 perspectiveLH(float fovYDegrees, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovYDegrees * kHalfAngleScale);
    const float xScale = yScale / aspect;
    Matrix4 r;
    r(0, 0) = xScale;
    r(1, 1) = yScale;
    r(2, 2) = zFar / (zFar - zNear);
    r(2, 3) = -zNear * zFar / (zFar - zNear);
    r(3, 2) = 1.0f;
    return r;
}

Matrix4 perspectiveRH(float fovYDegrees, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovYDegrees * kHalfAngleScale);
    const float xScale = yScale / aspect;
    Matrix4 r;
    r(0, 0) = xScale;
    r(1, 1) = yScale;
    r(2, 2) = -(zNear + zFar) / (zFar - zNear);
    r(2, 3) = -2.0f * zNear * zFar / (zFar - zNear);
    r(3, 2) = -1.0f;
    return r;
}

Matrix4 orthoOffCenterLH(float left, float right, float bottom, float top, float zNear,
                         float zFar) {
    Matrix4 r = Matrix4::identity();
    r(0, 0) = 2.0f / (right - left);
    r(1, 1) = 2.0f / (top - bottom);
    r(2, 2) = 1.0f / (zFar - zNear);
    r(0, 3) = (left + right) / (left - right);
    r(1, 3) = (top + bottom) / (bottom - top);
    r(2, 3) = zNear / (zNear - zFar);
    return r;
}

} // namespace Vrenn
