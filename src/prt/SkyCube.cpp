#include "prt/SkyCube.h"

#include "fs/HalfFloat.h"
#include "fs/Image.h"

#include <algorithm>
#include <cmath>

namespace Vrenn {

namespace {

// The 25 basis values in a unit direction.
void basisIn(const Vec3& d, float* out) {
    const double z = std::clamp(static_cast<double>(d.z), -1.0, 1.0);
    const auto theta = static_cast<float>(std::acos(z));
    const auto phi = static_cast<float>(std::atan2(static_cast<double>(d.y), double(d.x)));
    shEvaluateAll(theta, phi, out);
}

} // namespace

float shSeries(const SHVector& c, const Vec3& direction) {
    float basis[kSHCoeffCount];
    basisIn(direction, basis);
    float sum = 0.0f;
    for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
        sum += c[i] * basis[i];
    return sum;
}

Vec3 cubeFaceDirection(int face, float s, float t) {
    // The inverse of the cube-map lookup: per face its major axis, and the directions in which
    // s and t grow (the lookup takes s = (sc / |ma| + 1) / 2, t = (tc / |ma| + 1) / 2).
    struct FaceAxes {
        Vec3 major, sAxis, tAxis;
    };
    static constexpr FaceAxes kFaces[6] = {
        {{1, 0, 0}, {0, 0, -1}, {0, -1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}},
        {{0, 0, 1}, {1, 0, 0}, {0, -1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, -1, 0}},
    };
    const FaceAxes& axes = kFaces[std::clamp(face, 0, 5)];
    return normalized(axes.major + axes.sAxis * (2.0f * s - 1.0f) + axes.tAxis * (2.0f * t - 1.0f));
}

bool makeSkyCube(const SHCoeffs& probe, int32_t size, Image& image) {
    if (size < 1) return false;
    Image cube;
    if (!cube.create(size, size, 1, FORMAT_RGBA16F, 1, 6)) return false;
    const uint16_t one = floatToHalf(1.0f);
    float basis[kSHCoeffCount];
    for (int face = 0; face < 6; ++face) {
        auto* texel = reinterpret_cast<uint16_t*>(cube.getFaceData(face, 0));
        for (int32_t row = 0; row < size; ++row) {
            const float t = (float(row) + 0.5f) / float(size);
            for (int32_t column = 0; column < size; ++column, texel += 4) {
                const float s = (float(column) + 0.5f) / float(size);
                basisIn(cubeFaceDirection(face, s, t), basis);
                for (int c = 0; c < 3; ++c) {
                    const SHVector& coeffs = probe.channel(c);
                    float sum = 0.0f;
                    for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
                        sum += coeffs[i] * basis[i];
                    texel[c] = floatToHalf(sum > 0.0f ? sum : 0.0f);
                }
                texel[3] = one;
            }
        }
    }
    image = std::move(cube);
    return true;
}

} // namespace Vrenn
