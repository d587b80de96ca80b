#include "prt/TransferTextures.h"

#include "fs/HalfFloat.h"
#include "fs/Image.h"

#include <cstring>

namespace Vrenn {

namespace {

constexpr size_t kTexelBytes = 8; // four half floats

// Plane and channel of coefficient i of basis k.
void coefficientSlot(int basis, int i, int& plane, int& channel) {
    if (i == 0) {
        plane = 6;
        channel = basis;
    } else if (i <= 8) {
        plane = 2 * basis + (i - 1) / 4;
        channel = (i - 1) % 4;
    } else {
        plane = 7 + 4 * basis + (i - 9) / 4;
        channel = (i - 9) % 4;
    }
}

} // namespace

void writeTransferCoefficients(uint8_t* texel, size_t planeBytes, int basis,
                               const float* coefficients) {
    for (int i = 0; i < 25; ++i) {
        int plane = 0, channel = 0;
        coefficientSlot(basis, i, plane, channel);
        const uint16_t half = floatToHalf(coefficients[i]);
        std::memcpy(texel + static_cast<size_t>(plane) * planeBytes + 2u * channel, &half, 2);
    }
}

void readTransferCoefficients(const uint8_t* texel, size_t planeBytes, int basis,
                              float* coefficients) {
    for (int i = 0; i < 25; ++i) {
        int plane = 0, channel = 0;
        coefficientSlot(basis, i, plane, channel);
        uint16_t half;
        std::memcpy(&half, texel + static_cast<size_t>(plane) * planeBytes + 2u * channel, 2);
        coefficients[i] = halfToFloat(half);
    }
}

bool transferFileImage(const Image& bake, int file, Image& out) {
    if (file < 0 || file > 2 || !bake.data() || bake.format() != kTransferFormat ||
        bake.depth() != kTransferPlaneCount || bake.mipLevels() != 1 || bake.faces() != 1)
        return false;
    const size_t planeBytes =
        static_cast<size_t>(bake.width()) * static_cast<size_t>(bake.height()) * kTexelBytes;
    Image image;
    uint8_t* data =
        image.create(bake.width(), bake.height(), kTransferFileSlices[file], kTransferFormat, 1, 1);
    if (!data) return false;
    std::memcpy(data, bake.data() + static_cast<size_t>(kTransferFileFirstPlane[file]) * planeBytes,
                static_cast<size_t>(kTransferFileDataSlices[file]) * planeBytes);
    out = image;
    return true;
}

} // namespace Vrenn
