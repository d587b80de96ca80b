#pragma once

#include "core/Vector3.h"
#include "prt/SHCoeffs.h"

#include <cstdint>

namespace Vrenn {

class Image;

// Edge length in texels of the sky cube maps the run folder holds.
constexpr int32_t kSkyCubeSize = 64;

// The SH series of coefficients c (bands 0-4) in a unit direction: sum of c_i Y_i(d), with
// theta measured from +z and phi from +x towards +y, as everywhere in the SH code.
float shSeries(const SHVector& c, const Vec3& direction);

// The unit direction through the point (s, t) of a cube-map face, s and t running from 0 to 1
// across the face: s along a row from its first texel, t down the rows from row 0. Faces are
// numbered +X, -X, +Y, -Y, +Z, -Z (the order of the faces in an Image and in DDS files), and
// each face is laid out as GL samples a cube map: face +X has +y at row 0 and +z at the first
// texel of a row, so a lookup in direction d finds the texel whose direction is d. A face outside
// 0 ... 5 counts as the nearest of them.
Vec3 cubeFaceDirection(int face, float s, float t);

// The sky of one light probe as a cube map: size x size texels per face, one level, four half
// floats per texel. Each texel holds the probe's SH series in the direction of its centre,
// per colour channel, clamped at 0 (a truncated series dips below 0 where the probe is dark),
// with alpha 1. The values are the probe's radiance itself, in the units the lighting uses,
// so the sky shows exactly the light that lights the scene. False, with the image unchanged,
// for a size below 1 or when the image cannot be made.
bool makeSkyCube(const SHCoeffs& probe, int32_t size, Image& image);

} // namespace Vrenn
