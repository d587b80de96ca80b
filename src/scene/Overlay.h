#pragma once

#include "geometry/Surface.h"
#include "core/Vector4.h"

#include <cstdint>
#include <memory>

namespace Vrenn {

class Mesh;
class Renderer;
class VertexBuffer;

// Screen quads written straight into a vertex buffer of their own and drawn in one
// call with the overlay's material. Positions are in the 2D pass's screen units (0 to
// 1 across and down). A frame adds its quads, then draws, which empties the overlay.
// The buffer comes from the vertex buffer manager at construction; without one (or
// when the device refuses it) the quads are kept in a plain mesh and never drawn.
class Overlay : public Surface {
public:
    // Most vertices an overlay holds (1024 quads); further quads are dropped.
    static constexpr uint32_t kMaxVertices = 4096;
    static constexpr uint32_t kMaxIndices = kMaxVertices / 4 * 6;
    // Bytes per vertex: x, y, s, t as floats and a packed colour.
    static constexpr uint32_t kVertexSize = 20;

    Overlay();
    ~Overlay() override;

    // Colour of the quads added from now on.
    void setColour(const Vector4& colour) { m_colour = colour; }
    const Vector4& colour() const { return m_colour; }

    // Appends the quad (x, y)-(x + width, y + height) with the texture rectangle
    // (s0, t0)-(s1, t1) in the current colour.
    void addQuad(float x, float y, float width, float height, float s0, float t0, float s1,
                 float t1);
    // Appends a quad at the top-left corner of the target the renderer has bound (the
    // single target, the first of a bound group, or the back buffer), sized in its
    // pixels: a negative width or height stands for the target's whole width or
    // height. The quad is dropped when the target's size is not known.
    void addPixelQuad(const Renderer& renderer, float width, float height, float s0, float t0,
                      float s1, float t1);
    // Sends the collected quads to the device and draws them with the material and the
    // renderer's transforms, then empties the list (also when nothing can be drawn).
    virtual void draw(const Renderer& renderer);

    uint32_t vertexCount() const { return m_vertexCount; }
    uint32_t indexCount() const { return m_indexCount; }
    // The vertex bytes collected so far (kVertexSize per vertex) and the indices.
    const uint8_t* vertexData() const;
    const uint32_t* indexData() const;
    // The device buffer the quads are drawn from; empty when there is none.
    const std::shared_ptr<VertexBuffer>& buffer() const { return m_buffer; }

    // A colour packed with alpha in the highest byte, then red, green and blue, each
    // the channel times 255, truncated (clamped to 0..1 first).
    static uint32_t packColour(const Vector4& colour);

private:
    Vector4 m_colour{1.0f, 1.0f, 1.0f, 1.0f};
    uint32_t m_vertexCount = 0;
    uint32_t m_indexCount = 0;
    std::shared_ptr<VertexBuffer> m_buffer; // the device buffer, when there is one
    std::shared_ptr<Mesh> m_mesh;           // where the quads are written: m_buffer or a plain mesh
};

} // namespace Vrenn
