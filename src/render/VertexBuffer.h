#pragma once

#include "geometry/Mesh.h"

#include <cstdint>

namespace Vrenn {

// A mesh mirrored on the device: one buffer per stream, an index buffer, and a
// vertex layout per stream mask. The CPU data stays in the mesh.
class VertexBuffer : public Mesh {
public:
    VertexBuffer() = default;
    ~VertexBuffer() override = default;

    // Makes the buffers and the layout of the mesh's stream mask current; streams
    // outside the mask are not read. False when the mask names streams the mesh lacks.
    virtual bool bind() = 0;
    virtual void unbind() = 0;
    // Draws with the mesh's primitive type: from vertex (or index) `first` (negative
    // counts as 0), as many primitives as vertexCount vertices (or indexCount indices)
    // make; a negative or too large count draws to the end of the buffer.
    virtual void draw(int32_t first, int32_t vertexCount, int32_t indexCount) = 0;
    // Copies the CPU streams and/or indices to the device (counts: negative for all).
    // A buffer that is not dynamic takes data once: a later update returns false and
    // keeps the first contents.
    virtual bool update(bool streams, bool indices, int32_t vertexCount, int32_t indexCount) = 0;
};

} // namespace Vrenn
