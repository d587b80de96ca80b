#include "fs/File.h"

#include <vector>

namespace Vrenn {

uint32_t File::copyFrom(File& src, uint32_t n) {
    std::vector<uint8_t> buffer(n);
    const uint32_t got = src.read(buffer.data(), n);
    // Only what was really read is passed on, so a short source never writes
    // uninitialised or stale bytes.
    return write(buffer.data(), got < n ? got : n);
}

std::vector<uint8_t> File::readRest() {
    const uint32_t start = tell();
    const uint32_t end = size();
    std::vector<uint8_t> bytes(end > start ? end - start : 0);
    bytes.resize(read(bytes.data(), static_cast<uint32_t>(bytes.size())));
    return bytes;
}

} // namespace Vrenn
