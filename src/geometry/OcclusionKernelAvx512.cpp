// The packet walk built with AVX-512 (sixteen lanes); OcclusionCaster calls it only where the
// processor has AVX-512.

#include "geometry/OcclusionKernel.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#define KERNEL_WIDTH 16
#define KERNEL_ENTRY castPacketAvx512
#define KERNEL_HITS_ENTRY castHitsAvx512

namespace Vrenn {
#include "geometry/OcclusionKernel.inc"
} // namespace Vrenn
