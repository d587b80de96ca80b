#pragma once

#include "core/Vector3.h"
#include "core/Vector4.h"
#include "prt/LightProbes.h"
#include "prt/SHCoeffs.h"

#include <array>
#include <string>

namespace Vrenn {

// The turn of the sky by angle radians: the right-hand rotation about +y, row by row, acting
// on column vectors (d' = R d):
//     ( cos a, 0, sin a )
//     (   0,   1,   0   )
//     (-sin a, 0, cos a )
// R(pi/2) takes +x to -z. The lighting and the sky both turn by this matrix, so what the sky
// shows in direction d is what lights surfaces from d.
std::array<float, 9> skyRotationRows(float angle);

// One value handed to a lighting effect: the parameter's name and its 4-float value.
struct LightingParameter {
    std::string name;
    Vector4 value;
};

// The per-frame distant lighting. Both probes are turned by the sky rotation R(angle), so that
// light(d) = probe(R^-1 d), and cross-faded:
//     lighting = (1 - blend) * turned slot 0 + blend * turned slot 1
// coefficient by coefficient (blend 0 gives slot 0, 1 gives slot 1, values between mix them;
// values outside 0 ... 1 extrapolate). Both probes are turned every frame, whatever the blend.
//
// The lighting set is then packed into the parameters of the lighting effects, one list per
// effect, values as 4-float vectors. The lists keep their names from construction on; an update
// only rewrites the values, so a frame allocates nothing.
//   one pass:     "lightRGBCoeff0" = (R0, G0, B0, 0), then "lightRCoeff1" ... "lightRCoeff6" =
//                 coefficients 1-4, 5-8, ..., 21-24 of red, the same for green ("lightGCoeff")
//                 and blue ("lightBCoeff"), then "objSpaceCamera" = (x, y, z, 1).
//   bands 0-2:    "lightRGBCoeff0", then "lightRCoeff1" and "lightRCoeff2" = coefficients 1-4
//                 and 5-8, the same for green and blue, then "objSpaceCamera".
//   bands 3-4:    "lightRCoeff0" ... "lightRCoeff3" = coefficients 9-12, 13-16, 17-20, 21-24,
//                 the same for green and blue, then "objSpaceCamera".
//   combine:      "objSpaceCamera" only.
// The same name therefore means different coefficients in different effects: "lightRCoeff1" is
// coefficients 1-4 in the one-pass and band 0-2 effects, 13-16 in the band 3-4 effect.
class PrtLighting {
public:
    static constexpr int kOnePassCount = 1 + 3 * 6 + 1;
    static constexpr int kBands012Count = 1 + 3 * 2 + 1;
    static constexpr int kBands34Count = 3 * 4 + 1;
    static constexpr int kCombineCount = 1;

    using OnePassParameters = std::array<LightingParameter, kOnePassCount>;
    using Bands012Parameters = std::array<LightingParameter, kBands012Count>;
    using Bands34Parameters = std::array<LightingParameter, kBands34Count>;
    using CombineParameters = std::array<LightingParameter, kCombineCount>;

    // Lit by the probe table of LightProbes.h.
    PrtLighting();
    explicit PrtLighting(const std::array<SHCoeffs, kLightProbeCount>& probes);

    // Computes the frame's lighting set for the sky angle (radians) and the blend factor, and
    // refills every parameter list with it and the camera position in object space.
    void update(float angle, float blend, const Vec3& objectSpaceCamera);

    const std::array<SHCoeffs, kLightProbeCount>& probes() const { return m_probes; }
    // Probe slot 0 or 1 as turned by the last update.
    const SHCoeffs& turnedProbe(int slot) const { return m_turned[size_t(slot)]; }
    // The lighting set of the last update (all zero before the first).
    const SHCoeffs& lighting() const { return m_lighting; }

    const OnePassParameters& onePassParameters() const { return m_onePass; }
    const Bands012Parameters& bands012Parameters() const { return m_bands012; }
    const Bands34Parameters& bands34Parameters() const { return m_bands34; }
    const CombineParameters& combineParameters() const { return m_combine; }

private:
    void pack(const Vec3& camera);

    std::array<SHCoeffs, kLightProbeCount> m_probes;
    std::array<SHCoeffs, kLightProbeCount> m_turned{};
    SHCoeffs m_lighting{};
    OnePassParameters m_onePass;
    Bands012Parameters m_bands012;
    Bands34Parameters m_bands34;
    CombineParameters m_combine;
};

} // namespace Vrenn
