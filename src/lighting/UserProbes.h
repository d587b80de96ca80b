#pragma once

#include "prt/LightProbes.h"
#include "prt/SHCoeffs.h"

#include <array>
#include <memory>
#include <string>

namespace Vrenn {

class Texture;
class TextureManager;

// The light probes a run folder's settings "probe0" and "probe1" choose, as both the program
// and the tools light with them.
struct ProbeChoice {
    // The table to light with: the built-in probes, each usable user probe in its slot.
    std::array<SHCoeffs, kLightProbeCount> probes;
    // Per slot where a user probe is used: its sky (a cube map) and that sky's file name;
    // empty where the slot keeps its built-in probe and sky.
    std::array<std::shared_ptr<Texture>, kLightProbeCount> skies;
    std::array<std::string, kLightProbeCount> skyNames;
    // Per slot whose setting names a probe that cannot be used, the line saying so:
    // probe<k> "<file>" cannot be used (<why>); slot <k> keeps the built-in probe <name> and
    // its sky
    std::array<std::string, kLightProbeCount> refusals;
};

// Chooses the probes for the settings' values fileNames (empty: the built-in probe). A user
// probe is a coefficient file (loadProbeCoefficients, a name inside the run folder) and the
// cube map textures/sky/<its stem>.dds, found in textures or loaded into it. A probe whose
// file cannot be read or parsed, or whose sky is missing, unreadable or not a cube map,
// leaves the slot with its built-in probe and sky: the whole probe or none of it, so that the
// sky shown is always the light that lights.
ProbeChoice chooseProbes(const std::array<std::string, kLightProbeCount>& fileNames,
                         TextureManager& textures);

} // namespace Vrenn
