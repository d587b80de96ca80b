#include "prt/SampleDirections.h"

#include <cmath>

namespace Vrenn {

int sampleGridSize(int requestedRays) {
    if (requestedRays < 1) return 0;
    int g = static_cast<int>(std::sqrt(static_cast<double>(requestedRays)));
    // Correct any rounding of the square root so that g * g <= R < (g + 1) * (g + 1).
    while (static_cast<int64_t>(g + 1) * (g + 1) <= requestedRays)
        ++g;
    while (static_cast<int64_t>(g) * g > requestedRays)
        --g;
    return g;
}

bool generateSampleDirections(int requestedRays, float rayLength, LcgRandom& random,
                              SampleDirections& out) {
    out = SampleDirections{};
    if (requestedRays < 1 || requestedRays > kMaxSampleRays) return false;
    out.requestedRays = requestedRays;
    out.rayLength = rayLength;

    const int g = sampleGridSize(requestedRays);
    const size_t count = static_cast<size_t>(g) * static_cast<size_t>(g);
    out.theta.reserve(count);
    out.phi.reserve(count);
    out.unit.reserve(count);
    out.scaled.reserve(count);

    const float gf = static_cast<float>(g);
    for (int a = 0; a < g; ++a) {
        for (int b = 0; b < g; ++b) {
            const float r1 = random.nextUnit();
            const float r2 = random.nextUnit();
            const float u = (static_cast<float>(a) + r1) / gf;
            const float v = (static_cast<float>(b) + r2) / gf;
            // u may round a hair above 1 for the last row; clamp before the square root.
            const float oneMinusU = 1.0f - u;
            float s = oneMinusU > 0.0f ? std::sqrt(oneMinusU) : 0.0f;
            if (s > 1.0f) s = 1.0f;
            const float theta = 2.0f * static_cast<float>(std::acos(static_cast<double>(s)));
            const float phi = 6.283184f * v;

            const float sinTheta = static_cast<float>(std::sin(static_cast<double>(theta)));
            const float cosTheta = static_cast<float>(std::cos(static_cast<double>(theta)));
            const float cosPhi = static_cast<float>(std::cos(static_cast<double>(phi)));
            const float sinPhi = static_cast<float>(std::sin(static_cast<double>(phi)));
            const std::array<float, 3> d = {sinTheta * cosPhi, sinTheta * sinPhi, cosTheta};

            const uint32_t k = static_cast<uint32_t>(out.unit.size());
            out.theta.push_back(theta);
            out.phi.push_back(phi);
            out.unit.push_back(d);
            out.scaled.push_back({d[0] * rayLength, d[1] * rayLength, d[2] * rayLength});
            out.octants[static_cast<size_t>(octantOf(d[0], d[1], d[2]))].push_back(k);
        }
    }
    return true;
}

std::array<OctantSide, 8> classifyOctants(float nx, float ny, float nz) {
    // front[o]: n has, on every axis, the strict sign of octant o.
    std::array<bool, 8> front{};
    for (int o = 0; o < 8; ++o) {
        const bool xOk = (o & 1) ? nx < 0.0f : nx > 0.0f;
        const bool yOk = (o & 2) ? ny < 0.0f : ny > 0.0f;
        const bool zOk = (o & 4) ? nz < 0.0f : nz > 0.0f;
        front[static_cast<size_t>(o)] = xOk && yOk && zOk;
    }
    std::array<OctantSide, 8> sides{};
    for (int o = 0; o < 8; ++o) {
        if (front[static_cast<size_t>(o)])
            sides[static_cast<size_t>(o)] = OctantSide::Front;
        else if (front[static_cast<size_t>(o ^ 7)])
            sides[static_cast<size_t>(o)] = OctantSide::Back;
        else
            sides[static_cast<size_t>(o)] = OctantSide::Mixed;
    }
    return sides;
}

} // namespace Vrenn
