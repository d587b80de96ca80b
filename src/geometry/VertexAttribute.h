#pragma once

#include "core/Vector3.h"

#include <cstdint>
#include <cstring>

namespace Vrenn {

// Bounds-checked access to one element of a vertex stream: vertex i's components start
// at base + i * stride. Only a valid view (one whose element lies inside the stride of
// a stream holding vertexCount vertices) can be obtained from a Mesh. Components are
// copied with memcpy, so element offsets need not be 4-byte aligned.
class VertexAttribute {
public:
    VertexAttribute() = default;
    VertexAttribute(uint8_t* base, uint32_t stride, uint32_t components, uint32_t vertexCount)
        : m_base(base), m_stride(stride), m_components(components), m_vertexCount(vertexCount) {}

    bool valid() const { return m_components > 0 && (m_base != nullptr || m_vertexCount == 0); }
    explicit operator bool() const { return valid(); }

    uint32_t stride() const { return m_stride; }
    uint32_t components() const { return m_components; }
    uint32_t vertexCount() const { return m_vertexCount; }

    // Component c (0 to 3) of vertex i; 0 for components the element does not have.
    float get(uint32_t i, uint32_t c) const {
        if (c >= m_components) return 0.0f;
        float value;
        std::memcpy(&value, m_base + size_t(i) * m_stride + 4u * c, 4);
        return value;
    }
    void set(uint32_t i, uint32_t c, float value) const {
        if (c >= m_components) return;
        std::memcpy(m_base + size_t(i) * m_stride + 4u * c, &value, 4);
    }
    // The first three components (missing ones read as 0).
    Vec3 getVec3(uint32_t i) const { return {get(i, 0), get(i, 1), get(i, 2)}; }
    // Writes up to three components; a fourth component is left as it is.
    void setVec3(uint32_t i, const Vec3& v) const {
        set(i, 0, v.x);
        set(i, 1, v.y);
        set(i, 2, v.z);
    }
    // Sets every component of every vertex to 0.
    void clear() const {
        for (uint32_t i = 0; i < m_vertexCount; ++i)
            std::memset(m_base + size_t(i) * m_stride, 0, 4u * m_components);
    }

private:
    uint8_t* m_base = nullptr;
    uint32_t m_stride = 0;
    uint32_t m_components = 0;
    uint32_t m_vertexCount = 0;
};

} // namespace Vrenn
