#pragma once

#include "prt/SHCoeffs.h"

#include <array>

namespace Vrenn {

// The two distant-light probes the scene is lit by, as SH coefficients of bands 0-4 in the
// basis index order, one set of 25 per colour channel. Slot 0 and slot 1 are the two ends of
// the cross-fade of the per-frame lighting.
constexpr int kLightProbeCount = 2;

// The built-in probes' names, by slot (the help panel and log lines show them).
constexpr const char* kLightProbeNames[kLightProbeCount] = {"rnl", "stpeters"};

// The probe table (constant data).
const std::array<SHCoeffs, kLightProbeCount>& lightProbes();

} // namespace Vrenn
