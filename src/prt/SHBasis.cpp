#include "prt/SHBasis.h"

#include <cmath>
#include <cstdint>

namespace Vrenn {

namespace {

uint64_t factorial(int n) {
    uint64_t result = 1;
    for (int i = 2; i <= n; ++i)
        result *= static_cast<uint64_t>(i);
    return result;
}

bool validBand(int l, int m) {
    return l >= 0 && l <= kSHMaxEvalBand && m >= -l && m <= l;
}

// cos and sin of a float angle, computed in double and rounded once: the float results are
// then the same on every platform (up to a double rounding that practically never differs).
float stableCos(float angle) {
    return static_cast<float>(std::cos(static_cast<double>(angle)));
}
float stableSin(float angle) {
    return static_cast<float>(std::sin(static_cast<double>(angle)));
}

} // namespace

float shNormalisation(int l, int m) {
    if (m < 0) m = -m;
    if (!validBand(l, m)) return 0.0f;
    const float numerator = static_cast<float>(2 * l + 1) * static_cast<float>(factorial(l - m));
    const float denominator = kSHFourPi * static_cast<float>(factorial(l + m));
    return std::sqrt(numerator / denominator);
}

float shLegendre(int l, int m, float x) {
    if (!validBand(l, m) || m < 0) return 0.0f;
    float pmm = 1.0f;
    if (m > 0) {
        float oneMinusX2 = 1.0f - x * x;
        const float s = std::sqrt(oneMinusX2 > 0.0f ? oneMinusX2 : 0.0f);
        float f = 1.0f;
        for (int i = 1; i <= m; ++i) {
            pmm = pmm * -f * s;
            f += 2.0f;
        }
    }
    if (l == m) return pmm;
    float pmmp1 = x * static_cast<float>(2 * m + 1) * pmm;
    if (l == m + 1) return pmmp1;
    float pll = 0.0f;
    for (int ll = m + 2; ll <= l; ++ll) {
        pll = (static_cast<float>(2 * ll - 1) * x * pmmp1 - static_cast<float>(ll + m - 1) * pmm) /
              static_cast<float>(ll - m);
        pmm = pmmp1;
        pmmp1 = pll;
    }
    return pll;
}

float shEvaluate(int l, int m, float theta, float phi) {
    if (!validBand(l, m)) return 0.0f;
    constexpr float kSqrt2 = 1.4142137f;
    const float x = stableCos(theta);
    if (m == 0) return shNormalisation(l, 0) * shLegendre(l, 0, x);
    if (m > 0)
        return kSqrt2 * shNormalisation(l, m) * stableCos(static_cast<float>(m) * phi) *
               shLegendre(l, m, x);
    return kSqrt2 * shNormalisation(l, -m) * stableSin(static_cast<float>(-m) * phi) *
           shLegendre(l, -m, x);
}

void shEvaluateAll(float theta, float phi, float* out) {
    for (int l = 0; l < kSHBands; ++l)
        for (int m = -l; m <= l; ++m)
            out[shIndex(l, m)] = shEvaluate(l, m, theta, phi);
}

} // namespace Vrenn
