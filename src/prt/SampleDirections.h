#pragma once

#include "prt/LcgRandom.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vrenn {

// The bake's sample set: g * g jittered directions over the sphere, g = floor(sqrt(R)) for R
// requested rays, each with its angles, unit direction, the direction scaled to the ray length,
// and its octant.
//
// Octants are numbered by the signs of the direction: bit 0 set when x < 0, bit 1 when y < 0,
// bit 2 when z < 0 (a zero component counts as positive). Octant o ^ 7 is the opposite octant.
struct SampleDirections {
    int requestedRays = 0;
    float rayLength = 0.0f;
    std::vector<float> theta;
    std::vector<float> phi;
    std::vector<std::array<float, 3>> unit;       // (sin t cos p, sin t sin p, cos t)
    std::vector<std::array<float, 3>> scaled;     // unit * rayLength
    std::array<std::vector<uint32_t>, 8> octants; // sample numbers per octant, ascending

    size_t size() const { return unit.size(); }
};

// The largest requested ray count the generator accepts (1024 * 1024 samples).
constexpr int kMaxSampleRays = 1 << 20;

// g = floor(sqrt(requestedRays)); 0 for counts below 1.
int sampleGridSize(int requestedRays);

// Fills out for requestedRays rays. For a = 0 ... g - 1 (outer) and b = 0 ... g - 1 (inner),
// two fresh jitter values r1, r2 (in that order) give u = (a + r1) / g and v = (b + r2) / g;
// theta = 2 acos(sqrt(1 - u)) and phi = 6.283184 v, which spreads the samples uniformly over
// the sphere (cos theta = 1 - 2u). All arithmetic is single precision except the
// trigonometry, which is evaluated in double and rounded.
// Returns false, leaving out empty, when requestedRays is below 1 or above kMaxSampleRays.
bool generateSampleDirections(int requestedRays, float rayLength, LcgRandom& random,
                              SampleDirections& out);

constexpr int octantOf(float x, float y, float z) {
    return (x < 0.0f ? 1 : 0) | (y < 0.0f ? 2 : 0) | (z < 0.0f ? 4 : 0);
}

// How the directions of an octant lie against a direction n.
enum class OctantSide : uint8_t {
    Front, // every direction w of the octant has n . w > 0
    Back,  // every direction w of the octant has n . w < 0
    Mixed, // neither can be told from the octant alone
};

// Classifies the eight octants against n. Conservative: an octant is Front only when each
// component of n has the octant's sign strictly (positive for the octant's non-negative axes,
// negative for its negative ones), which makes n . w > 0 for every unit w in it, axis
// directions included; it is Back when its opposite octant is Front.
std::array<OctantSide, 8> classifyOctants(float nx, float ny, float nz);

} // namespace Vrenn
