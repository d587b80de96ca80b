#pragma once

#include "core/BoundingBox.h"
#include "geometry/VertexAttribute.h"
#include "geometry/VertexElement.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {

// Primitive types of a mesh.
enum PrimitiveType : uint32_t {
    PRIMITIVE_POINT_LIST = 0,
    PRIMITIVE_LINE_LIST = 1,
    PRIMITIVE_LINE_STRIP = 2,
    PRIMITIVE_TRIANGLE_LIST = 3,
    PRIMITIVE_TRIANGLE_STRIP = 4,
    PRIMITIVE_TRIANGLE_FAN = 5,
};

// Indexed geometry on the CPU: vertex streams (one data block and stride each), the
// element records that describe them, 32-bit indices, the primitive type and the mask
// of streams bound when the mesh is drawn. A GPU vertex buffer derives from it and
// mirrors the data; everything here works without one.
class Mesh {
public:
    // The default stream mask: every stream takes part in drawing.
    static constexpr uint32_t kAllStreams = 0x7FFFFFFF;
    // addElement's component count when the caller leaves it open.
    static constexpr uint32_t kDefaultComponents = 0;

    Mesh() = default;
    virtual ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    // Appends a stream of vertexCount vertices of stride bytes, copying the data (zeros
    // when data is null). The records are appended with their stream field set to the
    // new stream's number. The mesh's vertex count is set by its first stream.
    void addStream(const void* data, uint32_t vertexCount, uint32_t stride,
                   const std::vector<VertexElement>& elements);
    // Replaces the indices with count values copied from data (zeros when data is null).
    void setIndices(const uint32_t* data, uint32_t count);
    // Stores the type and derives the primitive count from the index count (or, without
    // indices, the vertex count).
    void setPrimitiveType(uint32_t type);

    // The first element record with this usage and usage index, or null.
    const VertexElement* findElementRecord(uint32_t usage, uint32_t usageIndex) const;
    // Address of the element in vertex 0 and its stream's stride, or null when the mesh
    // has no such element (or no vertices).
    uint8_t* findElement(uint32_t usage, uint32_t usageIndex, uint32_t* stride);
    // The existing element of that usage and index, or a new one in a stream of its
    // own (componentCount 0 picks 2 for texture coordinates and 3 otherwise).
    uint8_t* addElement(uint32_t usage, uint32_t* stride, uint32_t usageIndex = 0,
                        uint32_t componentCount = kDefaultComponents);
    // Checked access to an element's values; invalid when the element is absent or does
    // not fit inside its stream's stride.
    VertexAttribute attribute(uint32_t usage, uint32_t usageIndex = 0) const;

    // Per-vertex normals (a float3 element) from the triangles: each face's unit normal
    // is added to its corners, then every sum is normalised. Triangle lists with indices
    // and positions only; false otherwise.
    bool computeNormals();
    // Tangents and binormals from positions, texture-coordinate set 0 and normals
    // (computed first when missing). Triangle lists with indices only; false, with the
    // mesh unchanged, when a requirement is missing.
    bool computeTangentFrame();
    // The box around every vertex position (empty without positions or vertices).
    void computeBounds(BoundingBox& box) const;

    uint32_t streamCount() const { return static_cast<uint32_t>(m_streams.size()); }
    const std::vector<std::shared_ptr<std::vector<uint8_t>>>& streams() const { return m_streams; }
    uint8_t* streamData(uint32_t stream) { return m_streams[stream]->data(); }
    const uint8_t* streamData(uint32_t stream) const { return m_streams[stream]->data(); }
    const std::vector<uint32_t>& strides() const { return m_strides; }
    const std::vector<uint32_t>& indices() const { return m_indices; }
    std::vector<uint32_t>& indices() { return m_indices; }
    const std::vector<VertexElement>& elements() const { return m_elements; }
    uint32_t vertexCount() const { return m_vertexCount; }
    uint32_t primitiveType() const { return m_primitiveType; }
    uint32_t primitiveCount() const { return m_primitiveCount; }
    uint32_t streamMask() const { return m_streamMask; }
    void setStreamMask(uint32_t mask) { m_streamMask = mask; }
    // Whether a GPU copy is refilled after its first upload.
    bool dynamic() const { return m_dynamic; }
    void setDynamic(bool dynamic) { m_dynamic = dynamic; }

    // The primitive count that a primitive type gives for n indices (or vertices).
    static uint32_t primitiveCountFor(uint32_t type, uint32_t n);

protected:
    std::vector<std::shared_ptr<std::vector<uint8_t>>> m_streams;
    std::vector<uint32_t> m_strides;
    std::vector<uint32_t> m_indices;
    std::vector<VertexElement> m_elements;
    uint32_t m_vertexCount = 0;
    uint32_t m_primitiveType = PRIMITIVE_TRIANGLE_LIST;
    uint32_t m_primitiveCount = 0;
    uint32_t m_streamMask = kAllStreams;
    bool m_dynamic = false;
};

} // namespace Vrenn
