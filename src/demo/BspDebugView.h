#pragma once

#include "geometry/BspOutline.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {

class Material;
class Renderer;
class VertexBuffer;
class VertexBufferMgr;

// The bake's tree on screen: the splitting polygons' outlines as lines, each in the colour of
// its node's depth, so the first splits stand out from the late ones.
class BspDebugView {
public:
    // The colour of a node at that depth (packed as overlays pack theirs): a hue wheel that
    // turns by a fixed step per level, so neighbouring levels differ.
    static uint32_t depthColour(uint32_t depth);

    // Uploads the outline (bspOutline's line list) as a line-list vertex buffer: position and
    // colour per point. False, with a log line, when the buffer cannot be made.
    bool create(VertexBufferMgr& buffers, const std::vector<BspOutlinePoint>& outline);
    // Draws the lines with the material under the renderer's transforms.
    void draw(const Renderer& renderer, const Material& material) const;
    void release() { m_buffer.reset(); }

    uint32_t lineCount() const { return m_lines; }

private:
    std::shared_ptr<VertexBuffer> m_buffer;
    uint32_t m_lines = 0;
};

} // namespace Vrenn
