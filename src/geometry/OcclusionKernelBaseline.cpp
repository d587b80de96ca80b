// The packet walk for the instructions every x86-64 processor has (four lanes).

#include "geometry/OcclusionKernel.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#define KERNEL_WIDTH 4
#define KERNEL_ENTRY castPacketBaseline
#define KERNEL_HITS_ENTRY castHitsBaseline

namespace Vrenn {
#include "geometry/OcclusionKernel.inc"
} // namespace Vrenn
