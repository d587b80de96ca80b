#pragma once

#include <array>
#include <cstddef>

namespace Vrenn {

// A 4x4 float matrix stored row by row that transforms column vectors: the
// translation sits in the last column, and a * b applies b first.
struct Matrix4 {
    std::array<float, 16> m{};

    static Matrix4 identity();
    // Left-handed orthographic projection of the box [left, right] x [bottom, top] x
    // [zNear, zFar] onto x, y in [-1, 1] and depth in [0, 1].
    static Matrix4 orthoOffCenter(float left, float right, float bottom, float top, float zNear,
                                  float zFar);

    float& operator()(int row, int column) { return m[static_cast<std::size_t>(row * 4 + column)]; }
    float operator()(int row, int column) const {
        return m[static_cast<std::size_t>(row * 4 + column)];
    }
    Matrix4 transposed() const;
    Matrix4 operator*(const Matrix4& other) const;
    bool operator==(const Matrix4& other) const = default;
};

// Four floats: a position, direction, colour or any parameter of four values.
struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
    bool operator==(const Vector4& other) const = default;
};

} // namespace Vrenn
