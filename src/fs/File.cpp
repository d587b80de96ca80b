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

} // namespace Vrenn
