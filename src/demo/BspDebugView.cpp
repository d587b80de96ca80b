#include "demo/BspDebugView.h"

#include "core/Log.h"
#include "core/Vector4.h"
#include "geometry/Mesh.h"
#include "render/VertexBuffer.h"
#include "render/VertexBufferMgr.h"
#include "scene/DrawMesh.h"
#include "scene/Overlay.h"

#include <cmath>
#include <cstring>

namespace Vrenn {

namespace {
// Bytes per point: x, y, z as floats and a packed colour.
constexpr uint32_t kPointSize = 16;
} // namespace

uint32_t BspDebugView::depthColour(uint32_t depth) {
    // Hue steps of 0.38 turns keep consecutive levels far apart on the wheel.
    const float hue = std::fmod(float(depth) * 0.38f, 1.0f) * 6.0f;
    const float x = 1.0f - std::fabs(std::fmod(hue, 2.0f) - 1.0f);
    const int sector = int(hue) % 6;
    const float rgb[6][3] = {{1, x, 0}, {x, 1, 0}, {0, 1, x}, {0, x, 1}, {x, 0, 1}, {1, 0, x}};
    return Overlay::packColour({rgb[sector][0], rgb[sector][1], rgb[sector][2], 1.0f});
}

bool BspDebugView::create(VertexBufferMgr& buffers, const std::vector<BspOutlinePoint>& outline) {
    m_buffer.reset();
    m_lines = 0;
    if (outline.size() < 2) return true;
    std::vector<uint8_t> points(outline.size() * kPointSize);
    std::vector<uint32_t> indices(outline.size());
    for (size_t i = 0; i < outline.size(); ++i) {
        uint8_t* p = points.data() + i * kPointSize;
        const float xyz[3] = {outline[i].position.x, outline[i].position.y,
                              outline[i].position.z};
        const uint32_t colour = depthColour(outline[i].depth);
        std::memcpy(p, xyz, 12);
        std::memcpy(p + 12, &colour, 4);
        indices[i] = uint32_t(i);
    }
    auto buffer = buffers.createVertexBuffer();
    if (!buffer) {
        logMessage("BspDebugView: no vertex buffer for the tree's outline\n");
        return false;
    }
    buffer->addStream(points.data(), uint32_t(outline.size()), kPointSize,
                      {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                       VertexElement{0, USAGE_COLOR, 0, COMPONENT_COLOR, 1, 12}});
    buffer->setIndices(indices.data(), uint32_t(indices.size()));
    buffer->setPrimitiveType(PRIMITIVE_LINE_LIST);
    if (!buffers.upload(buffer)) {
        logMessage("BspDebugView: the tree's outline could not be uploaded\n");
        return false;
    }
    m_buffer = std::move(buffer);
    m_lines = uint32_t(outline.size() / 2);
    return true;
}

void BspDebugView::draw(const Renderer& renderer, const Material& material) const {
    if (m_buffer) drawMesh(*m_buffer, material, renderer);
}

} // namespace Vrenn
