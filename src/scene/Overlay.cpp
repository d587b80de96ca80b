#include "scene/Overlay.h"

#include "render/Renderer.h"
#include "render/VertexBuffer.h"
#include "render/VertexBufferMgr.h"
#include "scene/DrawMesh.h"

#include <algorithm>
#include <cstring>

namespace Vrenn {

namespace {
uint32_t channelByte(float value) {
    return static_cast<uint32_t>(std::clamp(value, 0.0f, 1.0f) * 255.0f);
}
} // namespace

Overlay::Overlay()
    : m_vertices(std::make_unique<uint8_t[]>(size_t{kMaxVertices} * kVertexSize)),
      m_indices(std::make_unique<uint32_t[]>(kMaxIndices)) {}

Overlay::~Overlay() = default;

uint32_t Overlay::packColour(const Vector4& colour) {
    return channelByte(colour.w) << 24 | channelByte(colour.x) << 16 | channelByte(colour.y) << 8 |
           channelByte(colour.z);
}

void Overlay::addQuad(float x, float y, float width, float height, float s0, float t0, float s1,
                      float t1) {
    if (m_vertexCount + 4 > kMaxVertices) return;
    const uint32_t colour = packColour(m_colour);
    const float corners[4][4] = {{x, y, s0, t0},
                                 {x, y + height, s0, t1},
                                 {x + width, y, s1, t0},
                                 {x + width, y + height, s1, t1}};
    const uint32_t n = m_vertexCount;
    for (uint32_t i = 0; i < 4; ++i) {
        uint8_t* vertex = m_vertices.get() + size_t{n + i} * kVertexSize;
        std::memcpy(vertex, corners[i], 16);
        std::memcpy(vertex + 16, &colour, 4);
    }
    const uint32_t quad[6] = {n, n + 1, n + 2, n + 2, n + 1, n + 3};
    std::memcpy(m_indices.get() + m_indexCount, quad, sizeof quad);
    m_vertexCount += 4;
    m_indexCount += 6;
}

std::shared_ptr<VertexBuffer> Overlay::createBuffer() {
    auto* manager = VertexBufferMgr::instance();
    if (!manager) return nullptr;
    auto buffer = manager->createVertexBuffer();
    if (!buffer) return nullptr;
    buffer->addStream(m_vertices.get(), kMaxVertices, kVertexSize,
                      {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 2, 0},
                       VertexElement{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 8},
                       VertexElement{0, USAGE_COLOR, 0, COMPONENT_COLOR, 1, 16}});
    buffer->setIndices(m_indices.get(), kMaxIndices);
    buffer->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    buffer->setDynamic(true);
    if (!manager->upload(buffer)) return nullptr;
    return buffer;
}

void Overlay::draw() {
    if (m_vertexCount == 0 || m_indexCount == 0) return;
    if (!m_buffer) m_buffer = createBuffer();
    if (m_buffer && material()) {
        std::memcpy(m_buffer->streamData(0), m_vertices.get(), size_t{m_vertexCount} * kVertexSize);
        std::memcpy(m_buffer->indices().data(), m_indices.get(), size_t{m_indexCount} * 4);
        const auto vertices = static_cast<int32_t>(m_vertexCount);
        const auto indices = static_cast<int32_t>(m_indexCount);
        if (m_buffer->update(true, true, vertices, indices))
            drawMesh(*m_buffer, *material(), currentRenderer().get(), vertices, indices);
    }
    m_vertexCount = 0;
    m_indexCount = 0;
}

} // namespace Vrenn
