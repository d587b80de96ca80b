// Reads arbitrary bytes as compressed transfer. The trailing checksum is put right first, so
// the fuzzer reaches past it. A file that reads must write back to the same bytes, and every
// texel must reconstruct and every cluster light without reading outside its arrays.
#include "prt/BakePart.h"
#include "prt/CompressedTransfer.h"
#include "prt/SHCoeffs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() >= 8) {
        const uint64_t sum = fnv1a64(bytes.data(), bytes.size() - 8);
        std::memcpy(bytes.data() + bytes.size() - 8, &sum, 8);
    }
    CompressedTransfer transfer;
    std::string why;
    if (!decodeCompressedTransfer(bytes.data(), bytes.size(), transfer, why)) return 0;
    if (encodeCompressedTransfer(transfer) != bytes) std::abort();
    float out[kTransferVectorSize];
    for (size_t t = 0; t < transfer.texelCount(); ++t)
        transfer.reconstruct(t, out);
    SHCoeffs light;
    light.red.fill(1.0f);
    std::vector<float> lit;
    lightClusters(transfer, light, lit);
    if (texelGroupPlanes(transfer).size() !=
        size_t(texelGroups(transfer.components)) * transfer.texelCount() * 4)
        std::abort();
    return 0;
}
