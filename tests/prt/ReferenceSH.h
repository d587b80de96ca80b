#pragma once

// Reference values for the tests, derived independently of the code under test: the 25 real
// SH basis functions of bands 0-4 written out as polynomials in the unit direction (x, y, z),
// with the sign (-1)^m of the Condon-Shortley phase for m != 0.

#include "prt/SHBasis.h"

#include <array>
#include <cmath>

namespace Vrenn::testing {

constexpr double kPi = 3.14159265358979323846;

inline std::array<double, 25> referenceSH(double x, double y, double z) {
    const double pi = kPi;
    const double x2 = x * x, y2 = y * y, z2 = z * z;
    std::array<double, 25> v{};
    v[0] = 0.5 * std::sqrt(1.0 / pi);
    const double c1 = std::sqrt(3.0 / (4.0 * pi));
    v[1] = -c1 * y;
    v[2] = c1 * z;
    v[3] = -c1 * x;
    v[4] = 0.5 * std::sqrt(15.0 / pi) * x * y;
    v[5] = -0.5 * std::sqrt(15.0 / pi) * y * z;
    v[6] = 0.25 * std::sqrt(5.0 / pi) * (3.0 * z2 - 1.0);
    v[7] = -0.5 * std::sqrt(15.0 / pi) * x * z;
    v[8] = 0.25 * std::sqrt(15.0 / pi) * (x2 - y2);
    v[9] = -0.25 * std::sqrt(35.0 / (2.0 * pi)) * y * (3.0 * x2 - y2);
    v[10] = 0.5 * std::sqrt(105.0 / pi) * x * y * z;
    v[11] = -0.25 * std::sqrt(21.0 / (2.0 * pi)) * y * (5.0 * z2 - 1.0);
    v[12] = 0.25 * std::sqrt(7.0 / pi) * (5.0 * z2 * z - 3.0 * z);
    v[13] = -0.25 * std::sqrt(21.0 / (2.0 * pi)) * x * (5.0 * z2 - 1.0);
    v[14] = 0.25 * std::sqrt(105.0 / pi) * z * (x2 - y2);
    v[15] = -0.25 * std::sqrt(35.0 / (2.0 * pi)) * x * (x2 - 3.0 * y2);
    v[16] = 0.75 * std::sqrt(35.0 / pi) * x * y * (x2 - y2);
    v[17] = -0.75 * std::sqrt(35.0 / (2.0 * pi)) * y * z * (3.0 * x2 - y2);
    v[18] = 0.75 * std::sqrt(5.0 / pi) * x * y * (7.0 * z2 - 1.0);
    v[19] = -0.75 * std::sqrt(5.0 / (2.0 * pi)) * y * z * (7.0 * z2 - 3.0);
    v[20] = 3.0 / 16.0 * std::sqrt(1.0 / pi) * (35.0 * z2 * z2 - 30.0 * z2 + 3.0);
    v[21] = -0.75 * std::sqrt(5.0 / (2.0 * pi)) * x * z * (7.0 * z2 - 3.0);
    v[22] = 3.0 / 8.0 * std::sqrt(5.0 / pi) * (x2 - y2) * (7.0 * z2 - 1.0);
    v[23] = -0.75 * std::sqrt(35.0 / (2.0 * pi)) * x * z * (x2 - 3.0 * y2);
    v[24] = 3.0 / 16.0 * std::sqrt(35.0 / pi) * (x2 * (x2 - 3.0 * y2) - y2 * (3.0 * x2 - y2));
    return v;
}

// The same in single precision: the coefficients of the band-limited spike at (x, y, z).
inline SHVector referenceSHVector(double x, double y, double z) {
    const auto ref = referenceSH(x, y, z);
    SHVector v;
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = float(ref[i]);
    return v;
}

} // namespace Vrenn::testing
