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

// The overlay's vertex layout: one stream of kMaxVertices vertices, indices for
// kMaxIndices, drawn as a triangle list and refilled every frame.
void describe(Mesh& mesh) {
    mesh.addStream(nullptr, Overlay::kMaxVertices, Overlay::kVertexSize,
                   {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 2, 0},
                    VertexElement{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 8},
                    VertexElement{0, USAGE_COLOR, 0, COMPONENT_COLOR, 1, 16}});
    mesh.setIndices(nullptr, Overlay::kMaxIndices);
    mesh.setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    mesh.setDynamic(true);
}
} // namespace

Overlay::Overlay() {
    if (auto* manager = VertexBufferMgr::instance()) {
        if (auto buffer = manager->createVertexBuffer()) {
            describe(*buffer);
            if (manager->upload(buffer)) // logs its failure
                m_buffer = std::move(buffer);
            else
                manager->remove(buffer);
        }
    }
    if (m_buffer) {
        m_mesh = m_buffer;
    } else {
        m_mesh = std::make_shared<Mesh>();
        describe(*m_mesh);
    }
}

Overlay::~Overlay() {
    if (auto* manager = VertexBufferMgr::instance(); manager && m_buffer) manager->remove(m_buffer);
}

const uint8_t* Overlay::vertexData() const {
    return m_mesh->streamData(0);
}

const uint32_t* Overlay::indexData() const {
    return m_mesh->indices().data();
}

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
    uint8_t* vertex = m_mesh->streamData(0) + size_t{n} * kVertexSize;
    for (uint32_t i = 0; i < 4; ++i, vertex += kVertexSize) {
        std::memcpy(vertex, corners[i], 16);
        std::memcpy(vertex + 16, &colour, 4);
    }
    const uint32_t quad[6] = {n, n + 1, n + 2, n + 2, n + 1, n + 3};
    std::memcpy(m_mesh->indices().data() + m_indexCount, quad, sizeof quad);
    m_vertexCount += 4;
    m_indexCount += 6;
}

void Overlay::addPixelQuad(const Renderer& renderer, float width, float height, float s0, float t0,
                           float s1, float t1) {
    // The 2D pass spans the bound target from 0 to 1 each way, so pixels become
    // fractions of its size.
    const auto& target = renderer.boundTarget();
    if (!target) return;
    auto fraction = [](float pixels, int32_t size) {
        return pixels < 0.0f ? 1.0f : pixels / static_cast<float>(size);
    };
    if ((width >= 0.0f && target->width() <= 0) || (height >= 0.0f && target->height() <= 0))
        return;
    addQuad(0.0f, 0.0f, fraction(width, target->width()), fraction(height, target->height()), s0,
            t0, s1, t1);
}

void Overlay::draw(const Renderer& renderer) {
    if (m_vertexCount > 0 && m_indexCount > 0 && m_buffer && material()) {
        const auto vertices = static_cast<int32_t>(m_vertexCount);
        const auto indices = static_cast<int32_t>(m_indexCount);
        if (m_buffer->update(true, true, vertices, indices))
            drawMesh(*m_buffer, *material(), renderer, vertices, indices);
    }
    m_vertexCount = 0;
    m_indexCount = 0;
}

} // namespace Vrenn
