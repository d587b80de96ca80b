#pragma once

#include <cmath>

namespace Vrenn {

// A 3-component float vector: positions, directions, normals. All arithmetic is
// single precision so that results match the float data stored in meshes.
struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3 operator-() const { return {-x, -y, -z}; }
    constexpr Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr Vec3& operator+=(const Vec3& o) { return *this = *this + o; }
    constexpr Vec3& operator-=(const Vec3& o) { return *this = *this - o; }
    constexpr Vec3& operator*=(float s) { return *this = *this * s; }
    constexpr bool operator==(const Vec3&) const = default;

    constexpr float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

constexpr Vec3 operator*(float s, const Vec3& v) {
    return v * s;
}
constexpr float dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
constexpr Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float lengthSquared(const Vec3& v) {
    return dot(v, v);
}
inline float length(const Vec3& v) {
    return std::sqrt(dot(v, v));
}
inline bool isFinite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The tolerance of the geometry code: the single-precision machine epsilon.
constexpr float kGeometryEpsilon = 1.1920929e-07f;

// v scaled to unit length. A zero vector (or one whose length does not give a finite
// quotient) is returned unchanged, so normalising never produces NaN.
inline Vec3 normalized(const Vec3& v) {
    const float len = length(v);
    if (!(len > 0.0f)) return v;
    const Vec3 unit = v * (1.0f / len);
    return isFinite(unit) ? unit : v;
}

} // namespace Vrenn
