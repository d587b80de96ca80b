#pragma once

#include <array>

namespace Vrenn {

// Real spherical harmonics of bands 0 to 4. Coefficient i = l(l + 1) + m, m = -l ... l:
// index 0 is the constant term, 1-3 band 1, 4-8 band 2, 9-15 band 3, 16-24 band 4.
constexpr int kSHBands = 5;
constexpr int kSHCoeffCount = kSHBands * kSHBands;

// The value of 4 pi used throughout the SH code (normalisation and sample weights).
constexpr float kSHFourPi = 12.566368f;

// The highest band the evaluator accepts (factorials up to 20! fit 64 bits).
constexpr int kSHMaxEvalBand = 10;

using SHVector = std::array<float, kSHCoeffCount>;

constexpr int shIndex(int l, int m) {
    return l * (l + 1) + m;
}

// Normalisation K(l, |m|) = sqrt((2l + 1) (l - |m|)! / (4 pi (l + |m|)!)), in single
// precision with the factorials as integer products. 0 for l or m out of range.
float shNormalisation(int l, int m);

// Associated Legendre polynomial P(l, m, x), 0 <= m <= l, with the Condon-Shortley phase
// (P(1, 1, x) = -sqrt(1 - x^2)), by the standard upward recurrence in single precision.
// 0 for l or m out of range.
float shLegendre(int l, int m, float x);

// Real SH basis function Y(l, m) at polar angle theta (from +z) and azimuth phi (from +x
// towards +y):
//   m = 0: K(l, 0) P(l, 0, cos theta)
//   m > 0: sqrt(2) K(l, m) cos(m phi) P(l, m, cos theta)
//   m < 0: sqrt(2) K(l, -m) sin(-m phi) P(l, -m, cos theta)
// With the phase in P, band 1 is (-c y, c z, -c x) for the direction (x, y, z), c = sqrt(3 / 4 pi).
// Trigonometry is evaluated in double precision and rounded, so the result does not depend on
// the platform's single-precision maths library. 0 for l or m out of range.
float shEvaluate(int l, int m, float theta, float phi);

// All 25 basis values at (theta, phi) in index order; each equals shEvaluate(l, m, ...).
void shEvaluateAll(float theta, float phi, float* out);

} // namespace Vrenn
