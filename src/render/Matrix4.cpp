#include "render/Matrix4.h"

namespace Vrenn {

Matrix4 Matrix4::identity() {
    Matrix4 result;
    for (int i = 0; i < 4; ++i)
        result(i, i) = 1.0f;
    return result;
}

Matrix4 Matrix4::orthoOffCenter(float left, float right, float bottom, float top, float zNear,
                                float zFar) {
    Matrix4 result;
    result(0, 0) = 2.0f / (right - left);
    result(0, 3) = (left + right) / (left - right);
    result(1, 1) = 2.0f / (top - bottom);
    result(1, 3) = (top + bottom) / (bottom - top);
    result(2, 2) = 1.0f / (zFar - zNear);
    result(2, 3) = zNear / (zNear - zFar);
    result(3, 3) = 1.0f;
    return result;
}

Matrix4 Matrix4::transposed() const {
    Matrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result(c, r) = (*this)(r, c);
    return result;
}

Matrix4 Matrix4::operator*(const Matrix4& other) const {
    Matrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += (*this)(r, k) * other(k, c);
            result(r, c) = sum;
        }
    return result;
}

} // namespace Vrenn
