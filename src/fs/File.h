#pragma once

#include <cstdint>
#include <vector>

namespace Vrenn {

// Seek origins of the file interface: note the order differs from the C library's.
enum SeekOrigin : int32_t { SEEK_FROM_START = 0, SEEK_FROM_END = 1, SEEK_FROM_CURRENT = 2 };

// An open file: on disk, a zip member unpacked in memory, or a memory buffer.
// Positions and sizes are 32-bit byte counts.
class File {
public:
    virtual ~File() = default;

    virtual void close() = 0;
    virtual void resize(uint32_t n) = 0;
    virtual uint32_t size() = 0;
    virtual uint32_t write(const void* buf, uint32_t n) = 0;
    virtual uint32_t read(void* buf, uint32_t n) = 0;
    // Reads n bytes from src and writes them here; returns what write returned.
    virtual uint32_t copyFrom(File& src, uint32_t n);
    // The bytes from the current position to the end (fewer when a read comes up short),
    // for decoders that take a whole file in memory.
    std::vector<uint8_t> readRest();
    virtual uint32_t seek(int32_t offset, int32_t origin) = 0;
    virtual uint32_t tell() = 0;
    uint32_t rewind() { return seek(0, SEEK_FROM_START); }

protected:
    File() = default;
    File(const File&) = default;
    File& operator=(const File&) = default;
};

} // namespace Vrenn
