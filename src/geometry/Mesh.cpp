#include "geometry/Mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Vrenn {

namespace {

// A unit vector perpendicular to n (n need not be unit length); (1, 0, 0) when n is 0.
Vec3 anyPerpendicular(const Vec3& n) {
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    Vec3 axis{1.0f, 0.0f, 0.0f};
    if (ay < ax && ay <= az)
        axis = {0.0f, 1.0f, 0.0f};
    else if (az < ax && az < ay)
        axis = {0.0f, 0.0f, 1.0f};
    const float nn = dot(n, n);
    if (!(nn > 0.0f)) return axis;
    const Vec3 t = normalized(axis - n * (dot(axis, n) / nn));
    return lengthSquared(t) > 0.0f ? t : axis;
}

// True when all three indices address vertices 0 .. count - 1.
bool inRange(uint32_t a, uint32_t b, uint32_t c, uint32_t count) {
    return a < count && b < count && c < count;
}

} // namespace

Mesh::~Mesh() = default;

void Mesh::addStream(const void* data, uint32_t vertexCount, uint32_t stride,
                     const std::vector<VertexElement>& elements) {
    const uint32_t stream = streamCount();
    for (VertexElement element : elements) {
        element.stream = stream;
        m_elements.push_back(element);
    }
    m_strides.push_back(stride);
    const size_t size = size_t(vertexCount) * stride;
    auto block = std::make_shared<std::vector<uint8_t>>(size);
    if (data && size) std::memcpy(block->data(), data, size);
    m_streams.push_back(std::move(block));
    if (m_vertexCount == 0) m_vertexCount = vertexCount;
}

void Mesh::setIndices(const uint32_t* data, uint32_t count) {
    if (data)
        m_indices.assign(data, data + count);
    else
        m_indices.assign(count, 0u);
}

uint32_t Mesh::primitiveCountFor(uint32_t type, uint32_t n) {
    switch (type) {
    case PRIMITIVE_POINT_LIST:
        return n;
    case PRIMITIVE_LINE_LIST:
        return n / 2;
    case PRIMITIVE_LINE_STRIP:
        return n == 0 ? 0 : n - 1;
    case PRIMITIVE_TRIANGLE_LIST:
        return n / 3;
    case PRIMITIVE_TRIANGLE_STRIP:
    case PRIMITIVE_TRIANGLE_FAN:
        return n < 2 ? 0 : n - 2;
    default:
        return 0;
    }
}

void Mesh::setPrimitiveType(uint32_t type) {
    m_primitiveType = type;
    const uint32_t n = m_indices.empty() ? m_vertexCount : static_cast<uint32_t>(m_indices.size());
    m_primitiveCount = primitiveCountFor(type, n);
}

const VertexElement* Mesh::findElementRecord(uint32_t usage, uint32_t usageIndex) const {
    for (const auto& element : m_elements)
        if (element.usage == usage && element.usageIndex == usageIndex) return &element;
    return nullptr;
}

uint8_t* Mesh::findElement(uint32_t usage, uint32_t usageIndex, uint32_t* stride) {
    const VertexElement* element = findElementRecord(usage, usageIndex);
    if (!element || element->stream >= streamCount()) return nullptr;
    auto& block = *m_streams[element->stream];
    if (element->offset >= block.size()) return nullptr;
    if (stride) *stride = m_strides[element->stream];
    return block.data() + element->offset;
}

uint8_t* Mesh::addElement(uint32_t usage, uint32_t* stride, uint32_t usageIndex,
                          uint32_t componentCount) {
    if (findElementRecord(usage, usageIndex)) return findElement(usage, usageIndex, stride);
    if (componentCount == kDefaultComponents) componentCount = usage == USAGE_TEXCOORD ? 2 : 3;
    VertexElement element;
    element.usage = usage;
    element.usageIndex = usageIndex;
    element.componentType = COMPONENT_FLOAT;
    element.componentCount = componentCount;
    element.offset = 0;
    addStream(nullptr, m_vertexCount, element.byteSize(), {element});
    return findElement(usage, usageIndex, stride);
}

VertexAttribute Mesh::attribute(uint32_t usage, uint32_t usageIndex) const {
    const VertexElement* element = findElementRecord(usage, usageIndex);
    if (!element || element->stream >= streamCount()) return {};
    const uint32_t components = std::min<uint32_t>(element->componentCount, 4);
    const uint32_t stride = m_strides[element->stream];
    if (components == 0 || uint64_t(element->offset) + 4u * components > stride) return {};
    auto& block = *m_streams[element->stream];
    const uint32_t vertices =
        static_cast<uint32_t>(std::min<uint64_t>(m_vertexCount, block.size() / stride));
    if (vertices == 0) return VertexAttribute(nullptr, stride, components, 0);
    return VertexAttribute(block.data() + element->offset, stride, components, vertices);
}

bool Mesh::computeNormals() {
    if (m_primitiveType != PRIMITIVE_TRIANGLE_LIST || m_indices.empty()) return false;
    const VertexAttribute position = attribute(USAGE_POSITION);
    if (!position) return false;
    const VertexElement* existing = findElementRecord(USAGE_NORMAL, 0);
    if (existing && !attribute(USAGE_NORMAL)) return false;

    uint32_t stride = 0;
    addElement(USAGE_NORMAL, &stride, 0, 3);
    const VertexAttribute normal = attribute(USAGE_NORMAL);
    if (!normal) return false;
    normal.clear();

    const uint32_t count = std::min(position.vertexCount(), normal.vertexCount());
    for (size_t t = 0; t + 2 < m_indices.size(); t += 3) {
        const uint32_t a = m_indices[t], b = m_indices[t + 1], c = m_indices[t + 2];
        if (!inRange(a, b, c, count)) continue;
        const Vec3 pa = position.getVec3(a);
        Vec3 n = cross(position.getVec3(b) - pa, position.getVec3(c) - pa);
        if (length(n) > kGeometryEpsilon) n = normalized(n);
        if (!isFinite(n)) continue;
        normal.setVec3(a, normal.getVec3(a) + n);
        normal.setVec3(b, normal.getVec3(b) + n);
        normal.setVec3(c, normal.getVec3(c) + n);
    }
    for (uint32_t i = 0; i < normal.vertexCount(); ++i)
        normal.setVec3(i, normalized(normal.getVec3(i)));
    return true;
}

bool Mesh::computeTangentFrame() {
    if (m_primitiveType != PRIMITIVE_TRIANGLE_LIST || m_indices.empty()) return false;
    if (!attribute(USAGE_TEXCOORD, 0) || !attribute(USAGE_POSITION)) return false;
    // Every element this writes must be usable before anything changes.
    for (uint32_t usage : {USAGE_NORMAL, USAGE_TANGENT, USAGE_BINORMAL})
        if (findElementRecord(usage, 0) && !attribute(usage)) return false;

    if (!findElementRecord(USAGE_NORMAL, 0) && !computeNormals()) return false;

    const bool hasTangent = findElementRecord(USAGE_TANGENT, 0) != nullptr;
    const bool hasBinormal = findElementRecord(USAGE_BINORMAL, 0) != nullptr;
    if (!hasTangent && !hasBinormal) {
        VertexElement tangent{0, USAGE_TANGENT, 0, COMPONENT_FLOAT, 3, 0};
        VertexElement binormal{0, USAGE_BINORMAL, 0, COMPONENT_FLOAT, 3, 12};
        addStream(nullptr, m_vertexCount, 24, {tangent, binormal});
    } else {
        uint32_t stride = 0;
        if (!hasTangent) addElement(USAGE_TANGENT, &stride, 0, 3);
        if (!hasBinormal) addElement(USAGE_BINORMAL, &stride, 0, 3);
    }

    // Taken after the streams above were added: adding a stream never moves existing
    // blocks, but the views are cheap to take again.
    const VertexAttribute position = attribute(USAGE_POSITION);
    const VertexAttribute texcoord = attribute(USAGE_TEXCOORD, 0);
    const VertexAttribute normal = attribute(USAGE_NORMAL);
    const VertexAttribute tangent = attribute(USAGE_TANGENT);
    const VertexAttribute binormal = attribute(USAGE_BINORMAL);
    tangent.clear();
    binormal.clear();

    const uint32_t count =
        std::min({position.vertexCount(), texcoord.vertexCount(), tangent.vertexCount()});
    for (size_t t = 0; t + 2 < m_indices.size(); t += 3) {
        const uint32_t a = m_indices[t], b = m_indices[t + 1], c = m_indices[t + 2];
        if (!inRange(a, b, c, count)) continue;
        const float ds1 = texcoord.get(b, 0) - texcoord.get(a, 0);
        const float dt1 = texcoord.get(b, 1) - texcoord.get(a, 1);
        const float ds2 = texcoord.get(c, 0) - texcoord.get(a, 0);
        const float dt2 = texcoord.get(c, 1) - texcoord.get(a, 1);
        const float det = ds1 * dt2 - ds2 * dt1;
        // A triangle whose texture mapping is degenerate has no tangent direction.
        if (det == 0.0f) continue;
        const float r = 1.0f / det;
        const Vec3 pa = position.getVec3(a);
        const Vec3 e1 = position.getVec3(b) - pa;
        const Vec3 e2 = position.getVec3(c) - pa;
        Vec3 faceTangent = (e1 * dt2 - e2 * dt1) * r;
        if (!isFinite(faceTangent)) continue;
        if (length(faceTangent) > kGeometryEpsilon) faceTangent = normalized(faceTangent);
        tangent.setVec3(a, tangent.getVec3(a) + faceTangent);
        tangent.setVec3(b, tangent.getVec3(b) + faceTangent);
        tangent.setVec3(c, tangent.getVec3(c) + faceTangent);
    }

    const uint32_t frames = std::min(tangent.vertexCount(), binormal.vertexCount());
    for (uint32_t i = 0; i < frames; ++i) {
        const Vec3 n = i < normal.vertexCount() ? normal.getVec3(i) : Vec3{};
        Vec3 t = normalized(tangent.getVec3(i));
        // A vertex that no usable triangle touched still gets a frame: any direction
        // across its normal.
        if (!(lengthSquared(t) > 0.0f) || !isFinite(t)) t = anyPerpendicular(n);
        tangent.setVec3(i, t);
        binormal.setVec3(i, cross(n, t));
    }
    return true;
}

void Mesh::computeBounds(BoundingBox& box) const {
    box = BoundingBox::empty();
    const VertexAttribute position = attribute(USAGE_POSITION);
    if (!position) return;
    for (uint32_t i = 0; i < position.vertexCount(); ++i)
        box.grow(position.getVec3(i));
}

} // namespace Vrenn
