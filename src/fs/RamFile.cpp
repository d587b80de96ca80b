#include "fs/RamFile.h"

#include <cstring>

namespace Vrenn {

RamFile::RamFile(const void* data, uint32_t n) {
    m_data.assign(n, 0);
    if (data && n) std::memcpy(m_data.data(), data, n);
}

void RamFile::close() {
    m_data.clear();
    m_data.shrink_to_fit();
    m_position = 0;
}

void RamFile::resize(uint32_t n) {
    m_data.resize(n, 0);
}

uint32_t RamFile::write(const void* buf, uint32_t n) {
    if (n == 0) return 0;
    const uint64_t end = uint64_t{m_position} + n;
    if (end > UINT32_MAX) return 0;
    if (end > m_data.size()) m_data.resize(static_cast<size_t>(end), 0);
    std::memcpy(m_data.data() + m_position, buf, n);
    m_position = static_cast<uint32_t>(end);
    return n;
}

uint32_t RamFile::read(void* buf, uint32_t n) {
    const uint32_t available = m_position < size() ? size() - m_position : 0;
    if (n > available) n = available;
    if (n) std::memcpy(buf, m_data.data() + m_position, n);
    m_position += n;
    return n;
}

uint32_t RamFile::seek(int32_t offset, int32_t origin) {
    switch (origin) {
    case SEEK_FROM_START:
        m_position = static_cast<uint32_t>(offset);
        break;
    case SEEK_FROM_END:
        m_position = size() + static_cast<uint32_t>(offset);
        break;
    case SEEK_FROM_CURRENT:
        m_position += static_cast<uint32_t>(offset);
        break;
    default:
        break;
    }
    return m_position;
}

} // namespace Vrenn
