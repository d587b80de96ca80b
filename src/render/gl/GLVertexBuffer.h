#pragma once

#include "render/VertexBuffer.h"
#include "render/gl/GLContext.h"

#include <epoxy/gl.h>
#include <map>
#include <vector>

namespace Vrenn {

// A vertex buffer on GL: a buffer object per stream and one for the indices, and a
// vertex array object per stream mask (the layout), made when the mask is first
// bound and kept. Attributes go to the fixed locations of their usage: position 0,
// normal 1, colour 2, blend weight 3, blend indices 4, tangent 5, binormal 6, texture
// coordinate set n at 7 + n. Float elements of 1 to 4 components read as floats
// (other counts as 4); packed colours (0xAARRGGBB) read as normalised RGBA.
class GLVertexBuffer : public VertexBuffer {
public:
    // The buffers are made in the context when the manager uploads.
    explicit GLVertexBuffer(GLContextHandle context) : m_context(std::move(context)) {}
    ~GLVertexBuffer() override;

    bool bind() override;
    void unbind() override;
    void draw(int32_t first, int32_t vertexCount, int32_t indexCount) override;
    bool update(bool streams, bool indices, int32_t vertexCount, int32_t indexCount) override;

    // Makes the device buffers (called by the manager's upload).
    bool createBuffers();
    // The layout of a stream mask, made when first asked for; 0 when the mask names
    // streams the mesh does not have.
    GLuint declaration(uint32_t mask);
    size_t declarationCount() const { return m_declarations.size(); }
    bool uploaded() const { return m_uploaded; }
    const std::vector<GLuint>& buffers() const { return m_buffers; }
    GLuint indexBuffer() const { return m_indexBuffer; }

private:
    void releaseAll();

    std::vector<GLuint> m_buffers;
    std::vector<size_t> m_bufferSizes;
    GLuint m_indexBuffer = 0;
    size_t m_indexCapacity = 0; // indices the index buffer holds
    std::map<uint32_t, GLuint> m_declarations;
    GLContextHandle m_context;
    bool m_created = false; // the device buffers exist
    bool m_uploaded = false;
};

// The attribute location of a usage and usage index; -1 for none.
int32_t attributeLocation(uint32_t usage, uint32_t usageIndex);

} // namespace Vrenn
