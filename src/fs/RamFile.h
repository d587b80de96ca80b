#pragma once

#include "fs/File.h"

#include <vector>

namespace Vrenn {

// A growable file in memory.
class RamFile : public File {
public:
    RamFile() = default;
    // Starts with n bytes copied from data (zeros when data is null), positioned at 0.
    RamFile(const void* data, uint32_t n);

    void close() override;
    void resize(uint32_t n) override;
    uint32_t size() override { return static_cast<uint32_t>(m_data.size()); }
    // Grows the file when the write runs past its end.
    uint32_t write(const void* buf, uint32_t n) override;
    // Reads at most what is left; returns the count read.
    uint32_t read(void* buf, uint32_t n) override;
    // The position is not clamped; reads beyond the end return 0.
    uint32_t seek(int32_t offset, int32_t origin) override;
    uint32_t tell() override { return m_position; }

    const std::vector<uint8_t>& data() const { return m_data; }

private:
    std::vector<uint8_t> m_data;
    uint32_t m_position = 0;
};

} // namespace Vrenn
