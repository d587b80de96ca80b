#pragma once

#include "prt/LightProbes.h"
#include "prt/SHCoeffs.h"

#include <array>
#include <cstdint>

namespace Vrenn {

// Decides whether a frame must draw the lightmaps anew. What the lightmap passes write
// depends on the sky angle, the cross-fade's blend factor, the probe table and the scene's
// largest luminance, never on the camera; while none of these changed since the last
// drawing, and the targets were not made anew, the lightmaps still hold that drawing and
// the frame skips the passes.
class LightmapRefresh {
public:
    // The light a drawing of the lightmaps was made with.
    struct Light {
        float skyAngle = 0.0f;
        float blend = 0.0f;
        float maxSceneLum = 0.0f;
        std::array<SHCoeffs, kLightProbeCount> probes{};
    };

    // True when the lightmaps must be drawn for this light: nothing drawn yet, the targets
    // made anew since (forget), or a value that differs from the last drawing's. Values are
    // compared bit for bit, so a NaN that stays a NaN counts as unchanged.
    bool due(const Light& light) const;
    // The lightmaps now hold this light.
    void drawn(const Light& light);
    // A frame used the lightmaps as they were.
    void skipped() { ++m_skips; }
    // The lightmaps no longer hold the last drawing (new targets, new transfer): the next
    // frame draws them.
    void forget() { m_held = false; }

    uint64_t draws() const { return m_draws; }
    uint64_t skips() const { return m_skips; }

private:
    bool m_held = false;
    Light m_last;
    uint64_t m_draws = 0;
    uint64_t m_skips = 0;
};

} // namespace Vrenn
