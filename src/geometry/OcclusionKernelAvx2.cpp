// The packet walk built with AVX2 (eight lanes); OcclusionCaster calls it only where the
// processor has AVX2.

#include "geometry/OcclusionKernel.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#define KERNEL_WIDTH 8
#define KERNEL_ENTRY castPacketAvx2
#define KERNEL_HITS_ENTRY castHitsAvx2

namespace Vrenn {
#include "geometry/OcclusionKernel.inc"
} // namespace Vrenn
