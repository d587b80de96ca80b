#pragma once

#include "prt/SHBasis.h"

namespace Vrenn {

// One SH coefficient set: 25 coefficients per colour channel, in the basis index order.
struct SHCoeffs {
    SHVector red{};
    SHVector green{};
    SHVector blue{};

    // Channel 0 red, 1 green, 2 blue.
    SHVector& channel(int c) { return c == 0 ? red : (c == 1 ? green : blue); }
    const SHVector& channel(int c) const { return c == 0 ? red : (c == 1 ? green : blue); }
};

} // namespace Vrenn
